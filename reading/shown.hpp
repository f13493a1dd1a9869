// How a character shows on a screen, a page or a cast: control characters as two visible
// characters, the way curses shows them ("^G" for BEL, "^?" for DEL, "~W" for U+0097), so
// that none reaches a terminal or a page raw; noncharacters as U+FFFD.
#pragma once

#include <array>
#include <cstddef>

namespace reading {

// How curses lays characters out, which the screen, the page and the cast all follow: a tab
// stop every this many columns, and at most this many combining marks over one cell.
inline constexpr int kTabStop = 8;
inline constexpr std::size_t kCellMarks = 4;

struct Shown {
  std::array<char32_t, 2> chars{};
  int count = 0;  // 0: the character shows as itself
};

// Tab and newline are left to the writer, like every printable character (count 0).
constexpr Shown shown(char32_t c) {
  if (c == U'\t' || c == U'\n') return {};
  if (c < 0x20) return {{U'^', c + 0x40}, 2};
  if (c == 0x7F) return {{U'^', U'?'}, 2};
  if (c >= 0x80 && c <= 0x9F) return {{U'~', c - 0x40}, 2};
  const bool noncharacter = (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
  if (noncharacter) return {{0xFFFD}, 1};
  return {};
}

// Columns a character takes in a terminal that knows Unicode, as utf8proc counts them: 0 for
// combining marks and other zero-width characters, 2 for East Asian wide and fullwidth ones
// and the emoji drawn two wide, 1 otherwise. The exporters measure with it, so a page or cast
// looks the same whatever the locale. Printable ASCII, most of a movie, is answered inline.
int columns_beyond_ascii(char32_t c);
inline int columns(char32_t c) { return c >= 0x20 && c < 0x7F ? 1 : columns_beyond_ascii(c); }

}  // namespace reading
