#include "export/html.hpp"

#include <array>

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
      "  white-space: pre-wrap; overflow-wrap: anywhere; tab-size: 8; }\n"
      ".b { font-weight: bold; }\n");
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

}  // namespace

void Html::begin(std::string_view title, std::string_view charset) {
  out_.write(kHead);
  out_.write(charset);  // a name of the program's own: nothing to escape
  out_.write(kHeadRest);
  show_name(title, [this](char32_t c) { write_escaped(out_, c); });
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

void Html::put(char32_t c, reading::Style style) {
  const Look look = look_of(style);
  if (!(look == look_)) restyle(look);
  if (!started_) {
    started_ = true;
    // A parser drops a newline that comes straight after <pre>: one more keeps the first.
    if (c == U'\n' && look_ == Look{}) out_.write('\n');
  }
  if (c == U'\n' || c == U'\t') {
    out_.write(static_cast<char>(c));
    return;
  }
  show(c, [this](char32_t s) { write_escaped(out_, s); });
}

void Html::end() {
  if (!(look_ == Look{})) out_.write("</span>");
  look_ = Look{};
  out_.write("</pre>\n</body>\n</html>\n");
}

}  // namespace exporter
