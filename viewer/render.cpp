#include "viewer/render.hpp"

#include <algorithm>
#include <array>
#include <cwchar>

namespace viewer {
namespace {

// Pairs beyond the sixteen never carry a colour of their own: they draw as white on black,
// and where the terminal holds too few pairs, pair 7 (white on black) stands in for them.
constexpr short kReadableColour = COLOR_WHITE;
constexpr short kStandInPair = 7;
constexpr int kLastPair = 0xff;
constexpr int kChunk = 1024;  // a row is copied out in chunks of this many cells
constexpr char32_t kFirstWide = 0x1100;

}  // namespace

void setup_colours() {
  for (short n = 0; n < reading::kColours; ++n) init_pair(n, n, COLOR_BLACK);
  if (COLORS < reading::kColours) {
    // Pairs 8..15 were refused: without them the bright colours would draw black on black.
    for (short n = 8; n < reading::kColours; ++n) {
      init_pair(n, n == 8 ? kReadableColour : static_cast<short>(n - 8), COLOR_BLACK);
    }
  }
  const int last = std::min(kLastPair, COLOR_PAIRS - 1);
  for (int n = reading::kColours; n <= last; ++n) {
    init_pair(static_cast<short>(n), kReadableColour, COLOR_BLACK);
  }
}

short pair_of(reading::Style style) {
  // An undefined pair may draw unreadably.
  return style.pair < COLOR_PAIRS ? static_cast<short>(style.pair) : kStandInPair;
}

attr_t attributes(reading::Style style) {
  attr_t a = A_NORMAL;
  if (style.bold) a |= A_BOLD;
  if (style.reverse) a |= A_REVERSE;
  return a;
}

void copy_out(const Grid& grid, WINDOW* win) {
  std::array<cchar_t, kChunk> line{};
  const int width = getmaxx(win);
  const int rows = std::min(grid.rows(), getmaxy(win));
  const std::array<wchar_t, 2> blank = {L' ', L'\0'};
  for (int y = 0; y < rows; ++y) {
    const Cell* cells = grid.row(y);
    // Cells go out in chunks, each where the last ended on the screen: a wide character that
    // a backspace's text follows shows whole, so a row may take a column more than its cells.
    int at = 0;     // the window column the chunk starts at
    int shown = 0;  // the columns the row takes so far
    int out = 0;
    const auto flush = [&] {
      mvwadd_wchnstr(win, y, at, line.data(), out);
      at = shown;
      out = 0;
    };
    for (int x = 0; x < grid.cols(); ++x) {
      const Cell& c = cells[x];
      if (c.ch == 0) continue;  // curses fills the right half of a wide character itself
      const bool orphan = c.ch == kOrphan;
      // Below U+1100 every character a cell holds takes one column.
      const int columns =
          c.ch < kFirstWide || orphan ? 1 : std::max(1, ::wcwidth(static_cast<wchar_t>(c.ch)));
      if (shown + columns > width) break;  // what the edge cuts the terminal does not show
      if (orphan) {
        setcchar(&line[static_cast<std::size_t>(out++)], blank.data(), A_NORMAL, 0, nullptr);
      } else {
        std::array<wchar_t, kMarks + 2> wch{};
        wch[0] = static_cast<wchar_t>(c.ch);
        if (c.marked) {
          const Marks& marks = grid.marks(y, x);
          for (std::size_t i = 0; i < kMarks; ++i) wch[i + 1] = static_cast<wchar_t>(marks[i]);
        }
        setcchar(&line[static_cast<std::size_t>(out++)], wch.data(), attributes(c.style),
                 pair_of(c.style), nullptr);
      }
      shown += columns;
      if (out == kChunk) flush();
    }
    // Blanks over what an earlier frame left beyond the row's end.
    while (shown < width) {
      setcchar(&line[static_cast<std::size_t>(out++)], blank.data(), A_NORMAL, 0, nullptr);
      ++shown;
      if (out == kChunk) flush();
    }
    if (out > 0) flush();
  }
}

}  // namespace viewer
