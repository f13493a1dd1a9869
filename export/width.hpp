// The width of the widest line a movie shows, in terminal columns: a tab goes on to the next
// multiple of 8, a newline starts a new line, every shown character takes its own columns.
#pragma once

#include <algorithm>
#include <cstdint>

#include "export/look.hpp"
#include "reading/shown.hpp"
#include "reading/text.hpp"

namespace exporter {

inline constexpr std::int64_t kTabStop = 8;

// A sink for read_movie.
class Width {
 public:
  void record_start(std::int64_t /*ms*/, bool /*annotation*/) {}
  void record_end() {}
  bool failed() const { return false; }

  void put(char32_t c, reading::Style /*style*/) {
    if (c == U'\n') {
      widest_ = std::max(widest_, column_);
      column_ = 0;
    } else if (c == U'\t') {
      column_ = (column_ / kTabStop + 1) * kTabStop;
    } else {
      show(c, [this](char32_t s) { column_ += reading::columns(s); });
    }
  }

  std::int64_t widest() const { return std::max(widest_, column_); }

 private:
  std::int64_t column_ = 0;
  std::int64_t widest_ = 0;
};

}  // namespace exporter
