#include "viewer/render.hpp"

#include <algorithm>
#include <limits>

namespace viewer {
namespace {

constexpr char kEsc = 0x1b;
constexpr char kEscapeEnd = 'm';
constexpr std::int64_t kNumberLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;

// Pairs beyond the sixteen never carry a colour of their own: they draw as white on black,
// and where the terminal holds too few pairs, pair 7 (white on black) stands in for them.
constexpr short kReadableColour = COLOR_WHITE;
constexpr int kStandInPair = 7;
constexpr int kPairNumberMask = 0xff;

// Where the parser stands within an escape.
enum Escape : int {
  kText = 0,      // not in an escape
  kAfterEsc,      // ESC seen: "[" or anything else decides
  kParameters,    // ESC "[" seen: the first parameter character decides
  kNumberSpace,   // "3" or "9": white space before the number
  kNumberSign,    // a sign read; digits must follow
  kNumberDigits,  // digits being read
  kSkip,          // passing over everything up to the first "m"
};

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Only the low 8 bits name the pair, and pair 0 leaves the window's colour alone.
void colour_on(WINDOW* win, std::int32_t colour) {
  int pair = static_cast<int>(static_cast<std::uint32_t>(colour) & kPairNumberMask);
  if (pair == 0) return;
  if (pair >= COLOR_PAIRS) pair = kStandInPair;  // an undefined pair may draw unreadably
  wattr_on(win, static_cast<attr_t>(COLOR_PAIR(pair)), nullptr);
}

// The number of a "3" or "9" escape is complete: store it if digits were read, then turn
// its pair on (and bold for "9").
void finish_number(WINDOW* win, RenderState& st) {
  if (st.digits) {
    const std::int64_t n = st.negative ? -st.number : std::min(st.number, kNumberLimit - 1);
    st.colour = static_cast<std::int32_t>(n);
  }
  colour_on(win, st.colour);
  if (st.bright) wattr_on(win, A_BOLD, nullptr);
}

void start_number(RenderState& st, bool bright) {
  st.escape = kNumberSpace;
  st.bright = bright;
  st.negative = false;
  st.digits = false;
  st.number = 0;
}

}  // namespace

void setup_colours() {
  for (short n = 0; n < kColourPairs; ++n) init_pair(n, n, COLOR_BLACK);
  if (COLORS < kColourPairs) {
    // Pairs 8..15 were refused: without them the bright colours would draw black on black.
    for (short n = 8; n < kColourPairs; ++n) {
      init_pair(n, n == 8 ? kReadableColour : static_cast<short>(n - 8), COLOR_BLACK);
    }
  }
  const int last = std::min(kPairNumberMask, COLOR_PAIRS - 1);
  for (int n = kColourPairs; n <= last; ++n) {
    init_pair(static_cast<short>(n), kReadableColour, COLOR_BLACK);
  }
}

void draw_text(WINDOW* win, std::string_view text, RenderState& st) {
  text = text.substr(0, text.find('\0'));  // a text ends at its first zero byte
  for (const char c : text) {
    switch (st.escape) {
      case kText:
        if (c == kEsc) {
          st.escape = kAfterEsc;
        } else {
          waddch(win, static_cast<unsigned char>(c));
        }
        break;
      case kAfterEsc: st.escape = c == '[' ? kParameters : c == kEscapeEnd ? kText : kSkip; break;
      case kParameters:
        if (c == '3' || c == '9') {
          start_number(st, c == '9');
        } else {
          if (c == '1') {
            wattr_on(win, A_BOLD, nullptr);
          } else if (c == '0') {
            wattrset(win, A_NORMAL);
          }
          st.escape = c == kEscapeEnd ? kText : kSkip;
        }
        break;
      case kNumberSpace:
        if (is_space(c)) break;
        if (c == '+' || c == '-') {
          st.negative = c == '-';
          st.escape = kNumberSign;
          break;
        }
        [[fallthrough]];
      case kNumberSign:
      case kNumberDigits:
        if (is_digit(c)) {
          st.escape = kNumberDigits;
          st.digits = true;
          st.number = std::min(st.number * 10 + (c - '0'), kNumberLimit);
          break;
        }
        finish_number(win, st);
        st.escape = c == kEscapeEnd ? kText : kSkip;
        break;
      case kSkip:
      default:
        if (c == kEscapeEnd) st.escape = kText;
        break;
    }
  }
}

void end_text(WINDOW* win, RenderState& st) {
  if (st.escape == kNumberSpace || st.escape == kNumberSign || st.escape == kNumberDigits) {
    finish_number(win, st);
  }
  st.escape = kText;
}

void draw_annotation(WINDOW* win, std::string_view text) {
  constexpr std::string_view kMark = "##==> ";
  wattr_on(win, A_REVERSE, nullptr);
  for (const char c : kMark) waddch(win, static_cast<unsigned char>(c));
  for (const char c : text) waddch(win, static_cast<unsigned char>(c));
  wattr_off(win, A_REVERSE, nullptr);
}

}  // namespace viewer
