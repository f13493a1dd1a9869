// The viewer's terminal: curses started on the user's terminal (standard input and output
// where they are terminals, else /dev/tty, as pagers do), the two windows laid out for its
// size, frames, keys, and a terminal put back as it was found on every way out, fatal
// signals included.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

#include <curses.h>

#include "viewer/grid.hpp"
#include "viewer/screen.hpp"

namespace viewer {

inline constexpr int kStatusRows = 2;

class Terminal {
 public:
  Terminal() = default;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;
  ~Terminal() { end(); }

  // Starts curses; on failure returns the message to print once it has ended, else nullptr.
  const char* start();
  // Ends curses and puts the terminal back as it was found; safe to call twice.
  void end();

  Clock::time_point now() const { return Clock::now(); }
  void frame(const Grid& grid, const Status& status, bool place_cursor);
  int key(int wait_ms);
  int text_rows() const { return LINES - kStatusRows; }
  int cols() const { return COLS; }
  void seeked(std::int64_t /*from*/, std::int64_t /*target*/, std::int64_t /*landing*/) {}

 private:
  void layout();
  // One code of the key read within `timeout_ms`: a key, kNoKey, kResized, kInputEnded, or
  // kInterrupted when a signal (a resume) cut the wait short.
  int read_code(int timeout_ms);
  static constexpr int kInterrupted = -200;

  std::FILE* in_ = nullptr;   // keys
  std::FILE* out_ = nullptr;  // the screen
  bool close_in_ = false;
  bool close_out_ = false;
  SCREEN* screen_ = nullptr;
  WINDOW* text_ = nullptr;
  WINDOW* status_ = nullptr;
};

}  // namespace viewer
