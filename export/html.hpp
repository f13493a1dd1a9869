// A movie as one self-contained HTML5 page: its shown text in one <pre> on a dark background,
// in a 16-colour palette with bold and reverse video, and above it a heading with the
// movie's name, length and size and a list of its chapters, one for each annotation. Every
// character from the movie is written as text, never as markup; the <pre> holds the
// writer's own spans and an empty anchor at the start of the line where each annotation
// starts, and nothing else.
// Each line is written as the viewer leaves it when the line ends: a carriage return goes
// back to the line's start, a backspace one column, what follows writes over them, and a tab
// is the blanks curses puts. Characters show in the order they come, and a wide one takes
// exactly two cells.
//
// The page is written in one pass, so that a pipe can be read: the heading, whose length is
// known only at the end, comes after the <pre> and is put above it by the style sheet; the
// chapter list waits in a spool until then.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "export/output.hpp"
#include "export/spool.hpp"
#include "reading/text.hpp"

namespace exporter {

// Columns of a line held for writing over; a longer line is written out as it fills, and a
// carriage return then goes back only to the start of what is still held.
inline constexpr int kLineCells = 4096;

// A time as h:mm:ss, the hours as many digits as they take; the milliseconds are dropped.
Phrase clock_time(std::int64_t ms);
// A size in bytes as people read it: "512 bytes", then one decimal of kB, MB, GB or TB
// (powers of 1000), cut rather than rounded so that it never overstates.
Phrase byte_size(std::int64_t bytes);

// A sink for read_movie. begin() writes everything up to the <pre>; end() closes it and
// writes the heading and the rest of the page.
class Html {
 public:
  explicit Html(Output& out) : out_(out) {}

  // `charset`: the name of the set the movie is read in, told in the head.
  void begin(std::string_view title, std::string_view charset = reading::kDefaultCharsetName);
  void record_start(std::int64_t ms, bool annotation);
  void put(char32_t c, reading::Style style);
  void ascii(std::string_view run, reading::Style style);
  // What precedes an annotation's text: shown, but not part of the chapter's text.
  void mark(std::string_view mark, reading::Style style) { show_ascii(mark, look_of(style)); }
  void record_end();
  // `size`: the movie's size in bytes.
  void end(std::int64_t size);
  // The page or its chapter list (the temporary file it may need) could not be written.
  bool failed() const { return out_.failed() || chapters_.failed() || !copied_; }

 private:
  // One column of the line. width 0: the right half of the wide character before it.
  struct Cell {
    char32_t ch = U' ';
    Look look;
    std::uint8_t width = 1;
    std::uint8_t marks = 0;
    std::array<char32_t, kCellMarks> mark{};
  };

  // Where a line's characters change look, while it is plain.
  struct Run {
    int start = 0;
    Look look;
  };

  void restyle(Look look);
  void show_ascii(std::string_view run, Look look);
  void append(std::string_view run, Look look);
  void to_cells();
  void write_plain(int count);
  void place(char32_t c, int width, Look look);
  void add_mark(char32_t c);
  void write_held();
  void write_anchors();
  void write_cells(int count);
  Cell& cell(int x) { return cells_[static_cast<std::size_t>(x)]; }

  Output& out_;
  std::string_view title_;
  Look look_;                 // of the last character written
  bool started_ = false;      // a character has been written into the <pre>
  std::int64_t last_ms_ = 0;  // the time of the last record: the movie's length
  std::int64_t chapter_ = 0;  // annotations met so far
  bool in_chapter_ = false;   // an annotation's text is being read
  std::int64_t anchors_ = 0;  // annotations whose anchors wait for the line they are on
  Spool chapters_;            // the chapter list's items
  bool copied_ = true;        // the list was copied into the page, or needs no copying
  // The line held. Most lines are printable ASCII written from left to right: such a line
  // is held plain, as its bytes and where their look changes, until something else comes
  // (a carriage return, a backspace, any other character), and it is then put in cells.
  bool plain_ = true;
  std::array<char, kLineCells> text_;  // only what a plain line holds is read
  std::array<Run, kLineCells> runs_;
  std::size_t run_count_ = 0;
  std::array<Cell, kLineCells> cells_;
  int x_ = 0;              // the cursor, within the line held
  int end_ = 0;            // how far the line held is written
  std::int64_t base_ = 0;  // columns of the line already written out, for the tab stops
  // How far curses' own column runs behind the cursor since the line's start, from right
  // halves written past: curses takes a tab's stop from its own column.
  int lag_ = 0;
};

}  // namespace exporter
