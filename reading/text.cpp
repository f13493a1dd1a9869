// The escape parser of a record's text, and the held bytes of a named set's character.
#include "reading/text.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "format/movie_format.hpp"

namespace reading::detail {
namespace {

constexpr char kEscapeEnd = 'm';
constexpr std::int64_t kNumberLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
constexpr std::uint32_t kPairMask = 0xff;

using movie::is_digit;
using movie::is_space;

// The number of a "3" or "9" escape is complete: keep it if digits were read, then turn its
// pair on (pair 0 leaves the colour alone), and bold for "9".
void finish_number(TextState& st) {
  if (st.digits) {
    const std::int64_t n = st.negative ? -st.number : std::min(st.number, kNumberLimit - 1);
    st.colour = static_cast<std::int32_t>(n);
  }
  const auto pair = static_cast<std::uint8_t>(static_cast<std::uint32_t>(st.colour) & kPairMask);
  if (pair != 0) st.pen.pair = pair;
  if (st.bright) st.pen.bold = true;
}

void start_number(TextState& st, bool bright) {
  st.escape = Escape::number_space;
  st.bright = bright;
  st.negative = false;
  st.digits = false;
  st.number = 0;
}

}  // namespace

bool escape_byte(char c, TextState& st) {
  switch (st.escape) {
    case Escape::text:
      if (c != kEsc) return true;
      st.escape = Escape::after_esc;
      return false;
    case Escape::after_esc:
      st.escape = c == '[' ? Escape::parameters : c == kEscapeEnd ? Escape::text : Escape::skip;
      break;
    case Escape::parameters:
      if (c == '3' || c == '9') {
        start_number(st, c == '9');
        break;
      }
      if (c == '1') {
        st.pen.bold = true;
      } else if (c == '0') {
        st.pen = Style{};
      }
      st.escape = c == kEscapeEnd ? Escape::text : Escape::skip;
      break;
    case Escape::number_space:
      if (is_space(c)) break;
      if (c == '+' || c == '-') {
        st.negative = c == '-';
        st.escape = Escape::number_sign;
        break;
      }
      [[fallthrough]];
    case Escape::number_sign:
    case Escape::number_digits:
      if (is_digit(c)) {
        st.escape = Escape::number_digits;
        st.digits = true;
        st.number = std::min(st.number * 10 + (c - '0'), kNumberLimit);
        break;
      }
      finish_number(st);
      st.escape = c == kEscapeEnd ? Escape::text : Escape::skip;
      break;
    case Escape::skip:
      if (c == kEscapeEnd) st.escape = Escape::text;
      break;
  }
  return false;
}

void end_escape(TextState& st) {
  if (st.escape == Escape::number_space || st.escape == Escape::number_sign ||
      st.escape == Escape::number_digits) {
    finish_number(st);
  }
  st.escape = Escape::text;
}

void drop_held(TextState& st, std::size_t n) {
  std::copy(st.held.begin() + static_cast<std::ptrdiff_t>(n), st.held.begin() + st.held_count,
            st.held.begin());
  std::copy(st.held_styles.begin() + static_cast<std::ptrdiff_t>(n),
            st.held_styles.begin() + st.held_count, st.held_styles.begin());
  st.held_count = static_cast<std::uint8_t>(st.held_count - n);
}

}  // namespace reading::detail
