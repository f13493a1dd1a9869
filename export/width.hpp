// The columns a cast takes: the narrowest of the usual terminal widths that holds nearly all
// of the lines a movie shows, so that one overlong line does not make every other line small
// in a player; the few longer lines wrap, as they do in the viewer on such a terminal. A
// line's width is the furthest column it reaches: a tab goes on to the next multiple of 8, a
// carriage return goes back to the line's start and a backspace one column, and every shown
// character takes its own columns.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "reading/shown.hpp"
#include "reading/text.hpp"

namespace exporter {

inline constexpr std::array<std::int64_t, 5> kCastWidths = {80, 100, 120, 132, 160};
// Of the lines that show anything, one in a hundred may be longer, and at least one, so that
// a single line does not decide a short movie.
inline constexpr std::int64_t kOverPerHundred = 1;

// A sink for read_movie.
class Width {
 public:
  void record_start(std::int64_t /*ms*/, bool /*annotation*/) {}
  void record_end() {}
  bool failed() const { return false; }

  void put(char32_t c, reading::Style /*style*/) {
    switch (c) {
      case U'\n': line_end(); return;
      case U'\r': column_ = 0; return;
      case U'\b': column_ = std::max<std::int64_t>(0, column_ - 1); return;
      case U'\t': reach((column_ / kTabStop + 1) * kTabStop); return;
      default: break;
    }
    if (is_bidi_control(c)) return;
    show(c, [this](char32_t s) { reach(column_ + columns(s)); });
  }

  // Printable ASCII: a column each.
  void ascii(std::string_view run, reading::Style /*style*/) {
    reach(column_ + static_cast<std::int64_t>(run.size()));
  }

  // The cast's width, the line still open counted.
  std::int64_t cast_width() const {
    const Width whole = closed();
    const std::int64_t over = std::max<std::int64_t>(1, whole.lines_ * kOverPerHundred / 100);
    for (std::size_t i = 0; i < kCastWidths.size(); ++i) {
      if (whole.lines_ - whole.held_[i] <= over) return kCastWidths[i];
    }
    return kCastWidths.back();
  }

  std::int64_t widest() const { return closed().widest_; }

 private:
  void reach(std::int64_t column) {
    column_ = column;
    furthest_ = std::max(furthest_, column);
  }

  void line_end() {
    if (furthest_ > 0) {
      ++lines_;
      for (std::size_t i = 0; i < kCastWidths.size(); ++i) {
        if (furthest_ <= kCastWidths[i]) ++held_[i];
      }
      widest_ = std::max(widest_, furthest_);
    }
    column_ = 0;
    furthest_ = 0;
  }

  Width closed() const {
    Width w = *this;
    w.line_end();
    return w;
  }

  std::int64_t column_ = 0;
  std::int64_t furthest_ = 0;  // of the line being read
  std::int64_t widest_ = 0;
  std::int64_t lines_ = 0;
  std::array<std::int64_t, kCastWidths.size()> held_{};  // lines within each width
};

}  // namespace exporter
