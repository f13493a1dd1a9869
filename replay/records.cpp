#include "replay/records.hpp"

#include <sys/select.h>

#include <algorithm>
#include <array>
#include <limits>

#include "format/movie_format.hpp"

namespace replay {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kReadMax = kLineBufferSize - 1;
constexpr std::int32_t kMsPerSecond = 1000;
constexpr std::int32_t kUsPerMs = 1000;

// The C locale's white space, which atoi passes over.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Held for the whole loop, so that reading byte by byte takes no lock per byte.
class StreamLock {
 public:
  explicit StreamLock(std::FILE* f) : f_(f) { flockfile(f_); }
  ~StreamLock() { funlockfile(f_); }
  StreamLock(const StreamLock&) = delete;
  StreamLock& operator=(const StreamLock&) = delete;

 private:
  std::FILE* f_;
};

// One read of a record: at most kReadMax bytes, stopping at the record's newline, which is
// consumed but not stored. Reading byte by byte keeps the true length when zero bytes occur.
struct Piece {
  std::size_t size = 0;
  bool newline = false;  // the record's newline was read
  bool ended = false;    // nothing of this record is left: newline read or input over
};

Piece read_piece(std::FILE* in, char* buf) {
  Piece p;
  while (p.size < kReadMax) {
    const int c = getc_unlocked(in);
    if (c == EOF || c == movie::kRecordEnd) {
      p.newline = c != EOF;
      p.ended = true;
      break;
    }
    buf[p.size++] = static_cast<char>(c);
  }
  return p;
}

void skip_record(std::FILE* in) {
  int c;
  do c = getc_unlocked(in);
  while (c != EOF && c != movie::kRecordEnd);
}

// Hands the text of the rest of a record to `take` piece by piece, until a zero byte ends
// the text or `take` wants no more; whatever is left up to the newline is passed over.
template <class Take>
void rest_of_record(std::FILE* in, char* buf, Take take) {
  for (;;) {
    const Piece p = read_piece(in, buf);
    const std::string_view bytes(buf, p.size);
    const std::size_t zero = bytes.find('\0');
    const bool more = take(bytes.substr(0, zero)) && zero == std::string_view::npos;
    if (p.ended) return;
    if (!more) return skip_record(in);
  }
}

bool write_bytes(std::FILE* out, std::string_view s) {
  return s.empty() || std::fwrite(s.data(), 1, s.size(), out) == s.size();
}

}  // namespace

Mode mode_from_name(const char* name) {
  if (name == nullptr) return Mode::unknown;
  const std::string_view n(name);
  if (n.find(kReplayName) != std::string_view::npos) return Mode::replay;
  if (n.find(kTextName) != std::string_view::npos) return Mode::text;
  return Mode::unknown;
}

Record classify(std::string_view text) {
  if (text.starts_with(movie::kSleepPrefix)) {
    return {Kind::sleep, text.substr(movie::kSleepPrefix.size())};
  }
  if (text.starts_with(movie::kLinePrefix)) {
    return {Kind::line, text.substr(movie::kLinePrefix.size())};
  }
  if (text.starts_with(movie::kPromptPrefix)) {
    return {Kind::prompt, text.substr(movie::kPromptPrefix.size())};
  }
  return {Kind::bad, {}};
}

bool Count::feed(std::string_view bytes) {
  for (const char c : bytes) {
    switch (phase_) {
      case Phase::blank:
        if (is_space(c)) continue;
        if (c == '+' || c == '-') {
          negative_ = c == '-';
          phase_ = Phase::sign;
          continue;
        }
        [[fallthrough]];
      case Phase::sign:
      case Phase::digits:
        if (!is_digit(c)) {
          phase_ = Phase::done;
          return true;
        }
        phase_ = Phase::digits;
        magnitude_ = std::min(magnitude_ * 10 + (c - '0'), kInt32Max + 1);
        continue;
      case Phase::done: return true;
    }
  }
  return phase_ == Phase::done;
}

std::int32_t Count::value() const {
  const std::int64_t v = negative_ ? -magnitude_ : std::min(magnitude_, kInt32Max);
  return static_cast<std::int32_t>(v);
}

std::int32_t to_count(std::string_view text) {
  Count c;
  c.feed(text);
  return c.value();
}

void pause_ms(std::int32_t ms) {
  if (ms <= 0) return;
  timeval tv{};
  tv.tv_sec = ms / kMsPerSecond;
  tv.tv_usec = static_cast<suseconds_t>(ms % kMsPerSecond) * kUsPerMs;
  (void)select(0, nullptr, nullptr, nullptr, &tv);
}

int play(std::FILE* in, std::FILE* out, Mode mode, std::FILE* err) {
  std::array<char, kLineBufferSize> buf;
  const StreamLock lock(in);
  for (;;) {
    const Piece first = read_piece(in, buf.data());
    if (first.size == 0 && !first.newline) break;
    const std::string_view bytes(buf.data(), first.size);
    const std::size_t zero = bytes.find('\0');
    const std::string_view text = bytes.substr(0, zero);
    // Later pieces carry text only when neither the record nor its text has ended yet.
    const bool text_goes_on = !first.ended && zero == std::string_view::npos;
    const Record r = classify(text);
    bool written = true;
    switch (r.kind) {
      case Kind::sleep: {
        Count count;
        if (mode == Mode::replay && !count.feed(r.payload) && text_goes_on) {
          rest_of_record(in, buf.data(), [&](std::string_view s) { return !count.feed(s); });
        } else if (!first.ended) {
          skip_record(in);
        }
        if (mode == Mode::replay) pause_ms(count.value());
        break;
      }
      case Kind::line:
      case Kind::prompt:
        written = write_bytes(out, r.payload);
        if (text_goes_on) {
          rest_of_record(in, buf.data(), [&](std::string_view s) {
            written = written && write_bytes(out, s);
            return written;
          });
        } else if (!first.ended) {
          skip_record(in);
        }
        if (r.kind == Kind::line) written = written && std::fputc('\n', out) != EOF;
        break;
      case Kind::bad:
        std::fprintf(err, "Syntax error in line:\n%.*s\n", static_cast<int>(text.size()),
                     text.data());
        return 1;
    }
    if (std::ferror(in)) break;
    if (!written || std::fflush(out) == EOF) {
      std::fputs("Error writing file\n", err);
      return 1;
    }
  }
  if (std::ferror(in)) {
    std::fputs("Error reading file\n", err);
    return 1;
  }
  if (std::fputc('\n', out) == EOF || std::fflush(out) == EOF) {
    std::fputs("Error writing file\n", err);
    return 1;
  }
  return 0;
}

}  // namespace replay
