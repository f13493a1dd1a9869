// What the viewer makes of one movie line: its kind, the text to draw, its delay and
// command word, and the timeout that pacing derives from the delay and the speed.
// Pure functions over byte views; nothing here touches the terminal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace reading {

inline constexpr std::size_t kCommandWordMax = 99;
inline constexpr int kMinSpeed = 0;
inline constexpr int kNormalSpeed = 5;
inline constexpr int kMaxSpeed = 20;

enum class Kind { line, prompt, sleep, annotation, other };

// Lives for the whole run, handed to every line in turn.
struct Playback {
  std::int32_t delay = 0;      // ms; after pacing it holds the line's timeout
  std::int32_t raw_delay = 0;  // the delay as it stood when pacing began
  std::int32_t timeout = 0;    // ms; negative: wait for a key with no limit
  int speed = kNormalSpeed;
  std::array<char, kCommandWordMax + 1> command{};  // zero-terminated; empty at start
};

// What one record (or a later piece of one) is taken to be, and what of it is shown.
struct Interpretation {
  Kind kind = Kind::other;
  std::string_view text;           // line and prompt: what the renderer draws (may be empty)
  std::string_view annotation;     // annotation: the text after the first space (may be empty)
  bool annotation_spaced = false;  // annotation: the first space was met in this piece
  bool text_ended = false;  // a zero byte ended the text: the rest of the record draws nothing
};

// Interprets the first (or only) piece of a record. `bytes` is what one read returned, zero
// bytes included; the text ends at the first zero byte. Sets the delay and the command word.
Interpretation interpret(std::string_view bytes, Playback& pb);

// A later piece of a long record whose first piece was of kind `kind` (line, prompt or
// annotation):
// all of it is text, trimmed as the record's end needs. Only text and text_ended are set.
Interpretation continuation(std::string_view bytes, Kind kind);

// Derives the timeout from the speed and the delay: raw_delay := delay, then timeout and
// delay := the scaled delay (saturating at the 32-bit limits). Returns the timeout.
std::int32_t pace(Playback& pb);

// Holds a speed within kMinSpeed..kMaxSpeed.
int clamp_speed(int speed);

}  // namespace reading
