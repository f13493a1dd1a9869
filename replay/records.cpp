#include "replay/records.hpp"

#include <sys/select.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "format/movie_format.hpp"
#include "plumbing/messages.hpp"

namespace replay {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kReadMax = kLineBufferSize - 1;
constexpr std::int32_t kMsPerSecond = 1000;
constexpr std::int32_t kUsPerMs = 1000;

using movie::is_digit;
using movie::is_space;

// One read of a record: at most kReadMax bytes, stopping after the record's newline.
struct Piece {
  std::string_view text;  // the bytes read before the newline, up to the first zero byte
  bool any = false;       // anything was read
  bool ended = false;     // nothing of this record is left: newline read or input over
  bool zero = false;      // a zero byte cut the text of a record that goes on
};

// Reads pieces with fgets, which finds the newline by searching the stream's buffer rather
// than taking a byte at a time. fgets does not say how many bytes it stored, and a zero byte
// among them hides the rest from strlen, but what the loop needs is known all the same. A
// full piece is told by the buffer's last byte, set to non-zero before each read: fgets puts
// its terminating zero there only when it fills the buffer. A piece that stops short of full
// stopped at the record's newline or at the input's end, so the record has ended either way.
class Reader {
 public:
  explicit Reader(std::FILE* in) : in_(in) {}

  Piece read() {
    char* const b = buf_.data();
    b[kReadMax] = movie::kRecordEnd;
    if (std::fgets(b, static_cast<int>(buf_.size()), in_) == nullptr) return {{}, false, true};
    std::size_t text = std::strlen(b);
    if (b[kReadMax] == '\0') {
      const bool newline = b[kReadMax - 1] == movie::kRecordEnd;
      const std::size_t size = newline ? kReadMax - 1 : kReadMax;
      return {{b, std::min(text, size)}, true, newline, text < size};
    }
    // Before a zero byte there can be no newline: fgets would have stopped at it.
    if (text > 0 && b[text - 1] == movie::kRecordEnd) --text;
    return {{b, text}, true, true, false};
  }

  // Passes over the rest of the record.
  void skip() {
    while (!read().ended) {
    }
  }

 private:
  std::FILE* in_;
  std::array<char, kLineBufferSize> buf_;
};

// Hands the text of the rest of a record to `take` piece by piece, until a zero byte ends
// the text or `take` wants no more; whatever is left up to the newline is passed over.
template <class Take>
void rest_of_record(Reader& reader, Take take) {
  for (;;) {
    const Piece p = reader.read();
    const bool more = take(p.text) && !p.zero;
    if (p.ended) return;
    if (!more) return reader.skip();
  }
}

bool write_bytes(Sink out, std::string_view s) { return s.empty() || out.write(out.context, s); }

bool report(Sink err, std::string_view message) {
  return write_bytes(err, message) && err.flush(err.context);
}

bool stream_write(void* context, std::string_view s) {
  return std::fwrite(s.data(), 1, s.size(), static_cast<std::FILE*>(context)) == s.size();
}

bool stream_flush(void* context) { return std::fflush(static_cast<std::FILE*>(context)) == 0; }

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

timeval pause_time(std::int32_t ms) {
  timeval tv{};
  tv.tv_sec = ms / kMsPerSecond;
  tv.tv_usec = static_cast<suseconds_t>(ms % kMsPerSecond) * kUsPerMs;
  return tv;
}

void pause_ms(std::int32_t ms) {
  if (ms <= 0) return;
  timeval tv = pause_time(ms);
  (void)select(0, nullptr, nullptr, nullptr, &tv);
}

int play(std::FILE* in, Sink out, Mode mode, Sink err) {
  Reader reader(in);
  for (;;) {
    const Piece first = reader.read();
    if (!first.any) break;
    const std::string_view text = first.text;
    // Later pieces carry text only when neither the record nor its text has ended yet.
    const bool text_goes_on = !first.ended && !first.zero;
    const Record r = classify(text);
    bool written = true;
    switch (r.kind) {
      case Kind::sleep: {
        Count count;
        if (mode == Mode::replay && !count.feed(r.payload) && text_goes_on) {
          rest_of_record(reader, [&](std::string_view s) { return !count.feed(s); });
        } else if (!first.ended) {
          reader.skip();
        }
        if (mode == Mode::replay) pause_ms(count.value());
        break;
      }
      case Kind::line:
      case Kind::prompt:
        written = write_bytes(out, r.payload);
        if (text_goes_on) {
          rest_of_record(reader, [&](std::string_view s) {
            written = written && write_bytes(out, s);
            return written;
          });
        } else if (!first.ended) {
          reader.skip();
        }
        if (r.kind == Kind::line) written = written && write_bytes(out, "\n");
        break;
      case Kind::bad:
        report(err, "Syntax error in line:\n");
        write_bytes(err, text);
        report(err, "\n");
        return 1;
    }
    if (std::ferror(in)) break;
    if (!written || !out.flush(out.context)) {
      report(err, plumbing::message::kWriting);
      return 1;
    }
  }
  if (std::ferror(in)) {
    report(err, plumbing::message::kReading);
    return 1;
  }
  if (!write_bytes(out, "\n") || !out.flush(out.context)) {
    report(err, plumbing::message::kWriting);
    return 1;
  }
  return 0;
}

int play(std::FILE* in, std::FILE* out, Mode mode, std::FILE* err) {
  return play(in, Sink{stream_write, stream_flush, out}, mode,
              Sink{stream_write, stream_flush, err});
}

}  // namespace replay
