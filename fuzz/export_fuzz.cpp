// Exports arbitrary movies as a page and as a cast, and checks both against a plain model of
// what the viewer shows: the page's <pre>, unescaped, is exactly the shown text, each line as
// the viewer leaves it, and holds no markup but the writer's own spans and empty anchors;
// every cast line is valid JSON, and its output, played on a small terminal of the cast's
// width, leaves the rows curses lays out on that width.
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>

#include "export/cast.hpp"
#include "export/html.hpp"
#include "export/movie.hpp"
#include "export/output.hpp"
#include "reading/pieces.hpp"
#include "reading/shown.hpp"

// Last: it defines check(), a name no header may see.
#include "fuzz/check.hpp"

namespace {

// ---- The model: whole-string steps, one after another, written apart from the reading.
// Every step writes into storage the caller keeps from one input to the next: fresh memory
// for each input would cost more than the exporting.

constexpr std::array<char32_t, 32> kWindows1252 = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t single(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kWindows1252[b - 0x80] : static_cast<char32_t>(b);
}

struct Decoded {
  char32_t c;
  std::size_t size;  // bytes taken
  bool utf8;         // a valid UTF-8 sequence, ASCII included
};

// A valid UTF-8 sequence at `i` (no overlong form, no surrogate, nothing past U+10FFFF) is
// one character; any other byte is windows-1252.
Decoded decode_at(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                        : b >= 0xE0 && b <= 0xEF ? 3
                        : b >= 0xF0 && b <= 0xF4 ? 4
                                                 : 1;
  if (n == 1) return {single(b), 1, b < 0x80};
  char32_t c = b & (0xFF >> (n + 1));
  bool valid = i + n <= s.size();
  for (std::size_t k = 1; valid && k < n; ++k) {
    const auto f = static_cast<unsigned char>(s[i + k]);
    valid = f >= 0x80 && f <= 0xBF;
    c = (c << 6) | (f & 0x3F);
  }
  if (valid && (c < 0x80 || (n == 3 && c < 0x800) || (n == 4 && c < 0x10000) ||
                (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) {
    valid = false;
  }
  if (!valid) return {single(b), 1, false};
  return {c, n, true};
}

void decode(std::string_view s, std::u32string& out) {
  for (std::size_t i = 0; i < s.size();) {
    const Decoded d = decode_at(s, i);
    out += d.c;
    i += d.size;
  }
}

bool is_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const Decoded d = decode_at(s, i);
    if (!d.utf8) return false;
    i += d.size;
  }
  return true;
}

void add_utf8(std::string& out, char32_t c) { out += exporter::utf8(c).view(); }

// Drops each run of carriage returns that comes just before a newline.
void without_crlf(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r') {
      const std::size_t after = s.find_first_not_of('\r', i);
      if (after != std::string_view::npos && s[after] == '\n') {
        i = after - 1;
        continue;
      }
    }
    out += s[i];
  }
}

// Drops every escape: from ESC through the first "m" after it, or to the end.
void without_escapes(std::string_view s, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\x1b') {
      out += s[i];
      continue;
    }
    const std::size_t m = s.find('m', i + 1);
    if (m == std::string_view::npos) break;
    i = m;
  }
}

// How a character shows: a control as two characters, a noncharacter as U+FFFD.
struct Shown {
  std::array<char32_t, 2> c{};
  std::size_t size = 1;
};

Shown shown_as(char32_t c) {
  if (c < 0x20 || c == 0x7F) return {{U'^', c == 0x7F ? U'?' : c + 0x40}, 2};
  if (c >= 0x80 && c <= 0x9F) return {{U'~', c - 0x40}, 2};
  if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFF) >= 0xFFFE) return {{U'\uFFFD'}, 1};
  return {{c}, 1};
}

// The characters the records hand to the screen, in order, controls as they are.
void model(std::string_view movie, std::u32string& shown) {
  static std::string plain;
  static std::string bytes;
  shown.clear();
  while (!movie.empty()) {
    const std::size_t nl = movie.find('\n');
    const std::size_t len = nl == std::string_view::npos ? movie.size() : nl + 1;
    std::string_view text = movie.substr(0, len);
    movie.remove_prefix(len);
    text = text.substr(0, text.find('\0'));
    std::string_view body;
    bool annotation = false;
    bool prompt = false;
    if (text.starts_with("line")) {
      body = text.size() > 5 ? text.substr(5) : "";
    } else if (text.starts_with("promp")) {
      if (text.ends_with('\n')) text.remove_suffix(1);
      body = text.size() > 7 ? text.substr(7) : "";
      prompt = true;
    } else if (text.starts_with("#")) {
      const std::size_t space = text.find(' ', 1);
      body = space == std::string_view::npos ? "" : text.substr(space + 1);
      annotation = true;
    } else {
      continue;
    }
    // Returns before the newline are line end, escapes between them included.
    if (!annotation) {
      without_escapes(body, plain);
      body = plain;
    }
    without_crlf(body, bytes);
    // Returns ending a prompt's text are its line end, its newline taken off.
    if (prompt) {
      while (bytes.ends_with('\r')) bytes.pop_back();
    }
    if (annotation) shown += U"##==> ";
    decode(bytes, shown);
  }
}

// ---- The screen: the characters laid out in cells, as curses lays them out.

constexpr bool is_bidi_control(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

constexpr std::size_t kMarks = 4;

struct Cell {
  char32_t ch = U' ';
  std::uint8_t width = 1;  // 0: the right half of a wide character
  std::uint8_t marks = 0;
  std::array<char32_t, kMarks> mark{};
};

// A row of cells, as long as the page's line buffer at most.
class Row {
 public:
  std::size_t size() const { return size_; }
  Cell& operator[](std::size_t x) { return cells_.at(x); }
  const Cell& operator[](std::size_t x) const { return cells_.at(x); }
  void clear() { size_ = 0; }
  // Cells added are blank.
  void resize(std::size_t size) {
    check(size <= cells_.size());
    for (std::size_t x = size_; x < size; ++x) cells_[x] = Cell{};
    size_ = size;
  }

 private:
  std::array<Cell, exporter::kLineCells + 1> cells_;
  std::size_t size_ = 0;
};

void add_text(std::string& out, const Row& row) {
  for (std::size_t x = 0; x < row.size(); ++x) {
    const Cell& cell = row[x];
    if (cell.width == 0) continue;
    add_utf8(out, cell.ch);
    for (std::size_t k = 0; k < cell.marks; ++k) add_utf8(out, cell.mark[k]);
  }
}

// A screen's rows as one text: each row with its ending blanks left out, a newline after
// each but the last, and no empty rows at the end.
class Screen {
 public:
  void clear() { text_.clear(); }
  void add(const Row& row) {
    add_text(text_, row);
    while (text_.ends_with(' ')) text_.pop_back();
    text_ += '\n';
  }
  std::string_view close(const Row& last) {
    add(last);
    while (text_.ends_with('\n')) text_.pop_back();
    return text_;
  }

 private:
  std::string text_;
};

// Rows `width` columns wide; width 0: the page's, one row a line, cut only where the
// writer's line buffer fills.
class Layout {
 public:
  void reset(std::size_t width) {
    width_ = width;
    page_.clear();
    screen_.clear();
    row_.clear();
    x_ = 0;
    base_ = 0;
    lag_ = 0;
  }

  void run(std::u32string_view chars) {
    for (const char32_t c : chars) {
      if (c == U'\n') {
        clear_to_end();
        next_row(true);
      } else if (c == U'\r') {
        x_ = 0;
        lag_ = 0;
      } else if (c == U'\b') {
        if (x_ > 0) --x_;
      } else if (c == U'\t') {
        // From curses' own column, behind by the right halves written past.
        const std::size_t column = base_ + x_ > lag_ ? base_ + x_ - lag_ : 0;
        const std::size_t stop = (column / 8 + 1) * 8;
        if (width_ != 0 && stop >= width_) {
          clear_to_end();
          next_row(false);
        } else {
          for (std::size_t n = stop - column; n > 0; --n) put(U' ', 1);
        }
      } else if (!is_bidi_control(c)) {
        const Shown shown = shown_as(c);
        for (std::size_t k = 0; k < shown.size; ++k) put(shown.c[k], reading::columns(shown.c[k]));
      }
    }
  }

  // The page's text: the rows one after another, a newline where a line ended.
  std::string_view page() {
    add_text(page_, row_);
    return page_;
  }

  // The screen's rows.
  std::string_view screen() { return screen_.close(row_); }

 private:
  void clear_to_end() {
    if (x_ < row_.size() && row_[x_].width == 0) ++x_;  // the wide character stays whole
    if (x_ >= row_.size()) return;
    row_.resize(x_);
  }

  void next_row(bool ended) {
    if (width_ == 0) {
      add_text(page_, row_);
      if (ended) page_ += '\n';
    } else {
      screen_.add(row_);
    }
    row_.clear();
    x_ = 0;
    base_ = 0;
    lag_ = 0;
  }

  void put(char32_t c, int w) {
    if (w == 0) {
      if (x_ == 0 || row_[x_ - 1].width == 0 || row_[x_ - 1].marks == kMarks) return;
      Cell& cell = row_[x_ - 1];
      cell.mark[cell.marks++] = c;
      return;
    }
    const auto cw = static_cast<std::size_t>(w);
    if (x_ < row_.size() && row_[x_].width == 0) {
      ++x_;
      ++lag_;
    }
    if (width_ == 0 && x_ + cw > exporter::kLineCells) {
      const std::size_t base = base_ + row_.size();
      const std::size_t lag = lag_;
      next_row(false);
      base_ = base;
      lag_ = lag;
    } else if (width_ != 0 && x_ + cw > width_) {
      row_.resize(width_);
      for (std::size_t i = x_; i < width_; ++i) row_[i] = Cell{};
      next_row(false);
    }
    if (row_.size() < x_ + cw) row_.resize(x_ + cw);
    if (x_ + cw < row_.size() && row_[x_ + cw].width == 0) row_[x_ + cw] = Cell{};
    row_[x_] = Cell{c, static_cast<std::uint8_t>(w), 0, {}};
    for (std::size_t i = 1; i < cw; ++i) row_[x_ + i] = Cell{0, 0, 0, {}};
    x_ += cw;
    if (width_ != 0 && x_ >= width_) next_row(false);
  }

  std::size_t width_ = 0;
  std::string page_;
  Screen screen_;
  Row row_;
  std::size_t x_ = 0;
  std::size_t base_ = 0;  // columns of the page's line already written out
  std::size_t lag_ = 0;
};

// ---- The page.

// "cN", "b", "r" in that order, one space apart, at least one.
bool is_class_list(std::string_view s) {
  const auto take = [&s](std::string_view token) {
    if (!s.starts_with(token)) return false;
    s.remove_prefix(token.size());
    if (!s.empty()) {
      check(s.front() == ' ');
      s.remove_prefix(1);
      check(!s.empty());
    }
    return true;
  };
  bool any = false;
  if (s.size() >= 2 && s[0] == 'c' && s[1] >= '1' && s[1] <= '9') {
    const bool two = s.size() >= 3 && s[1] == '1' && s[2] >= '0' && s[2] <= '5';
    any = take(s.substr(0, two ? 3 : 2));
  }
  any = take("b") || any;
  any = take("r") || any;
  return any && s.empty();
}

// The <pre>'s text as a browser reads it, into `text`; traps on any markup but the writer's
// spans.
std::string_view page_text(std::string_view page, std::string& text) {
  const std::size_t open = page.find("<pre>");
  const std::size_t close = page.rfind("</pre>");
  check(open != std::string_view::npos && close != std::string_view::npos && open < close);
  check(page.find("<pre") == open && page.find("</pre") == close);
  // The heading comes after the <pre>; the movie's text is only in it, escaped.
  check(page.substr(close).starts_with("</pre>\n<header>\n"));
  check(page.ends_with("</header>\n</body>\n</html>\n"));
  std::string_view inner = page.substr(open + 5, close - open - 5);
  if (inner.starts_with('\n')) inner.remove_prefix(1);  // a parser drops it
  text.clear();
  int depth = 0;
  std::size_t wide = std::string::npos;  // where a wide character's span began in `text`
  int anchors = 0;
  while (!inner.empty()) {
    const char c = inner.front();
    if (c == '<') {
      const std::size_t end = inner.find('>');
      check(end != std::string_view::npos);
      const std::string_view tag = inner.substr(0, end + 1);
      constexpr std::string_view kAnchor = "<a id=\"chapter-";
      if (tag == "</span>") {
        if (wide != std::string::npos) {
          // One wide character, and the marks over it.
          const std::string_view in = std::string_view(text).substr(wide);
          check(!in.empty());
          for (std::size_t k = 0; k < in.size();) {
            const Decoded d = decode_at(in, k);
            check(reading::columns(d.c) == (k == 0 ? 2 : 0));
            k += d.size;
          }
          wide = std::string::npos;
        } else {
          check(depth-- == 1);
        }
      } else if (tag == "<span class=\"w\">") {
        check(wide == std::string::npos);
        wide = text.size();
      } else if (tag.starts_with(kAnchor)) {
        // Each annotation's anchor holds nothing; they are numbered from 1.
        check(wide == std::string::npos);
        std::array<char, 24> number{};
        const auto [last, error] = std::to_chars(number.begin(), number.end(), ++anchors);
        check(error == std::errc{});
        std::string_view rest = tag.substr(kAnchor.size());
        const std::string_view digits(number.data(),
                                      static_cast<std::size_t>(last - number.data()));
        check(rest.starts_with(digits));
        rest.remove_prefix(digits.size());
        check(rest == "\">");
        check(inner.substr(end + 1).starts_with("</a>"));
        inner.remove_prefix(4);
      } else {
        constexpr std::string_view kOpen = "<span class=\"";
        check(wide == std::string::npos);
        check(tag.starts_with(kOpen) && tag.ends_with("\">"));
        check(is_class_list(tag.substr(kOpen.size(), tag.size() - kOpen.size() - 2)));
        check(depth++ == 0);  // the look's spans never nest
      }
      inner.remove_prefix(end + 1);
    } else if (c == '&') {
      static constexpr std::array<std::pair<std::string_view, char>, 5> kEntities = {
          {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}}};
      bool known = false;
      for (const auto& [entity, ch] : kEntities) {
        if (inner.starts_with(entity)) {
          text += ch;
          inner.remove_prefix(entity.size());
          known = true;
          break;
        }
      }
      check(known);
    } else {
      check(c != '>' && c != '"' && c != '\'' && c != '\r' && c != '\0');
      text += c;
      inner.remove_prefix(1);
    }
  }
  check(depth == 0 && wide == std::string::npos);
  return text;
}

// ---- The cast: a small strict JSON reader.

class Json {
 public:
  explicit Json(std::string_view s) : s_(s) {}

  bool at_end() const { return pos_ == s_.size(); }

  void space() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }

  bool eat(char c) {
    space();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  // A number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  double number() {
    space();
    const std::size_t start = pos_;
    eat_if('-');
    check(pos_ < s_.size() && is_digit(s_[pos_]));
    if (s_[pos_] == '0') {
      ++pos_;
    } else {
      digits();
    }
    if (eat_if('.')) check(digits() > 0);
    if (eat_if('e') || eat_if('E')) {
      if (!eat_if('+')) eat_if('-');
      check(digits() > 0);
    }
    return std::strtod(std::string(s_.substr(start, pos_ - start)).c_str(), nullptr);
  }

  // A string, decoded to UTF-8 and added to `out`; its raw bytes must be valid UTF-8 with
  // no control byte. Returns what was added.
  std::string_view string(std::string& out) {
    check(eat('"'));
    const std::size_t from = out.size();
    for (;;) {
      check(pos_ < s_.size());
      const auto b = static_cast<unsigned char>(s_[pos_++]);
      if (b == '"') break;
      check(b >= 0x20);
      if (b != '\\') {
        out += static_cast<char>(b);
        continue;
      }
      check(pos_ < s_.size());
      const char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          check(pos_ + 4 <= s_.size());
          const std::string_view hex = s_.substr(pos_, 4);
          check(hex.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos);
          pos_ += 4;
          std::uint32_t v = 0;
          check(std::from_chars(hex.data(), hex.data() + hex.size(), v, 16).ptr ==
                hex.data() + hex.size());
          check(v < 0xD800 || v > 0xDFFF);  // the writer needs no surrogate pairs
          add_utf8(out, static_cast<char32_t>(v));
          break;
        }
        default: check(false);
      }
    }
    const std::string_view added = std::string_view(out).substr(from);
    check(is_utf8(added));  // no byte read as windows-1252
    return added;
  }

 private:
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  bool eat_if(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  std::size_t digits() {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && is_digit(s_[pos_])) ++pos_;
    return pos_ - start;
  }
  std::string_view s_;
  std::size_t pos_ = 0;
};

// The cast's output played on a terminal `width` columns wide with no scrolling: the
// writer's own escapes only, and a row wrapped only by the writer's "\r\n". Nothing moves
// the cursor up, so a row is done with at its newline.
std::string_view played(std::string_view data, std::size_t width, Screen& screen) {
  static Row row;
  row.clear();
  screen.clear();
  std::size_t x = 0;
  for (std::size_t i = 0; i < data.size();) {
    const Decoded d = decode_at(data, i);
    const char32_t c = d.c;
    i += d.size;
    if (c == 0x1b) {
      // "ESC [ digits and semicolons m", "ESC [ K" or "ESC [ C".
      check(i < data.size() && data[i] == '[');
      std::size_t j = i + 1;
      while (j < data.size() && (data[j] == ';' || (data[j] >= '0' && data[j] <= '9'))) ++j;
      check(j < data.size());
      if (data[j] == 'K') {
        check(j == i + 1);
        if (x < row.size()) {
          if (x > 0 && row[x].width == 0) row[x - 1] = Cell{};
          row.resize(x);
        }
      } else if (data[j] == 'C') {
        check(j == i + 1 && x + 1 < width);
        ++x;
      } else {
        check(data[j] == 'm');
      }
      i = j + 1;
    } else if (c == U'\r') {
      x = 0;
    } else if (c == U'\n') {
      check(x == 0);  // the writer always returns first
      screen.add(row);
      row.clear();
    } else if (c == U'\b') {
      check(x > 0 && x <= width);
      --x;
    } else {
      check(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F) && !is_bidi_control(c));
      const auto w = static_cast<std::size_t>(reading::columns(c));
      if (w == 0) {
        check(x > 0 && row[x - 1].width != 0 && row[x - 1].marks < kMarks);
        Cell& cell = row[x - 1];
        cell.mark[cell.marks++] = c;
        continue;
      }
      check(x + w <= width);  // the writer never leaves a wrap to the terminal
      if (row.size() < x + w) row.resize(x + w);
      if (row[x].width == 0) row[x - 1] = Cell{};
      if (x + w < row.size() && row[x + w].width == 0) row[x + w] = Cell{};
      row[x] = Cell{c, static_cast<std::uint8_t>(w), 0, {}};
      for (std::size_t k = 1; k < w; ++k) row[x + k] = Cell{0, 0, 0, {}};
      x += w;
    }
  }
  return screen.close(row);
}

// The output events' text, joined into `data`; `width` from the header.
std::string_view cast_output(std::string_view cast, std::size_t& width, std::string& data) {
  static std::string word;
  std::size_t nl = cast.find('\n');
  check(nl != std::string_view::npos);
  {
    Json header(cast.substr(0, nl));
    check(header.eat('{'));
    for (const std::string_view key : {"version", "width", "height", "title"}) {
      word.clear();
      check(header.string(word) == key && header.eat(':'));
      word.clear();
      if (key == "title") {
        header.string(word);
      } else if (key == "width") {
        width = static_cast<std::size_t>(header.number());
      } else {
        header.number();
      }
      check(header.eat(','));
    }
    word.clear();
    check(header.string(word) == "env" && header.eat(':') && header.eat('{'));
    word.clear();
    check(header.string(word) == "MOVIE_CHARSET" && header.eat(':'));
    word.clear();
    header.string(word);
    check(header.eat('}') && header.eat('}'));
    check(header.at_end());
  }
  data.clear();
  double last = 0;
  for (std::size_t start = nl + 1; start < cast.size(); start = nl + 1) {
    nl = cast.find('\n', start);
    check(nl != std::string_view::npos);
    Json event(cast.substr(start, nl - start));
    check(event.eat('['));
    const double time = event.number();
    check(time >= last);
    last = time;
    check(event.eat(','));
    word.clear();
    const std::string_view code = event.string(word);
    check(code == "o" || code == "m");
    check(event.eat(','));
    // An output's text goes on the data; a marker's label is read the same way and dropped.
    const std::size_t end = data.size();
    event.string(data);
    if (code != "o") data.resize(end);
    check(event.eat(']') && event.at_end());
  }
  return data;
}

// ---- The run.

bool append(void* context, std::string_view bytes) {
  static_cast<std::string*>(context)->append(bytes);
  return true;
}

template <class Writer>
void exported(std::string_view movie, Writer& writer) {
  // From memory, as if from a file: no descriptor, no system call in the loop.
  reading::Pieces pieces(movie);
  check(exporter::read_movie(pieces, writer) == exporter::Outcome::done);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Everything here keeps its memory from one input to the next.
  static std::u32string chars;
  static Layout lines;
  static std::string page;
  static std::string text;
  static std::string cast;
  static std::string output;
  static Screen screen;

  const std::string_view movie(reinterpret_cast<const char*>(data), size);
  model(movie, chars);

  page.clear();
  {
    exporter::Output out(append, &page);
    exporter::Html html(out);
    html.begin("fuzz");
    exported(movie, html);
    html.end(static_cast<std::int64_t>(movie.size()));
    check(out.flush());
  }
  lines.reset(0);
  lines.run(chars);
  check(page_text(page, text) == lines.page());

  cast.clear();
  {
    exporter::Output out(append, &cast);
    exporter::Cast writer(out);
    writer.begin(0, "fuzz");
    exported(movie, writer);
    writer.end();
    check(out.flush());
  }
  std::size_t width = 0;
  cast_output(cast, width, output);
  check(width == exporter::kMinWidth);
  lines.reset(width);
  lines.run(chars);
  check(played(output, width, screen) == lines.screen());
  return 0;
}
