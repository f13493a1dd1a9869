// Exports arbitrary movie bytes as a page and as a cast, and checks both against a plain
// model of what the viewer shows: the page's <pre>, unescaped, is exactly the shown text and
// holds no markup but the writer's own spans; every cast line is valid JSON, and its output,
// less the writer's own escapes, is the same shown text.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "export/cast.hpp"
#include "export/html.hpp"
#include "export/movie.hpp"
#include "export/output.hpp"
#include "reading/pieces.hpp"

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

// ---- The model: whole-string steps, one after another, written apart from the reading.

constexpr std::array<char32_t, 32> kWindows1252 = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t single(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kWindows1252[b - 0x80] : static_cast<char32_t>(b);
}

// A valid UTF-8 sequence at `i` (no overlong form, no surrogate, nothing past U+10FFFF) is
// one character; any other byte is windows-1252.
std::u32string decode(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                          : b >= 0xE0 && b <= 0xEF ? 3
                          : b >= 0xF0 && b <= 0xF4 ? 4
                                                   : 1;
    char32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
    bool valid = n > 1 && i + n <= s.size();
    for (std::size_t k = 1; valid && k < n; ++k) {
      const auto f = static_cast<unsigned char>(s[i + k]);
      valid = f >= 0x80 && f <= 0xBF;
      c = (c << 6) | (f & 0x3F);
    }
    if (valid && (c < 0x80 || (n == 3 && c < 0x800) || (n == 4 && c < 0x10000) ||
                  (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) {
      valid = false;
    }
    if (valid) {
      out += c;
      i += n;
    } else {
      out += single(b);
      ++i;
    }
  }
  return out;
}

// Drops each carriage return that comes just before a newline.
std::string without_crlf(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

// Drops every escape: from ESC through the first "m" after it, or to the end.
std::string without_escapes(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\x1b') {
      out += s[i];
      continue;
    }
    const std::size_t m = s.find('m', i + 1);
    if (m == std::string_view::npos) break;
    i = m;
  }
  return out;
}

void append_shown(std::u32string& out, char32_t c) {
  if (c == U'\n' || c == U'\t') {
    out += c;
  } else if (c < 0x20 || c == 0x7F) {
    out += U'^';
    out += c == 0x7F ? U'?' : c + 0x40;
  } else if (c >= 0x80 && c <= 0x9F) {
    out += U'~';
    out += c - 0x40;
  } else if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFF) >= 0xFFFE) {
    out += U'\uFFFD';
  } else {
    out += c;
  }
}

std::u32string model(std::string_view movie) {
  std::u32string shown;
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
    std::string bytes = without_crlf(body);
    // A carriage return ending a prompt's text is its line end, its newline taken off.
    if (prompt && bytes.ends_with('\r')) bytes.pop_back();
    if (!annotation) bytes = without_escapes(bytes);
    std::u32string chars = decode(bytes);
    if (annotation) chars = U"##==> " + chars;
    for (const char32_t c : chars) append_shown(shown, c);
  }
  return shown;
}

std::string utf8(std::u32string_view s) {
  std::string out;
  for (const char32_t c : s) out += exporter::utf8(c).view();
  return out;
}

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

// The <pre>'s text as a browser reads it; traps on any markup but the writer's spans.
std::string page_text(std::string_view page) {
  const std::size_t open = page.find("<pre>");
  const std::size_t close = page.rfind("</pre>");
  check(open != std::string_view::npos && close != std::string_view::npos && open < close);
  check(page.find("<pre") == open && page.find("</pre") == close);
  check(page.substr(close) == "</pre>\n</body>\n</html>\n");
  std::string_view inner = page.substr(open + 5, close - open - 5);
  if (inner.starts_with('\n')) inner.remove_prefix(1);  // a parser drops it
  std::string text;
  int depth = 0;
  while (!inner.empty()) {
    const char c = inner.front();
    if (c == '<') {
      const std::size_t end = inner.find('>');
      check(end != std::string_view::npos);
      const std::string_view tag = inner.substr(0, end + 1);
      if (tag == "</span>") {
        check(depth-- == 1);
      } else {
        constexpr std::string_view kOpen = "<span class=\"";
        check(tag.starts_with(kOpen) && tag.ends_with("\">"));
        check(is_class_list(tag.substr(kOpen.size(), tag.size() - kOpen.size() - 2)));
        check(depth++ == 0);  // spans never nest
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
  check(depth == 0);
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

  // A string, decoded to UTF-8; its raw bytes must be valid UTF-8 with no control byte.
  std::string string() {
    check(eat('"'));
    std::string out;
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
          const std::string hex(s_.substr(pos_, 4));
          check(hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos);
          pos_ += 4;
          const auto v = static_cast<char32_t>(std::strtoul(hex.c_str(), nullptr, 16));
          check(v < 0xD800 || v > 0xDFFF);  // the writer needs no surrogate pairs
          out += exporter::utf8(v).view();
          break;
        }
        default: check(false);
      }
    }
    check(utf8(decode(out)) == out);  // valid UTF-8: no byte read as windows-1252
    return out;
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

std::string without_own_escapes(std::string_view data) {
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\x1b') {
      // Only "ESC [ digits and semicolons m".
      check(i + 1 < data.size() && data[i + 1] == '[');
      std::size_t j = i + 2;
      while (j < data.size() && (data[j] == ';' || (data[j] >= '0' && data[j] <= '9'))) ++j;
      check(j < data.size() && data[j] == 'm');
      i = j;
      continue;
    }
    if (data[i] == '\r') {
      check(i + 1 < data.size() && data[i + 1] == '\n');
      continue;
    }
    out += data[i];
  }
  return out;
}

std::string cast_text(std::string_view cast) {
  std::size_t nl = cast.find('\n');
  check(nl != std::string_view::npos);
  {
    Json header(cast.substr(0, nl));
    check(header.eat('{'));
    for (const std::string_view key : {"version", "width", "height", "title"}) {
      check(header.string() == key && header.eat(':'));
      if (key == "title") {
        header.string();
      } else {
        header.number();
      }
      check(header.eat(','));
    }
    check(header.string() == "env" && header.eat(':') && header.eat('{'));
    check(header.string() == "MOVIE_CHARSET" && header.eat(':'));
    header.string();
    check(header.eat('}') && header.eat('}'));
    check(header.at_end());
  }
  std::string data;
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
    const std::string code = event.string();
    check(code == "o" || code == "m");
    check(event.eat(','));
    const std::string text = event.string();
    check(event.eat(']') && event.at_end());
    if (code == "o") data += text;
  }
  return without_own_escapes(data);
}

// ---- The run.

bool append(void* context, std::string_view bytes) {
  static_cast<std::string*>(context)->append(bytes);
  return true;
}

// The movie on a descriptor: a pipe when it fits one (no file system in the loop), else a
// scratch file.
constexpr std::size_t kPipeFits = 32 * 1024;

class MovieInput {
 public:
  explicit MovieInput(std::string_view movie) {
    if (movie.size() <= kPipeFits) {
      std::array<int, 2> ends{};
      check(pipe(ends.data()) == 0);
      check(write(ends[1], movie.data(), movie.size()) == static_cast<ssize_t>(movie.size()));
      close(ends[1]);
      fd_ = ends[0];
      return;
    }
    char path[] = "/tmp/export_fuzzXXXXXX";
    fd_ = mkstemp(path);
    check(fd_ >= 0);
    unlink(path);
    check(write(fd_, movie.data(), movie.size()) == static_cast<ssize_t>(movie.size()));
    check(lseek(fd_, 0, SEEK_SET) == 0);
  }
  ~MovieInput() { close(fd_); }
  MovieInput(const MovieInput&) = delete;
  MovieInput& operator=(const MovieInput&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

template <class Writer>
void exported(std::string_view movie, Writer& writer) {
  const MovieInput input(movie);
  reading::Pieces pieces(input.fd());
  check(exporter::read_movie(pieces, writer) == exporter::Outcome::done);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view movie(reinterpret_cast<const char*>(data), size);
  const std::string shown = utf8(model(movie));

  std::string page;
  {
    exporter::Output out(append, &page);
    exporter::Html html(out);
    html.begin("fuzz");
    exported(movie, html);
    html.end();
    check(out.flush());
  }
  check(page_text(page) == shown);

  std::string cast;
  {
    exporter::Output out(append, &cast);
    exporter::Cast writer(out);
    writer.begin(0, "fuzz");
    exported(movie, writer);
    writer.end();
    check(out.flush());
  }
  check(cast_text(cast) == shown);
  return 0;
}
