// The text window's cells, kept by the viewer itself: characters are put as curses' add-char
// puts them (wrapping, newline clearing the rest of its row, tabs, backspace, carriage
// return, control characters as "^X"), and the window scrolls by moving a ring's top, not by
// copying every cell. Only a frame copies the cells out to curses, so text that scrolls away
// between two frames costs no curses work at all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "reading/text.hpp"

namespace viewer {

inline constexpr std::size_t kMarks = 4;  // combining marks a cell holds, as curses' cells do

struct Cell {
  char32_t ch = U' ';                 // 0: the right half of the wide character to its left
  std::array<char32_t, kMarks> marks{};  // combining marks drawn over ch, 0 where none
  reading::Style style;  // the pen it was put with
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

  // Puts one character as curses' add-char does.
  void put(char32_t c, reading::Style style);

  // A new size: the rows that end at the cursor's row are kept, as many as fit, so the
  // newest text stays in view; columns are cut or padded on the right.
  void relayout(int rows, int cols);

 private:
  std::size_t index(int y, int x) const {
    return static_cast<std::size_t>((top_ + y) % rows_) * static_cast<std::size_t>(cols_) +
           static_cast<std::size_t>(x);
  }
  Cell& at(int y, int x) { return cells_[index(y, x)]; }
  void place(char32_t c, int width, reading::Style style);
  void clear_to_end();
  void next_line();
  void wrap();

  std::vector<Cell> cells_;  // rows_ x cols_, row y at (top_ + y) % rows_
  int rows_ = 0;
  int cols_ = 0;
  int top_ = 0;
  int y_ = 0;
  int x_ = 0;
};

}  // namespace viewer
