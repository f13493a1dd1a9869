// The viewer's main loop: read a record, show it, pace it, wait for a key or the pause's end,
// act on the key. The terminal and the key source are a template parameter, so that the loop
// runs the same against curses and against a scripted terminal in the fuzzer. The terminal
// offers:
//   Clock::time_point now();
//   void frame(const Grid&, const Status&, bool place_cursor);  // one terminal update
//   int key(int wait_ms);  // a key, or kNoKey, kInputEnded, kResized, kSpecialKey;
//                          // wait < 0: no limit
//   int text_rows(); int cols();  // the text window's size now; rows < 1: too small
//   void seeked(from, target, landing);  // told of each seek, for checks
#pragma once

#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "reading/pieces.hpp"
#include "reading/record.hpp"
#include "viewer/grid.hpp"
#include "viewer/screen.hpp"

namespace viewer {

inline constexpr std::int64_t kSmallStep = 1000;
inline constexpr std::int64_t kLargeStep = 5000;
// A frame shows the screen at least this often, in stretches with no pause and within long
// records, so that playback visibly scrolls and a key is seen within one frame.
inline constexpr std::chrono::milliseconds kFrameInterval{40};
inline constexpr std::string_view kEndMarker = "\n**** END ***\n";

inline constexpr int kExitQuit = 0;
inline constexpr int kExitInputEnded = 1;

// Keys typed while a long record was read, in order, for the passes that follow.
class KeyQueue {
 public:
  bool empty() const { return count_ == 0; }
  void push(int key) {
    if (count_ == keys_.size()) return;  // a full queue drops the newest
    keys_[(first_ + count_++) % keys_.size()] = key;
  }
  int pop() {
    const int key = keys_[first_];
    first_ = (first_ + 1) % keys_.size();
    --count_;
    return key;
  }

 private:
  std::array<int, 64> keys_{};
  std::size_t first_ = 0;
  std::size_t count_ = 0;
};

template <class Term>
class Player {
 public:
  // `charset`: the movie's decided set (none: the default rule).
  Player(reading::Pieces& movie, std::int64_t size, Grid& grid, Term& term,
         reading::Charset* charset = nullptr)
      : movie_(movie), size_(size), grid_(grid), term_(term) {
    reading_.text.charset = charset;
  }

  // Plays until the user quits (kExitQuit) or key input ends (kExitInputEnded).
  int run() {
    last_frame_ = term_.now();
    for (;;) {
      const std::string_view first = movie_.next();
      reading::first_piece(first, reading_, put());
      if (!rest_of_record(first, true)) return exit_;
      reading::record_end(reading_, put());

      const std::int64_t offset = movie_.offset();
      reading::pace(reading_.pb);
      status_ = status(offset);
      int wait = reading_.pb.timeout;
      // A read that finds nothing before the measured size (the movie shrank, or a read
      // failed) ends playback too, rather than replaying the carried delay for ever.
      if (offset == size_ || first.empty()) {
        reading::put_ascii(kEndMarker, reading_.text.pen, put());
        wait = -1;
      }
      // A pass that does not wait shows nothing and looks at no key until a frame is due:
      // text that scrolls away before then costs no terminal work.
      if (wait == 0 && term_.now() - last_frame_ < kFrameInterval) continue;
      show(wait != 0);
      const int key = queued_.empty() ? term_.key(wait) : queued_.pop();
      if (!act(key, offset)) return exit_;
    }
  }

 private:
  struct Put {
    Grid* grid;
    void operator()(char32_t c, reading::Style style) const { grid->put(c, style); }
    void ascii(std::string_view run, reading::Style style) const { grid->put_ascii(run, style); }
  };
  Put put() { return Put{&grid_}; }

  Status status(std::int64_t offset) const {
    return {offset,
            size_,
            reading_.pb.speed,
            reading_.pb.command.data(),
            reading_.pb.timeout,
            reading_.pb.raw_delay,
            reading_.text.charset};
  }

  void show(bool place_cursor) {
    term_.frame(grid_, status_, place_cursor);
    last_frame_ = term_.now();
  }

  void relayout() {
    if (term_.text_rows() >= 1 && term_.cols() >= 1)
      grid_.relayout(term_.text_rows(), term_.cols());
  }

  // Reads the rest of a record whose first piece was `piece`, shown (`shown`) or thrown
  // away. While it lasts the screen catches up every frame interval and the keys typed
  // meanwhile are taken: q ends at once, the others wait for the passes after it.
  bool rest_of_record(std::string_view piece, bool shown) {
    while (reading::record_goes_on(piece)) {
      if (term_.now() - last_frame_ >= kFrameInterval) {
        status_.offset = movie_.offset();
        show(false);
        if (!take_typed_keys()) return false;
      }
      piece = movie_.next();
      if (shown) reading::next_piece(piece, reading_, put());
    }
    return true;
  }

  bool take_typed_keys() {
    for (int key = term_.key(0); key != kNoKey; key = term_.key(0)) {
      if (key == 'q' || key == 'Q') {
        exit_ = kExitQuit;
        return false;
      }
      if (key == kInputEnded) {
        exit_ = kExitInputEnded;
        return false;
      }
      if (key == kResized) {
        relayout();
        show(false);
        continue;
      }
      queued_.push(key);
    }
    return true;
  }

  // False when the loop ends.
  bool act(int key, std::int64_t offset) {
    std::int64_t step = 0;
    switch (key) {
      case '+':
      case '=': ++reading_.pb.speed; break;
      case '-': --reading_.pb.speed; break;
      case 'f': step = kSmallStep; break;
      case 'F': step = kLargeStep; break;
      case 'r': step = -kSmallStep; break;
      case 'R': step = -kLargeStep; break;
      case 'q':
      case 'Q': exit_ = kExitQuit; return false;
      case kInputEnded: exit_ = kExitInputEnded; return false;
      case kResized:
        // Ends the wait and lays the screen out again; playback is not touched.
        relayout();
        show(true);
        break;
      default:
        if (key >= '0' && key <= '9') reading_.pb.speed = key - '0';
        break;
    }
    reading_.pb.speed = reading::clamp_speed(reading_.pb.speed);
    if (step != 0) return seek(offset, step);
    return true;
  }

  bool seek(std::int64_t from, std::int64_t step) {
    std::int64_t target = from + step;
    if (target >= size_) target = size_;
    if (target <= 0) target = 0;
    std::array<char, 160> report{};
    reading_.text.pen.bold = true;
    std::snprintf(report.data(), report.size(),
                  "\n=============\nMoving from %" PRId64 " to file offset %" PRId64 "\n", from,
                  target);
    reading::put_ascii(report.data(), reading_.text.pen, put());
    movie_.seek(target);
    // Throw away the rest of the line landed in, however long it is.
    if (!rest_of_record(movie_.next(), false)) return false;
    const std::int64_t landing = movie_.offset();
    std::snprintf(report.data(), report.size(),
                  "Final offset after adjusting for newline: %" PRId64 " (%" PRId64
                  ")\n=============\n",
                  landing, landing - from);
    reading::put_ascii(report.data(), reading_.text.pen, put());
    reading_.text.pen.bold = false;
    term_.seeked(from, target, landing);
    return true;
  }

  reading::Pieces& movie_;
  const std::int64_t size_;
  Grid& grid_;
  Term& term_;
  reading::Reading reading_;
  Status status_;
  KeyQueue queued_;
  Clock::time_point last_frame_{};
  int exit_ = kExitQuit;
};

}  // namespace viewer
