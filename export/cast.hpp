// A movie as an asciicast v2 file: a header line, then one event per line. Each record that
// shows something gives an output event at its time, its text in UTF-8 with escapes of the
// writer's own for colour, bold and reverse video; each annotation also gives a marker event,
// which players offer as a chapter. The text is laid out as curses lays it out in the
// viewer on a terminal of the cast's width: rows wrap at that width with "\r\n", a tab is
// the blanks it puts, a carriage return and a backspace move the cursor and what follows
// writes over the row, and a newline clears the rest of the row. A last event, at the time
// the viewer reaches its end, ends any look still on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "export/output.hpp"
#include "export/width.hpp"
#include "reading/text.hpp"

namespace exporter {

inline constexpr std::int64_t kMinWidth = kCastWidths.front();
inline constexpr std::int64_t kMaxWidth = kCastWidths.back();
inline constexpr int kHeight = 24;
// A marker's label is held until its annotation ends, since the marker comes first; a label
// longer than this (in JSON bytes) is cut, while the annotation's output stays whole.
inline constexpr std::size_t kLabelMax = std::size_t{64} * 1024;

// A sink for read_movie. begin() writes the header; end() ends a style still on.
class Cast {
 public:
  explicit Cast(Output& out) : out_(out) {}

  // `width`: the terminal's columns (see Width), held within kMinWidth..kMaxWidth.
  // `charset`: the name of the set the movie is read in, told in the header's "env".
  void begin(std::int64_t width, std::string_view title,
             std::string_view charset = reading::kDefaultCharsetName);
  void record_start(std::int64_t ms, bool annotation);
  void put(char32_t c, reading::Style style);
  void ascii(std::string_view run, reading::Style style);
  // What precedes an annotation's text: shown, but not part of the marker's label.
  void mark(std::string_view mark, reading::Style style) { show_ascii(mark, look_of(style)); }
  void record_end();
  // The time the viewer reaches its end marker: the last event's.
  void movie_end(std::int64_t ms) { end_ms_ = ms; }
  void end();
  bool failed() const { return out_.failed(); }

 private:
  void output(std::string_view json);
  void label(std::string_view json);
  void release();
  void open_event(std::string_view code);
  void restyle(Look look);
  void show_ascii(std::string_view run, Look look);
  void place(char32_t c, int width, Look look);
  void clear_to_end();
  void next_row();
  std::uint8_t& cell(int x) { return cells_[static_cast<std::size_t>(x)]; }

  Output& out_;
  Look look_;                 // of the last character written
  std::int64_t ms_ = 0;       // the time of the record being read
  std::int64_t end_ms_ = -1;  // the end marker's time, once known
  Phrase start_;              // the start of an event at start_ms_
  std::int64_t start_ms_ = -1;
  // The row being written, as curses keeps it: the cursor, how far the row is written, and
  // which of its cells are the right halves of wide characters or hold combining marks.
  int width_ = static_cast<int>(kMinWidth);
  int x_ = 0;
  int end_ = 0;
  int lag_ = 0;  // how far curses' own column, which a tab's stop is taken from, runs behind
  std::array<std::uint8_t, kMaxWidth> cells_{};
  bool open_ = false;     // its output event has been started
  bool holding_ = false;  // an annotation whose marker is not written yet
  std::array<char, kLabelMax> label_;
  std::size_t label_size_ = 0;
  // Output held back behind the marker: the label's characters and, besides them, escapes,
  // the mark, the rows' wraps and a line end, so that mostly the label's own length cuts it
  // (tabs written as blanks can fill it first).
  std::array<char, 2 * kLabelMax> held_;
  std::size_t held_size_ = 0;
};

}  // namespace exporter
