// A movie as one self-contained HTML5 page: its shown text in one <pre> on a dark background,
// in a 16-colour palette with bold and reverse video. Every character is written as text,
// never as markup; the only elements in the body are the <pre> and the writer's own spans.
// Each line is written as the viewer leaves it when the line ends: a carriage return goes
// back to the line's start, a backspace one column, what follows writes over them, and a tab
// is the blanks curses puts. Characters show in the order they come, and a wide one takes
// exactly two cells.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "export/output.hpp"
#include "reading/text.hpp"

namespace exporter {

// Columns of a line held for writing over; a longer line is written out as it fills, and a
// carriage return then goes back only to the start of what is still held.
inline constexpr int kLineCells = 4096;

// A sink for read_movie. begin() writes everything up to the <pre>; end() closes the page.
class Html {
 public:
  explicit Html(Output& out) : out_(out) {}

  void begin(std::string_view title);
  void put(char32_t c, reading::Style style);
  void end();

  void record_start(std::int64_t /*ms*/, bool /*annotation*/) {}
  void record_end() {}
  bool failed() const { return out_.failed(); }

 private:
  // One column of the line. width 0: the right half of the wide character before it.
  struct Cell {
    char32_t ch = U' ';
    Look look;
    std::uint8_t width = 1;
    std::uint8_t marks = 0;
    std::array<char32_t, kCellMarks> mark{};
  };

  void restyle(Look look);
  void place(char32_t c, int width, Look look);
  void add_mark(char32_t c);
  void write_cells(int count);
  Cell& cell(int x) { return cells_[static_cast<std::size_t>(x)]; }

  Output& out_;
  Look look_;             // of the last character written
  bool started_ = false;  // a character has been written into the <pre>
  std::array<Cell, kLineCells> cells_;
  int x_ = 0;              // the cursor, within the line held
  int end_ = 0;            // how far the line held is written
  std::int64_t base_ = 0;  // columns of the line already written out, for the tab stops
};

}  // namespace exporter
