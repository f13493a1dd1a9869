// A movie as an asciicast v2 file: a header line, then one event per line. Each record that
// shows something gives an output event at its time, its text in UTF-8 with escapes of the
// writer's own for colour, bold and reverse video and "\r\n" for each newline; each annotation
// also gives a marker event, which players offer as a chapter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "export/output.hpp"
#include "reading/text.hpp"

namespace exporter {

inline constexpr std::int64_t kMinWidth = 80;
inline constexpr std::int64_t kMaxWidth = 240;
inline constexpr int kHeight = 24;
// A marker's label is held until its annotation ends, since the marker comes first; a label
// longer than this (in JSON bytes) is cut, while the annotation's output stays whole.
inline constexpr std::size_t kLabelMax = std::size_t{64} * 1024;

// A sink for read_movie. begin() writes the header; end() ends a style still on.
class Cast {
 public:
  explicit Cast(Output& out) : out_(out) {}

  // `widest`: the widest shown line in columns, held within kMinWidth..kMaxWidth.
  // `charset`: the name of the set the movie is read in, told in the header's "env".
  void begin(std::int64_t widest, std::string_view title,
             std::string_view charset = reading::kDefaultCharsetName);
  void record_start(std::int64_t ms, bool annotation);
  void put(char32_t c, reading::Style style);
  void record_end();
  void end();
  bool failed() const { return out_.failed(); }

 private:
  void output(std::string_view json);
  void label(std::string_view json);
  void release();
  void open_event(std::string_view code);

  Output& out_;
  Look look_;                  // of the last character written
  std::int64_t ms_ = 0;        // the time of the record being read
  bool open_ = false;          // its output event has been started
  bool holding_ = false;       // an annotation whose marker is not written yet
  std::size_t mark_left_ = 0;  // characters of the annotation mark still to come
  std::array<char, kLabelMax> label_;
  std::size_t label_size_ = 0;
  // Output held back behind the marker: the label's characters and, besides them, an escape,
  // the mark and a line end, so that only the label's own length cuts it.
  std::array<char, kLabelMax + 64> held_;
  std::size_t held_size_ = 0;
};

}  // namespace exporter
