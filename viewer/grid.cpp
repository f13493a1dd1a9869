#include "viewer/grid.hpp"

#include <algorithm>
#include <cwchar>

#include "reading/shown.hpp"

namespace viewer {
namespace {

constexpr char32_t kStandIn = U'?';  // for what the locale cannot show
constexpr Cell kBlank{};

}  // namespace

void Grid::relayout(int rows, int cols) {
  rows = std::max(rows, 1);
  cols = std::max(cols, 1);
  const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  std::vector<Cell> cells(count);
  std::vector<Marks> marks(count);
  int shift = 0;
  if (rows_ > 0) {
    shift = std::max(0, y_ - (rows - 1));
    const int keep = std::min(rows, rows_ - shift);
    const int width = std::min(cols, cols_);
    for (int y = 0; y < keep; ++y) {
      const Cell* from = row(y + shift);
      const std::size_t start = static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
      Cell* to = &cells[start];
      std::copy(from, from + width, to);
      const std::size_t old = index(y + shift, 0);
      std::copy(&marks_[old], &marks_[old] + width, &marks[start]);
      // A wide character cut in half by the new edge goes.
      if (width < cols_ && width > 0 && from[width].ch == 0) to[width - 1] = Cell{};
    }
  }
  cells_ = std::move(cells);
  marks_ = std::move(marks);
  y_ = rows_ > 0 ? std::min(y_ - shift, rows - 1) : 0;
  x_ = std::min(x_, cols - 1);
  rows_ = rows;
  cols_ = cols;
  top_ = 0;
  row_ = &at(y_, 0);
}

void Grid::next_line() {
  if (y_ < rows_ - 1) {
    ++y_;
  } else {
    top_ = (top_ + 1) % rows_;
    std::fill_n(&at(rows_ - 1, 0), cols_, kBlank);
  }
  row_ = &at(y_, 0);
}

void Grid::wrap() {
  x_ = 0;
  next_line();
}

void Grid::clear_to_end() { std::fill(row_ + x_, row_ + cols_, kBlank); }

void Grid::place(char32_t c, int width, reading::Style style) {
  if (width > cols_) return;  // curses draws nothing for it
  if (x_ + width > cols_) {
    // Curses fills the rest of the row with blanks in the pen and wraps; on the bottom row
    // the last blank's own wrap has scrolled once already.
    std::fill(row_ + x_, row_ + cols_, Cell{U' ', style, false});
    if (y_ == rows_ - 1) next_line();
    wrap();
  }
  // For a wide character curses looks for a right half under its first cell, then, past a
  // narrow one, under its second.
  int half = -1;
  if (width == 2) {
    if (ext(x_)) {
      half = x_;
    } else if (::wcwidth(static_cast<wchar_t>(row_[x_].ch)) < 2 && ext(x_ + 1)) {
      half = x_ + 1;
    }
  }
  free_span(x_ + width, half, style);
  row_[x_] = Cell{c, style, false};
  for (int i = 1; i < width; ++i) row_[x_ + i] = Cell{0, style, false};
  x_ += width;
  if (x_ >= cols_) wrap();
}

void Grid::put_other(char32_t c, reading::Style style) {
  switch (c) {
    case U'\n':
      clear_to_end();
      wrap();
      return;
    case U'\r': x_ = 0; return;
    case U'\b':
      if (x_ > 0) --x_;
      return;
    case U'\t': {
      const int stop = (x_ / reading::kTabStop + 1) * reading::kTabStop;
      if (stop >= cols_) {
        clear_to_end();
        wrap();
        return;
      }
      while (x_ < stop) place(U' ', 1, style);
      return;
    }
    default: break;
  }
  const reading::Shown s = reading::shown(c);
  if (s.count > 0) {
    for (int i = 0; i < s.count; ++i) put(s.chars[static_cast<std::size_t>(i)], style);
    return;
  }
  const int width = ::wcwidth(static_cast<wchar_t>(c));
  if (width == 0) {
    // A combining mark goes over the character before it: at the start of a row, over the
    // last cell of the row above. Curses shows none over a wide character.
    std::size_t target = 0;
    if (x_ > 0) {
      target = index(y_, x_ - 1);
    } else if (y_ > 0) {
      target = index(y_ - 1, cols_ - 1);
    } else {
      return;
    }
    Cell& cell = cells_[target];
    if (cell.ch == 0 || cell.ch == kOrphan) return;
    if (!cell.marked) marks_[target] = Marks{};
    cell.marked = true;
    for (char32_t& m : marks_[target]) {
      if (m == 0) {
        m = c;
        break;
      }
    }
    return;
  }
  place(width < 0 ? kStandIn : c, width < 0 ? 1 : width, style);
}

}  // namespace viewer
