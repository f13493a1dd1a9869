// The replay program's logic: the mode its name selects, what a record is, its pause, and
// the record loop itself over any pair of streams. Only main touches argv and files.
#pragma once

#include <sys/time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace replay {

inline constexpr std::size_t kLineBufferSize = 4096;  // one read takes at most 4095 bytes

inline constexpr std::string_view kReplayName = "vorlan-replay";
inline constexpr std::string_view kTextName = "vorlan-totext";

enum class Mode { replay, text, unknown };

// The invocation name picks the mode; the replay name is looked for first. Null: unknown.
Mode mode_from_name(const char* name);

enum class Kind { sleep, line, prompt, bad };

struct Record {
  Kind kind = Kind::bad;
  std::string_view payload;  // the bytes after the keyword and its space
};

// Classifies a record's text (its newline removed, ending before any zero byte).
Record classify(std::string_view text);

// A count read the way atoi reads one (white space, an optional sign, digits; anything else
// ends it; no digits give 0), fed in pieces so that a record of any length can carry it.
// Beyond 32 bits it saturates at INT32_MAX or INT32_MIN rather than wrapping.
class Count {
 public:
  // Takes the next bytes of the text; true when more bytes could not change the value.
  bool feed(std::string_view bytes);
  std::int32_t value() const;

 private:
  enum class Phase { blank, sign, digits, done };
  Phase phase_ = Phase::blank;
  bool negative_ = false;
  std::int64_t magnitude_ = 0;  // held at most one past INT32_MAX
};

// The whole of `text` as one count.
std::int32_t to_count(std::string_view text);

// `ms` milliseconds as the seconds and microseconds a select waits for; ms > 0.
timeval pause_time(std::int32_t ms);

// Waits `ms` milliseconds with a select on no descriptors; zero or less: no pause. An
// interrupted wait is not resumed.
void pause_ms(std::int32_t ms);

// Where play writes: `write` takes bytes (to write or to hold), `flush` sends on what is
// held; each false once writing has failed.
struct Sink {
  bool (*write)(void* context, std::string_view bytes);
  bool (*flush)(void* context);
  void* context;
};

// Plays every record of `in` to `out` in `mode` (replay or text), flushing after each, then
// writes the closing newline; reports to `err` and returns the exit status. Closes nothing.
int play(std::FILE* in, Sink out, Mode mode, Sink err);

// The same over streams.
int play(std::FILE* in, std::FILE* out, Mode mode, std::FILE* err = stderr);

}  // namespace replay
