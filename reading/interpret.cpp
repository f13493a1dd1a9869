#include "reading/interpret.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "format/movie_format.hpp"

namespace reading {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// Where a line's text starts: byte 4 of "line " and bytes 5 and 6 of "prompt " are passed
// over unexamined, as the lenient reader has always done.
constexpr std::size_t kLineTextStart = movie::kLinePrefix.size();
constexpr std::size_t kPromptTextStart = movie::kPromptPrefix.size();
// The lenient reader knows a prompt by its first five bytes alone.
constexpr std::string_view kPromptMatch = movie::kPrompt.substr(0, 5);

std::int32_t saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp(v, kInt32Min, kInt32Max));
}

using movie::is_digit;
using movie::is_space;

// Reads a decimal integer from `pos` on the way a "%d" conversion does (white space, an
// optional sign, digits), saturating at the 32-bit limits. False when there are no digits.
bool scan_int(std::string_view s, std::size_t pos, std::int32_t& out) {
  while (pos < s.size() && is_space(s[pos])) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
    negative = s[pos] == '-';
    ++pos;
  }
  if (pos >= s.size() || !is_digit(s[pos])) return false;
  std::int64_t magnitude = 0;
  for (; pos < s.size() && is_digit(s[pos]); ++pos) {
    magnitude = std::min(magnitude * 10 + (s[pos] - '0'), kInt32Max + 1);
  }
  out = saturate(negative ? -magnitude : magnitude);
  return true;
}

std::string_view until_zero(std::string_view bytes, bool& ended) {
  const std::size_t zero = bytes.find('\0');
  ended = zero != std::string_view::npos;
  return ended ? bytes.substr(0, zero) : bytes;
}

std::string_view from(std::string_view s, std::size_t start) {
  return start < s.size() ? s.substr(start) : std::string_view{};
}

// Only a newline is the record's own end; any other last byte is text.
std::string_view without_record_end(std::string_view s) {
  if (!s.empty() && s.back() == movie::kRecordEnd) s.remove_suffix(1);
  return s;
}

void take_command_word(std::string_view s, Playback& pb) {
  std::size_t pos = 0;
  while (pos < s.size() && is_space(s[pos])) ++pos;
  std::size_t end = pos;
  while (end < s.size() && end - pos < kCommandWordMax && !is_space(s[end])) ++end;
  if (end == pos) return;
  std::copy(s.begin() + static_cast<std::ptrdiff_t>(pos),
            s.begin() + static_cast<std::ptrdiff_t>(end), pb.command.begin());
  pb.command[end - pos] = '\0';
}

}  // namespace

Interpretation interpret(std::string_view bytes, Playback& pb) {
  Interpretation out;
  const std::string_view text = until_zero(bytes, out.text_ended);

  if (text.starts_with(movie::kLine)) {
    out.kind = Kind::line;
    out.text = from(text, kLineTextStart);
    pb.delay = 0;
  } else if (text.starts_with(kPromptMatch)) {
    out.kind = Kind::prompt;
    out.text = from(without_record_end(text), kPromptTextStart);
    pb.delay = 0;
  } else if (text.starts_with(movie::kSleep)) {
    out.kind = Kind::sleep;
    scan_int(text, movie::kSleep.size(), pb.delay);
  } else if (!text.empty() && text.front() == movie::kAnnotationStart) {
    out.kind = Kind::annotation;
    scan_int(text, 1, pb.delay);
    if (pb.delay > 0) {
      pb.delay = saturate(std::int64_t{pb.delay} * movie::kMillisecondsPerAnnotationUnit);
    }
    const std::size_t space = text.find(' ', 1);
    if (space != std::string_view::npos) {
      out.annotation = text.substr(space + 1);
      out.annotation_spaced = true;
    }
  }

  take_command_word(text, pb);
  return out;
}

Interpretation continuation(std::string_view bytes, Kind kind) {
  Interpretation out;
  out.kind = kind;
  out.text = until_zero(bytes, out.text_ended);
  if (kind == Kind::prompt) out.text = without_record_end(out.text);
  return out;
}

std::int32_t pace(Playback& pb) {
  pb.raw_delay = pb.delay;
  const std::int64_t speed = pb.speed;
  std::int64_t timeout;
  if (speed == 0) {
    timeout = -1;
  } else if (speed < 6) {
    timeout = (6 - speed) * std::int64_t{pb.delay};
  } else {
    timeout = std::int64_t{pb.delay} / (2 * speed - 10);
  }
  pb.timeout = saturate(timeout);
  pb.delay = pb.timeout;
  return pb.timeout;
}

int clamp_speed(int speed) { return std::clamp(speed, kMinSpeed, kMaxSpeed); }

}  // namespace reading
