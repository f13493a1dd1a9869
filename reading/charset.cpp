#include "reading/charset.hpp"

#include <iconv.h>
#include <uchardet.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>

#include "reading/interpret.hpp"
#include "reading/text.hpp"

namespace reading {
namespace {

// A set the decision may name: the detector's names for it, what the page calls it, and the
// iconv names to try (the first one this system has wins: the Windows supersets first, since
// the clients that made the movies mostly were Windows ones, and they keep ASCII as ASCII).
struct Known {
  std::array<std::string_view, 3> detector;
  std::string_view name;
  std::array<const char*, 2> iconv;
  bool single_byte;
};

constexpr std::array<Known, 13> kKnown = {{
    {{"GB18030", "GB2312", "GBK"}, "GB18030", {"GB18030", nullptr}, false},
    {{"BIG5", "", ""}, "Big5", {"CP950", "BIG5"}, false},
    {{"EUC-KR", "UHC", "CP949"}, "EUC-KR", {"CP949", "EUC-KR"}, false},
    {{"SHIFT_JIS", "CP932", ""}, "Shift_JIS", {"CP932", "SHIFT_JIS"}, false},
    {{"EUC-JP", "", ""}, "EUC-JP", {"EUC-JP", nullptr}, false},
    {{"EUC-TW", "", ""}, "EUC-TW", {"EUC-TW", nullptr}, false},
    {{"KOI8-R", "", ""}, "KOI8-R", {"KOI8-R", nullptr}, true},
    {{"KOI8-U", "", ""}, "KOI8-U", {"KOI8-U", nullptr}, true},
    {{"WINDOWS-1251", "", ""}, "windows-1251", {"WINDOWS-1251", "CP1251"}, true},
    {{"IBM866", "CP866", ""}, "IBM866", {"IBM866", "CP866"}, true},
    {{"ISO-8859-5", "", ""}, "ISO-8859-5", {"ISO-8859-5", nullptr}, true},
    {{"WINDOWS-1250", "", ""}, "windows-1250", {"WINDOWS-1250", "CP1250"}, true},
    {{"ISO-8859-2", "", ""}, "ISO-8859-2", {"ISO-8859-2", nullptr}, true},
}};

// Evidence below these many bytes beyond ASCII is not enough: the detector names odd sets
// for a few stray bytes (one accent in a western movie gives ISO-8859-2, eight give IBM852),
// and a single-byte set is told from another by the letters' frequencies alone.
constexpr std::size_t kFloorMultibyte = 8;
constexpr std::size_t kFloorSingleByte = 16;

constexpr unsigned char kIac = 0xFF;
constexpr unsigned char kFirstCommand = 0xF0;

constexpr const char* kUtf32 = std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";

const Known* find(std::string_view detector_name) {
  for (const Known& k : kKnown) {
    for (const std::string_view d : k.detector) {
      if (!d.empty() && d == detector_name) return &k;
    }
  }
  return nullptr;
}

// Gathers a sample's text for the detector, through a small buffer.
class Gatherer {
 public:
  Gatherer() : detector_(uchardet_new()) {}
  ~Gatherer() {
    if (detector_ != nullptr) uchardet_delete(detector_);
  }
  Gatherer(const Gatherer&) = delete;
  Gatherer& operator=(const Gatherer&) = delete;

  bool full() const { return evidence_.non_ascii >= kSampleNonAscii; }

  void byte(unsigned char b) {
    // A telnet command (IAC and a command byte) left in a capture is no text; IAC IAC is one
    // 0xFF of data.
    if (iac_) {
      iac_ = false;
      if (b >= kFirstCommand && b != kIac) return;
      text(kIac);
      if (b == kIac) return;
    } else if (b == kIac) {
      iac_ = true;
      return;
    }
    text(b);
  }

  // A record's text ends: a UTF-8 sequence still open is invalid, unless the sample itself
  // was cut there.
  void record_end(bool cut) {
    if (iac_) text(kIac);
    iac_ = false;
    if (utf8_.count != 0 && !cut) evidence_.valid_utf8 = false;
    utf8_.count = 0;
    text('\n');
  }

  Evidence finish() {
    send();
    if (detector_ != nullptr && evidence_.non_ascii != 0) {
      uchardet_data_end(detector_);
      const char* name = uchardet_get_charset(detector_);
      // The answer lives as long as the detector: find() gives a name of the table's own.
      const Known* known = name == nullptr ? nullptr : find(name);
      if (known != nullptr) {
        for (const std::string_view d : known->detector) {
          if (d == name) evidence_.detected = d;
        }
      } else if (name != nullptr && *name != '\0') {
        evidence_.detected = "other";
      }
    }
    return evidence_;
  }

 private:
  void text(unsigned char b) {
    if (b >= 0x80) {
      ++evidence_.non_ascii;
      if (b < 0xA0) evidence_.c1 = true;
    }
    validate(b);
    buf_[size_++] = static_cast<char>(b);
    if (size_ == buf_.size()) send();
  }

  void validate(unsigned char b) {
    if (utf8_.count != 0) {
      if (detail::fits(utf8_, b)) {
        utf8_.held[utf8_.count++] = b;
        if (utf8_.count == utf8_.need) utf8_.count = 0;
        return;
      }
      evidence_.valid_utf8 = false;
      utf8_.count = 0;
    }
    if (b < 0x80) return;
    const int n = detail::sequence_length(b);
    if (n == 0) {
      evidence_.valid_utf8 = false;
      return;
    }
    utf8_.held[0] = b;
    utf8_.count = 1;
    utf8_.need = static_cast<std::uint8_t>(n);
  }

  void send() {
    if (detector_ != nullptr && size_ != 0) uchardet_handle_data(detector_, buf_.data(), size_);
    size_ = 0;
  }

  uchardet_t detector_;
  std::array<char, 4096> buf_{};
  std::size_t size_ = 0;
  Evidence evidence_;
  Utf8 utf8_;
  bool iac_ = false;
};

}  // namespace

void Charset::Close::operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }

Charset Charset::named(std::string_view detector_name) {
  Charset cs;
  const Known* known = find(detector_name);
  if (known == nullptr) return cs;
  for (const char* name : known->iconv) {
    if (name == nullptr) continue;
    const iconv_t cd = iconv_open(kUtf32, name);
    // iconv_open's failure is (iconv_t)-1, the one way POSIX gives to tell it.
    if (cd == reinterpret_cast<iconv_t>(-1)) continue;  // NOLINT(performance-no-int-to-ptr)
    cs.cd_.reset(cd);
    cs.name_ = known->name;
    cs.single_byte_ = known->single_byte;
    break;
  }
  return cs;
}

std::string_view Charset::name() const { return is_default() ? kDefaultCharsetName : name_; }

Converted Charset::convert(const unsigned char* bytes, std::size_t n, char32_t* out,
                           std::size_t max) const {
  // iconv's interface takes non-const pointers; it only reads the input.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));  // NOLINT
  std::size_t in_left = n;
  char* to = reinterpret_cast<char*>(out);
  const std::size_t room = max * sizeof(char32_t);
  std::size_t out_left = room;
  const auto cd = static_cast<iconv_t>(cd_.get());
  const std::size_t r = iconv(cd, &in, &in_left, &to, &out_left);
  Converted c;
  c.used = n - in_left;
  c.chars = (room - out_left) / sizeof(char32_t);
  if (r == static_cast<std::size_t>(-1)) {
    if (errno == EILSEQ) c.stop = Converted::invalid;
    if (errno == EINVAL) c.stop = Converted::incomplete;
  }
  return c;
}

Evidence examine(std::string_view movie_start) {
  Gatherer g;
  std::size_t at = 0;
  while (at < movie_start.size() && !g.full()) {
    const std::size_t nl = movie_start.find('\n', at);
    const bool cut = nl == std::string_view::npos;
    const std::size_t end = cut ? movie_start.size() : nl + 1;
    const std::string_view record = movie_start.substr(at, end - at);
    at = end;
    Playback pb;
    const Interpretation line = interpret(record, pb);
    std::string_view text;
    bool escapes = true;
    if (line.kind == Kind::line || line.kind == Kind::prompt) {
      text = line.text;
    } else if (line.kind == Kind::annotation) {
      text = line.annotation;
      escapes = false;
    } else {
      continue;
    }
    TextState st;
    for (const char c : text) {
      if (c == '\n' || c == '\r') continue;
      if (escapes && !detail::escape_byte(c, st)) continue;
      g.byte(static_cast<unsigned char>(c));
    }
    g.record_end(cut);
  }
  return g.finish();
}

Charset decide(const Evidence& evidence) {
  if (evidence.non_ascii == 0 || evidence.valid_utf8) return {};
  const Known* known = find(evidence.detected);
  if (known == nullptr) return {};
  const std::size_t floor = known->single_byte ? kFloorSingleByte : kFloorMultibyte;
  if (evidence.non_ascii < floor) return {};
  // Bytes 0x80..0x9F are not ISO-8859-2's: such a movie is windows-1250, its superset in
  // the clients' use.
  if (known->name == "ISO-8859-2" && evidence.c1) return Charset::named("WINDOWS-1250");
  return Charset::named(evidence.detected);
}

Sample::Sample(int fd) : buf_(new char[kSampleBytes]) {
  while (size_ < kSampleBytes) {
    const ssize_t n = ::read(fd, buf_.get() + size_, kSampleBytes - size_);
    if (n > 0) {
      size_ += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      failed_ = n < 0;
      break;
    }
  }
  charset_ = decide(examine(bytes()));
}

}  // namespace reading
