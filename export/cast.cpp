#include "export/cast.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "reading/shown.hpp"

namespace exporter {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr char kHex[] = "0123456789abcdef";
constexpr int kHexDigits = 4;
constexpr int kBright = 8;
constexpr std::uint8_t kRightHalf = 0x80;  // in a row's cell: below it, its combining marks

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

// An event's start up to its code: its time in seconds with six decimals (the times are
// whole milliseconds).
Phrase event_start(std::int64_t ms) {
  Phrase p;
  p.chars[p.size++] = '[';
  const auto result =
      std::to_chars(p.chars.data() + p.size, p.chars.data() + p.chars.size(), ms / kMsPerSecond);
  p.size = static_cast<std::size_t>(result.ptr - p.chars.data());
  const auto frac = static_cast<int>(ms % kMsPerSecond);
  const std::array<char, 10> rest = {'.',
                                     static_cast<char>('0' + frac / 100),
                                     static_cast<char>('0' + frac / 10 % 10),
                                     static_cast<char>('0' + frac % 10),
                                     '0',
                                     '0',
                                     '0',
                                     ',',
                                     ' ',
                                     '"'};
  for (const char c : rest) p.chars[p.size++] = c;
  return p;
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

void Cast::begin(std::int64_t width, std::string_view title, std::string_view charset) {
  width_ = static_cast<int>(std::clamp(width, kMinWidth, kMaxWidth));
  out_.write("{\"version\": 2, \"width\": ");
  write_number(out_, width_);
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
  label_size_ = 0;
  held_size_ = 0;
}

void Cast::open_event(std::string_view code) {
  // Most records come at the time of the one before.
  if (ms_ != start_ms_) {
    start_ = event_start(ms_);
    start_ms_ = ms_;
  }
  out_.write(start_.view());
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

void Cast::ascii(std::string_view run, reading::Style style) {
  if (holding_) {  // the label takes each character
    for (const char c : run) put(static_cast<char32_t>(c), style);
    return;
  }
  show_ascii(run, look_of(style));
}

// Printable ASCII at the row's end, where nothing is written over, goes out by runs: each
// character takes one column and only quotes and backslashes need escaping.
void Cast::show_ascii(std::string_view run, Look look) {
  while (!run.empty()) {
    if (x_ < end_) {
      place(static_cast<char32_t>(run.front()), 1, look);
      run.remove_prefix(1);
      continue;
    }
    static constexpr ByteSet kSpecial("\"\\");
    const std::string_view part = run.substr(0, static_cast<std::size_t>(width_ - x_));
    restyle(look);
    split_escapes(
        part, kSpecial,
        [](std::uint64_t w) {
          return has_between(w, '"' - 1, '"' + 1) || has_between(w, '\\' - 1, '\\' + 1);
        },
        [this](std::string_view plain) { output(plain); },
        [this](char c) { output(c == '"' ? "\\\"" : "\\\\"); });
    x_ += static_cast<int>(part.size());
    end_ = x_;
    if (x_ >= width_) {
      output("\\r\\n");
      next_row();
    }
    run.remove_prefix(part.size());
  }
}

void Cast::put(char32_t c, reading::Style style) {
  // The label is the annotation's text, without its line end.
  if (holding_ && c != U'\n') {
    show(c, [this](char32_t s) {
      if (holding_) label(json(s).view());
    });
  }
  const Look look = look_of(style);
  if (is_plain_ascii(c)) {
    const char b = static_cast<char>(c);
    show_ascii({&b, 1}, look);
    return;
  }
  switch (c) {
    case U'\n':
      clear_to_end();
      output("\\r\\n");
      next_row();
      return;
    case U'\r':
      if (x_ > 0) output("\\r");
      x_ = 0;
      lag_ = 0;
      return;
    case U'\b':
      if (x_ > 0) {
        output("\\b");
        --x_;
      }
      return;
    case U'\t': {
      const int column = std::max(0, x_ - lag_);
      const int stop = (column / kTabStop + 1) * kTabStop;
      if (stop >= width_) {
        clear_to_end();
        output("\\r\\n");
        next_row();
        return;
      }
      for (int n = stop - column; n > 0; --n) place(U' ', 1, look);
      return;
    }
    default: break;
  }
  show(c, [&](char32_t s) { place(s, columns(s), look); });
}

void Cast::restyle(Look look) {
  if (look == look_) return;
  output(escape_for(look).view());
  look_ = look;
}

void Cast::place(char32_t c, int width, Look look) {
  if (width == 0) {
    // A combining mark goes over the character before it: none at a row's start, none
    // over a wide character, and only so many on one cell.
    if (x_ == 0) return;
    std::uint8_t& before = cell(x_ - 1);
    if ((before & kRightHalf) != 0 || before >= kCellMarks) return;
    ++before;
    output(json(c).view());
    return;
  }
  if (width > width_) return;
  // Curses writes past the right half of a wide character that a backspace stepped onto.
  if (x_ < end_ && (cell(x_) & kRightHalf) != 0) {
    output("\\u001b[C");
    ++x_;
    ++lag_;
  }
  if (x_ + width > width_) {
    // A wide character that does not fit: the rest of the row is blanks in the pen.
    restyle(look);
    while (x_ < width_) {
      output(" ");
      ++x_;
    }
    output("\\r\\n");
    next_row();
  }
  // The wide character whose left half this covers leaves a blank.
  if (x_ + width < end_) {
    std::uint8_t& after = cell(x_ + width);
    if ((after & kRightHalf) != 0) after = 0;
  }
  restyle(look);
  output(json(c).view());
  cell(x_) = 0;
  for (int i = 1; i < width; ++i) cell(x_ + i) = kRightHalf;
  x_ += width;
  end_ = std::max(end_, x_);
  if (x_ >= width_) {
    output("\\r\\n");
    next_row();
  }
}

// A newline clears the rest of the row, as curses does, in the default look.
void Cast::clear_to_end() {
  // A wide character whose right half the cursor is on stays whole, as in the viewer.
  if (x_ < end_ && (cell(x_) & kRightHalf) != 0 && x_ + 1 < end_) {
    output("\\u001b[C");
    ++x_;
  }
  if (x_ >= end_ || (cell(x_) & kRightHalf) != 0) return;
  restyle(Look{});
  output("\\u001b[K");
}

void Cast::next_row() {
  x_ = 0;
  end_ = 0;
  lag_ = 0;
  cells_.fill(0);
}

void Cast::record_end() {
  if (holding_) release();
  if (open_) out_.write("\"]\n");
  open_ = false;
}

void Cast::end() {
  if (end_ms_ >= 0) ms_ = end_ms_;
  open_event("o");
  if (!(look_ == Look{})) out_.write("\\u001b[0m");
  look_ = Look{};
  out_.write("\"]\n");
}

}  // namespace exporter
