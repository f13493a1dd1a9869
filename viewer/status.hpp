// The status line's command word as the text window would show it: decoded like the movie's
// text, control characters as "^X" or "~X", so that none moves the status line's cursor,
// and padded to six columns.
#pragma once

#include <array>
#include <cstddef>
#include <cwchar>
#include <string_view>

#include "reading/charset.hpp"
#include "reading/interpret.hpp"
#include "reading/shown.hpp"
#include "reading/text.hpp"

namespace viewer {

inline constexpr int kCommandColumns = 6;

// Each character shows as two at most, then the padding.
using CommandShown = std::array<wchar_t, 2 * reading::kCommandWordMax + kCommandColumns + 1>;

// `word` as the status line shows it, zero-terminated in `out`: decoded in the movie's set
// (none: UTF-8, else windows-1252), as the text window decodes it.
inline void show_command(std::string_view word, reading::Charset* charset, CommandShown& out) {
  std::size_t n = 0;
  int used = 0;  // columns
  const auto add = [&](char32_t c) {
    const int width = ::wcwidth(static_cast<wchar_t>(c));
    const bool shows = width >= 0;
    out[n++] = shows ? static_cast<wchar_t>(c) : L'?';  // what the locale cannot show
    used += shows ? width : 1;
  };
  reading::decode_text(word, charset, [&](char32_t c) {
    // Tab and newline too: on the status line they would move the cursor.
    const reading::Shown s =
        c == U'\t' || c == U'\n' ? reading::Shown{{U'^', c + 0x40}, 2} : reading::shown(c);
    if (s.count == 0) {
      add(c);
      return;
    }
    for (int i = 0; i < s.count; ++i) add(s.chars[static_cast<std::size_t>(i)]);
  });
  while (used < kCommandColumns) {
    out[n++] = L' ';
    ++used;
  }
  out[n] = L'\0';
}

}  // namespace viewer
