#include "export/cast.hpp"

#include <algorithm>
#include <charconv>

#include "reading/record.hpp"

namespace exporter {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr char kHex[] = "0123456789abcdef";
constexpr int kHexDigits = 4;
constexpr int kBright = 8;

// A character in a JSON string: quotes, backslashes and control characters escaped, the
// rest as UTF-8.
struct Json {
  std::array<char, 6> bytes{};
  std::size_t size = 0;
  std::string_view view() const { return {bytes.data(), size}; }
};

Json json(char32_t c) {
  Json j;
  const auto escaped = [&](std::string_view s) {
    s.copy(j.bytes.data(), s.size());
    j.size = s.size();
  };
  switch (c) {
    case U'"': escaped("\\\""); return j;
    case U'\\': escaped("\\\\"); return j;
    case U'\n': escaped("\\n"); return j;
    case U'\r': escaped("\\r"); return j;
    case U'\t': escaped("\\t"); return j;
    default: break;
  }
  if (c < 0x20) {
    const std::array<char, 6> u = {'\\',         'u', '0', '0', kHex[(c >> kHexDigits) & 0xF],
                                   kHex[c & 0xF]};
    j.bytes = u;
    j.size = u.size();
    return j;
  }
  const Utf8Bytes u = utf8(c);
  escaped(u.view());
  return j;
}

void write_number(Output& out, std::int64_t n) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.begin(), digits.end(), n);
  out.write({digits.data(), static_cast<std::size_t>(result.ptr - digits.data())});
}

// Seconds with six decimals: the times are whole milliseconds.
void write_time(Output& out, std::int64_t ms) {
  write_number(out, ms / kMsPerSecond);
  const auto frac = static_cast<int>(ms % kMsPerSecond);
  const std::array<char, 7> decimals = {'.',
                                        static_cast<char>('0' + frac / 100),
                                        static_cast<char>('0' + frac / 10 % 10),
                                        static_cast<char>('0' + frac % 10),
                                        '0',
                                        '0',
                                        '0'};
  out.write({decimals.data(), decimals.size()});
}

// The escape that sets a look from scratch, JSON-escaped: a reset, then its attributes.
struct Escape {
  std::array<char, 32> bytes{};
  std::size_t size = 0;
  void add(std::string_view s) {
    s.copy(bytes.data() + size, s.size());
    size += s.size();
  }
  std::string_view view() const { return {bytes.data(), size}; }
};

Escape escape_for(Look look) {
  Escape e;
  e.add("\\u001b[0");
  if (look.bold) e.add(";1");
  if (look.reverse) e.add(";7");
  if (look.colour != 0) {
    const bool bright = look.colour >= kBright;
    const char digit = static_cast<char>('0' + (bright ? look.colour - kBright : look.colour));
    e.add(bright ? ";9" : ";3");
    e.add({&digit, 1});
  }
  e.add("m");
  return e;
}

}  // namespace

void Cast::begin(std::int64_t widest, std::string_view title, std::string_view charset) {
  out_.write("{\"version\": 2, \"width\": ");
  write_number(out_, std::clamp(widest, kMinWidth, kMaxWidth));
  out_.write(", \"height\": ");
  write_number(out_, kHeight);
  out_.write(", \"title\": \"");
  show_name(title, [this](char32_t c) { out_.write(json(c).view()); });
  out_.write("\", \"env\": {\"MOVIE_CHARSET\": \"");
  out_.write(charset);  // a name of the program's own: nothing to escape
  out_.write("\"}}\n");
}

void Cast::record_start(std::int64_t ms, bool annotation) {
  ms_ = ms;
  holding_ = annotation;
  mark_left_ = annotation ? reading::kAnnotationMark.size() : 0;
  label_size_ = 0;
  held_size_ = 0;
}

void Cast::open_event(std::string_view code) {
  out_.write('[');
  write_time(out_, ms_);
  out_.write(", \"");
  out_.write(code);
  out_.write("\", \"");
}

// The marker, then the output held back behind it; from here on output goes straight out.
void Cast::release() {
  holding_ = false;
  open_event("m");
  out_.write({label_.data(), label_size_});
  out_.write("\"]\n");
  if (held_size_ != 0) {
    open_event("o");
    open_ = true;
    out_.write({held_.data(), held_size_});
  }
}

void Cast::output(std::string_view json) {
  if (holding_) {
    if (json.size() <= held_.size() - held_size_) {
      json.copy(held_.data() + held_size_, json.size());
      held_size_ += json.size();
      return;
    }
    release();
  }
  if (!open_) {
    open_event("o");
    open_ = true;
  }
  out_.write(json);
}

void Cast::label(std::string_view json) {
  if (json.size() > label_.size() - label_size_) {
    release();
    return;
  }
  json.copy(label_.data() + label_size_, json.size());
  label_size_ += json.size();
}

void Cast::put(char32_t c, reading::Style style) {
  // The label is the annotation's text: after the mark, without its line end.
  if (holding_) {
    if (mark_left_ > 0) {
      --mark_left_;
    } else if (c != U'\n') {
      show(c, [this](char32_t s) {
        if (holding_) label(json(s).view());
      });
    }
  }
  const Look look = look_of(style);
  if (!(look == look_)) {
    output(escape_for(look).view());
    look_ = look;
  }
  if (c == U'\n') {
    output("\\r\\n");
    return;
  }
  if (c == U'\t') {
    output("\\t");
    return;
  }
  show(c, [this](char32_t s) { output(json(s).view()); });
}

void Cast::record_end() {
  if (holding_) release();
  if (open_) out_.write("\"]\n");
  open_ = false;
}

void Cast::end() {
  if (look_ == Look{}) return;
  look_ = Look{};
  open_event("o");
  out_.write("\\u001b[0m\"]\n");
}

}  // namespace exporter
