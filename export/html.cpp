#include "export/html.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "reading/shown.hpp"

namespace exporter {
namespace {

// Pair n of the reading is colour n; each is bright enough to read on black.
constexpr std::array<std::string_view, reading::kColours> kPalette = {
    "#d0d0d0",  // 0: the default look
    "#e04848", "#48c048", "#d0b038", "#5080f0", "#c858c8", "#38b8c8", "#e0e0e0", "#8a8a8a",
    "#ff6e6e", "#70f070", "#ffff70", "#80a8ff", "#ff80ff", "#70ffff", "#ffffff",
};
constexpr std::string_view kBackground = "#000";

constexpr std::string_view kHead =
    "<!DOCTYPE html>\n"
    "<html lang=\"en\">\n"
    "<head>\n"
    "<meta charset=\"utf-8\">\n"
    "<meta name=\"movie-charset\" content=\"";
// Then the set the movie was read in, and the rest of the head.
constexpr std::string_view kHeadRest =
    "\">\n"
    // Nothing from a movie can be markup, and should anything ever slip through, the page
    // still runs no script and loads nothing.
    "<meta http-equiv=\"Content-Security-Policy\" "
    "content=\"default-src 'none'; style-src 'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>";

constexpr int kDecimal = 10;

// The class of colour n: "c1" to "c15".
void write_class(Output& out, int n) {
  out.write('c');
  if (n >= kDecimal) out.write(static_cast<char>('0' + n / kDecimal));
  out.write(static_cast<char>('0' + n % kDecimal));
}

void write_style(Output& out) {
  out.write("<style>\nhtml, body { margin: 0; background: ");
  out.write(kBackground);
  out.write("; }\npre { margin: 0; padding: 0.5em; color: ");
  out.write(kPalette[0]);
  out.write("; background: ");
  out.write(kBackground);
  // Long lines wrap in a narrow window, words longer than the window included.
  out.write(
      "; font-family: \"DejaVu Sans Mono\", \"Menlo\", \"Consolas\", monospace;\n"
      "  white-space: pre-wrap; overflow-wrap: anywhere; tab-size: 8;\n"
      // Characters in the order they come, as on the viewer's terminal.
      "  unicode-bidi: bidi-override; direction: ltr; }\n"
      // A wide character takes two cells, whatever the width of its glyph.
      ".w { display: inline-block; width: 2ch; text-align: center; }\n"
      ".b { font-weight: bold; }\n"
      // The heading is written after the <pre>, and shown above it.
      "body { display: flex; flex-direction: column; }\n"
      "header { order: -1; padding: 0.5em; border-bottom: 1px solid #444; color: #e0e0e0;\n"
      "  font-family: \"DejaVu Sans\", \"Helvetica\", \"Arial\", sans-serif; }\n"
      "h1 { font-size: 1.4em; margin: 0 0 0.2em; overflow-wrap: anywhere; }\n"
      "h2 { font-size: 1em; margin: 0.6em 0 0.2em; }\n"
      "header p { margin: 0; color: #b0b0b0; }\n"
      "header ol { margin: 0; padding-left: 2.5em; }\n"
      // A long annotation's item is cut to one line on the screen; the page keeps it whole.
      "header li { white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }\n"
      "header a { color: #80a8ff; }\n"
      ".at { font-family: \"DejaVu Sans Mono\", \"Menlo\", \"Consolas\", monospace; "
      "margin-right: 0.5em; }\n");
  for (std::size_t n = 1; n < kPalette.size(); ++n) {
    out.write(".");
    write_class(out, static_cast<int>(n));
    out.write(" { color: ");
    out.write(kPalette[n]);
    out.write("; }\n");
  }
  // Reverse video swaps the colours; a colour's own rule is overridden by the later one.
  out.write(".r { color: ");
  out.write(kBackground);
  out.write("; background-color: ");
  out.write(kPalette[0]);
  out.write("; }\n");
  for (std::size_t n = 1; n < kPalette.size(); ++n) {
    out.write(".r.");
    write_class(out, static_cast<int>(n));
    out.write(" { background-color: ");
    out.write(kPalette[n]);
    out.write("; }\n");
  }
  out.write("</style>\n");
}

void write_escaped(Output& out, char32_t c) {
  switch (c) {
    case U'&': out.write("&amp;"); return;
    case U'<': out.write("&lt;"); return;
    case U'>': out.write("&gt;"); return;
    case U'"': out.write("&quot;"); return;
    case U'\'': out.write("&#39;"); return;
    default: out.write(utf8(c).view()); return;
  }
}

// Printable ASCII, escaped: the bytes between those that need it go out whole.
void write_escaped(Output& out, std::string_view run) {
  static constexpr ByteSet kSpecial("&<>\"'");  // all within 0x22..0x3E
  split_escapes(
      run, kSpecial, [](std::uint64_t w) { return has_between(w, 0x21, 0x3F); },
      [&out](std::string_view plain) { out.write(plain); },
      [&out](char c) { write_escaped(out, static_cast<char32_t>(c)); });
}

void write_number(Output& out, std::int64_t n) {
  std::array<char, 24> digits{};
  const auto result = std::to_chars(digits.begin(), digits.end(), n);
  out.write({digits.data(), static_cast<std::size_t>(result.ptr - digits.data())});
}

void write_title(Output& out, std::string_view title) {
  show_name(title, [&out](char32_t c) { write_escaped(out, c); });
}

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 3600;
constexpr std::int64_t kThousand = 1000;

void add(Phrase& p, std::string_view s) {
  s.copy(p.chars.data() + p.size, s.size());
  p.size += s.size();
}

void add_number(Phrase& p, std::int64_t n) {
  const auto result = std::to_chars(p.chars.data() + p.size, p.chars.data() + p.chars.size(), n);
  p.size = static_cast<std::size_t>(result.ptr - p.chars.data());
}

void add_two_digits(Phrase& p, std::int64_t n) {
  const std::array<char, 2> d = {static_cast<char>('0' + n / kDecimal),
                                 static_cast<char>('0' + n % kDecimal)};
  add(p, {d.data(), d.size()});
}

}  // namespace

Phrase clock_time(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(0, ms) / kMsPerSecond;
  Phrase p;
  add_number(p, s / kSecondsPerHour);
  add(p, ":");
  add_two_digits(p, s % kSecondsPerHour / kSecondsPerMinute);
  add(p, ":");
  add_two_digits(p, s % kSecondsPerMinute);
  return p;
}

Phrase byte_size(std::int64_t bytes) {
  Phrase p;
  if (bytes < kThousand) {
    add_number(p, bytes);
    add(p, bytes == 1 ? " byte" : " bytes");
    return p;
  }
  constexpr std::array<std::string_view, 4> kUnits = {" kB", " MB", " GB", " TB"};
  std::size_t unit = 0;
  std::int64_t scale = kThousand;
  while (unit + 1 < kUnits.size() && bytes / scale >= kThousand) {
    scale *= kThousand;
    ++unit;
  }
  // Tenths of the unit, cut.
  const std::int64_t tenths = bytes / (scale / kDecimal);
  add_number(p, tenths / kDecimal);
  add(p, ".");
  add_number(p, tenths % kDecimal);
  add(p, kUnits[unit]);
  return p;
}

void Html::begin(std::string_view title, std::string_view charset) {
  title_ = title;
  out_.write(kHead);
  out_.write(charset);  // a name of the program's own: nothing to escape
  out_.write(kHeadRest);
  write_title(out_, title);
  out_.write("</title>\n");
  write_style(out_);
  out_.write("</head>\n<body>\n<pre>");
}

void Html::restyle(Look look) {
  if (!(look_ == Look{})) out_.write("</span>");
  look_ = look;
  if (look == Look{}) return;
  out_.write("<span class=\"");
  const char* sep = "";
  if (look.colour != 0) {
    write_class(out_, look.colour);
    sep = " ";
  }
  if (look.bold) {
    out_.write(sep);
    out_.write('b');
    sep = " ";
  }
  if (look.reverse) {
    out_.write(sep);
    out_.write('r');
  }
  out_.write("\">");
}

void Html::record_start(std::int64_t ms, bool annotation) {
  last_ms_ = ms;
  in_chapter_ = annotation;
  if (!annotation) return;
  ++chapter_;
  ++anchors_;
  Output& list = chapters_.out();
  list.write("<li><a href=\"#chapter-");
  write_number(list, chapter_);
  list.write("\"><span class=\"at\">");
  list.write(clock_time(ms).view());
  list.write("</span>");
}

void Html::record_end() {
  if (!in_chapter_) return;
  in_chapter_ = false;
  chapters_.out().write("</a></li>\n");
}

void Html::ascii(std::string_view run, reading::Style style) {
  if (in_chapter_) write_escaped(chapters_.out(), run);
  show_ascii(run, look_of(style));
}

void Html::show_ascii(std::string_view run, Look look) {
  if (plain_) {
    append(run, look);
    return;
  }
  for (const char c : run) place(static_cast<char32_t>(c), 1, look);
}

// To a plain line, at its end.
void Html::append(std::string_view run, Look look) {
  while (!run.empty()) {
    if (end_ == kLineCells) write_held();
    const std::size_t n = std::min(run.size(), static_cast<std::size_t>(kLineCells - end_));
    if (run_count_ == 0 || !(runs_[run_count_ - 1].look == look)) {
      runs_[run_count_++] = {end_, look};
    }
    run.copy(text_.data() + end_, n);
    end_ += static_cast<int>(n);
    x_ = end_;
    run.remove_prefix(n);
  }
}

// The plain line held becomes cells, for what only cells can take.
void Html::to_cells() {
  if (!plain_) return;
  plain_ = false;
  for (std::size_t r = 0; r < run_count_; ++r) {
    const Run& run = runs_[r];
    const int stop = r + 1 < run_count_ ? runs_[r + 1].start : end_;
    for (int i = run.start; i < stop; ++i) {
      Cell& at = cell(i);
      at.ch = static_cast<unsigned char>(text_[static_cast<std::size_t>(i)]);
      at.look = run.look;
      at.width = 1;
      at.marks = 0;
    }
  }
  run_count_ = 0;
}

void Html::put(char32_t c, reading::Style style) {
  // The chapter's text is the annotation's, without its line end.
  if (in_chapter_ && c != U'\n') {
    show(c, [this](char32_t s) { write_escaped(chapters_.out(), s); });
  }
  const Look look = look_of(style);
  if (plain_ && is_plain_ascii(c)) {
    const char b = static_cast<char>(c);
    append({&b, 1}, look);
    return;
  }
  switch (c) {
    case U'\n': {
      // The rest of the line goes, as curses clears it; a wide character whose right half
      // the cursor is on stays whole.
      write_cells(x_ < end_ && cell(x_).width == 0 ? x_ + 1 : x_);
      if (!(look == look_)) restyle(look);
      // A parser drops a newline that comes straight after <pre>: one more keeps the first.
      if (!started_ && look_ == Look{}) out_.write('\n');
      started_ = true;
      out_.write('\n');
      x_ = 0;
      end_ = 0;
      base_ = 0;
      lag_ = 0;
      plain_ = true;
      run_count_ = 0;
      return;
    }
    case U'\r':
      if (x_ > 0) to_cells();
      x_ = 0;
      lag_ = 0;
      return;
    case U'\b':
      if (x_ > 0) {
        to_cells();
        --x_;
      }
      return;
    case U'\t': {
      const std::int64_t column = std::max<std::int64_t>(0, base_ + x_ - lag_);
      for (std::int64_t n = (column / kTabStop + 1) * kTabStop - column; n > 0; --n) {
        if (plain_) {
          append(" ", look);
        } else {
          place(U' ', 1, look);
        }
      }
      return;
    }
    default: break;
  }
  if (is_bidi_control(c)) return;  // shows as nothing, so a plain line stays plain
  to_cells();
  show(c, [&](char32_t s) {
    const int width = columns(s);
    if (width == 0) {
      add_mark(s);
    } else {
      place(s, width, look);
    }
  });
}

void Html::place(char32_t c, int width, Look look) {
  // Curses writes past the right half of a wide character that a backspace stepped onto.
  if (x_ < end_ && cell(x_).width == 0) {
    ++x_;
    ++lag_;
  }
  if (x_ + width > kLineCells) {
    write_held();
    plain_ = false;
  }
  // The wide character whose left half this covers leaves a blank.
  if (x_ + width < end_ && cell(x_ + width).width == 0) {
    cell(x_ + width) = Cell{};
  }
  Cell& at = cell(x_);
  at.ch = c;
  at.look = look;
  at.width = static_cast<std::uint8_t>(width);
  at.marks = 0;
  for (int i = 1; i < width; ++i) {
    Cell& half = cell(x_ + i);
    half.look = look;
    half.width = 0;
    half.marks = 0;
  }
  x_ += width;
  end_ = std::max(end_, x_);
}

// A combining mark goes over the character before it: none at the line's start, none over
// a wide character, and only so many on one cell.
void Html::add_mark(char32_t c) {
  if (x_ == 0) return;
  Cell& before = cell(x_ - 1);
  if (before.width == 0 || before.marks == kCellMarks) return;
  before.mark[before.marks++] = c;
}

// The line held so far is written out; what follows goes after it.
void Html::write_held() {
  write_cells(end_);
  base_ += end_;
  x_ = 0;
  end_ = 0;
  plain_ = true;
  run_count_ = 0;
}

// The first `count` columns of a plain line.
void Html::write_plain(int count) {
  for (std::size_t r = 0; r < run_count_; ++r) {
    const Run& run = runs_[r];
    if (run.start >= count) break;
    const int stop = r + 1 < run_count_ ? runs_[r + 1].start : end_;
    if (!(run.look == look_)) restyle(run.look);
    write_escaped(out_, {text_.data() + run.start,
                         static_cast<std::size_t>(std::min(stop, count) - run.start)});
  }
}

// The anchors of the annotations met since the line held was last written, before it: a
// carriage return in an annotation still goes back to the start of the line it is on. An
// anchor holds nothing, so that the <pre>'s text stays the transcript's.
void Html::write_anchors() {
  for (std::int64_t n = chapter_ - anchors_ + 1; n <= chapter_; ++n) {
    out_.write("<a id=\"chapter-");
    write_number(out_, n);
    out_.write("\"></a>");
    started_ = true;  // a newline after it is kept
  }
  anchors_ = 0;
}

void Html::write_cells(int count) {
  write_anchors();
  if (count > 0) started_ = true;
  if (plain_) {
    write_plain(count);
    return;
  }
  for (int i = 0; i < count; ++i) {
    const Cell& at = cell(i);
    if (at.width == 0) continue;
    if (!(at.look == look_)) restyle(at.look);
    if (at.width == 2) out_.write("<span class=\"w\">");
    write_escaped(out_, at.ch);
    for (std::size_t m = 0; m < at.marks; ++m) write_escaped(out_, at.mark[m]);
    if (at.width == 2) out_.write("</span>");
  }
}

void Html::end(std::int64_t size) {
  write_cells(end_);
  x_ = 0;
  end_ = 0;
  plain_ = true;
  run_count_ = 0;
  if (!(look_ == Look{})) out_.write("</span>");
  look_ = Look{};
  out_.write("</pre>\n<header>\n<h1>");
  write_title(out_, title_);
  out_.write("</h1>\n<p>Length ");
  out_.write(clock_time(last_ms_).view());
  out_.write(" at normal speed, size ");
  out_.write(byte_size(size).view());
  out_.write("</p>\n");
  if (chapter_ > 0) {
    out_.write("<nav>\n<h2>Chapters</h2>\n<ol>\n");
    copied_ = chapters_.copy_to(out_);
    out_.write("</ol>\n</nav>\n");
  }
  out_.write("</header>\n</body>\n</html>\n");
}

}  // namespace exporter
