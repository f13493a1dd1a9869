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
constexpr int kMaxCols = 1024;  // a row is copied out in chunks of this many cells

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
  std::array<cchar_t, kMaxCols> line{};
  const int cols = std::min(grid.cols(), getmaxx(win));
  const int rows = std::min(grid.rows(), getmaxy(win));
  for (int y = 0; y < rows; ++y) {
    const Cell* cells = grid.row(y);
    for (int x0 = 0; x0 < cols; x0 += kMaxCols) {
      const int n = std::min(kMaxCols, cols - x0);
      int out = 0;
      for (int x = x0; x < x0 + n; ++x) {
        const Cell& c = cells[x];
        if (c.ch == 0) continue;  // curses fills the right half of a wide character itself
        std::array<wchar_t, kMarks + 2> wch{};
        wch[0] = static_cast<wchar_t>(c.ch);
        if (c.marked) {
          const Marks& marks = grid.marks(y, x);
          for (std::size_t i = 0; i < kMarks; ++i) wch[i + 1] = static_cast<wchar_t>(marks[i]);
        }
        setcchar(&line[static_cast<std::size_t>(out++)], wch.data(), attributes(c.style),
                 pair_of(c.style), nullptr);
      }
      mvwadd_wchnstr(win, y, x0, line.data(), out);
    }
  }
}

}  // namespace viewer
