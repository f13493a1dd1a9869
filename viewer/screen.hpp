// What the player and the terminal it drives share: the clock, the codes a key read gives
// besides keys, and what the status line shows.
#pragma once

#include <chrono>
#include <cstdint>

#include "reading/interpret.hpp"

namespace reading {
class Charset;
}

namespace viewer {

using Clock = std::chrono::steady_clock;

// What the key source gives besides keys.
inline constexpr int kNoKey = -1;       // the wait ran out
inline constexpr int kInputEnded = -2;  // key input ended or failed
inline constexpr int kResized = -3;     // the terminal changed size
inline constexpr int kSpecialKey = -4;  // a key with no action of its own but ending the wait

// What the status line shows.
struct Status {
  std::int64_t offset = 0;
  std::int64_t size = 0;
  int speed = reading::kNormalSpeed;
  const char* command = "";
  std::int32_t timeout = 0;
  std::int32_t raw_delay = 0;
  reading::Charset* charset = nullptr;  // the command word's, the movie's own
};

}  // namespace viewer
