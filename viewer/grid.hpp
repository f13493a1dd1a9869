// The text window's cells, kept by the viewer itself: characters are put as curses' add-char
// puts them (wrapping, newline clearing the rest of its row, tabs, backspace, carriage
// return, control characters as "^X"), and the window scrolls by moving a ring's top, not by
// copying every cell. Only a frame copies the cells out to curses, so text that scrolls away
// between two frames costs no curses work at all.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "reading/shown.hpp"
#include "reading/text.hpp"

namespace viewer {

inline constexpr std::size_t kMarks = reading::kCellMarks;
using Marks = std::array<char32_t, kMarks>;  // 0 where none

// A right half whose wide character was written over: blank on the screen, but curses
// still holds it as a half, and blanks it in the pen when a wide character lands on the
// halves before it.
inline constexpr char32_t kOrphan = 0x110000;  // past Unicode

// Eight bytes, so that text and scrolling move little memory; the rare combining marks live
// beside the cells.
struct Cell {
  char32_t ch = U' ';    // 0: the right half of the wide character to its left; or kOrphan
  reading::Style style;  // the pen it was put with
  bool marked = false;   // its marks are in the grid's marks
  friend bool operator==(const Cell&, const Cell&) = default;
};

class Grid {
 public:
  Grid(int rows, int cols) { relayout(rows, cols); }

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  int cursor_row() const { return y_; }
  int cursor_col() const { return x_; }
  const Cell* row(int y) const { return &cells_[index(y, 0)]; }
  const Marks& marks(int y, int x) const { return marks_[index(y, x)]; }

  // Puts one character as curses' add-char does.
  void put(char32_t c, reading::Style style) {
    if (c >= 0x20 && c < 0x7F) {
      const char ascii = static_cast<char>(c);
      put_ascii({&ascii, 1}, style);
    } else {
      put_other(c, style);
    }
  }

  // A run of printable ASCII: each character one cell, no width to look up.
  void put_ascii(std::string_view run, reading::Style style) {
    while (!run.empty()) {
      const std::size_t n = std::min(run.size(), static_cast<std::size_t>(cols_ - x_));
      Cell* r = row_;
      const int end = x_ + static_cast<int>(n);
      free_span(end, -1, style);
      for (std::size_t i = 0; i < n; ++i) {
        r[x_ + static_cast<int>(i)] = Cell{static_cast<char32_t>(run[i]), style, false};
      }
      x_ = end;
      run.remove_prefix(n);
      if (x_ >= cols_) wrap();
    }
  }

  // A new size: the rows that end at the cursor's row are kept, as many as fit, so the
  // newest text stays in view; columns are cut or padded on the right.
  void relayout(int rows, int cols);

 private:
  std::size_t index(int y, int x) const {
    return static_cast<std::size_t>((top_ + y) % rows_) * static_cast<std::size_t>(cols_) +
           static_cast<std::size_t>(x);
  }
  Cell& at(int y, int x) { return cells_[index(y, x)]; }
  // A right half, of a wide character or orphaned.
  bool ext(int x) const { return row_[x].ch == 0 || row_[x].ch == kOrphan; }
  // The cursor's row from x_ up to `end` is about to be written, as curses writes it. Where
  // a wide character lands on a right half (at `half`, or -1), that half and the halves
  // straight after it become blanks in the pen. A wide character whose left half is
  // written over keeps its right half as an orphan, which the terminal shows blank. One
  // whose right half only is written over (a backspace stepped onto it) stays whole: the
  // terminal shows it whole and what is written after it.
  void free_span(int end, int half, reading::Style pen) {
    if (half >= 0) {
      for (int x = half; x < cols_ && ext(x); ++x) row_[x] = Cell{U' ', pen, false};
    }
    if (end < cols_ && row_[end].ch == 0) row_[end] = Cell{kOrphan, {}, false};
  }
  void put_other(char32_t c, reading::Style style);
  void place(char32_t c, int width, reading::Style style);
  void clear_to_end();
  void next_line();
  void wrap();

  std::vector<Cell> cells_;   // rows_ x cols_, row y at (top_ + y) % rows_
  std::vector<Marks> marks_;  // beside cells_, read where a cell is marked
  int rows_ = 0;
  int cols_ = 0;
  int top_ = 0;
  int y_ = 0;
  int x_ = 0;
  Cell* row_ = nullptr;  // the cursor's row
};

}  // namespace viewer
