// Draws record text into a curses window, turning the colour escapes the viewer knows
// into window attributes; every other escape is dropped.
#pragma once

#include <cstdint>
#include <string_view>

#include <curses.h>

namespace viewer {

inline constexpr int kColourPairs = 16;

// Defines the colour pairs; call once, right after start_color(). Pair n is colour n on
// black for n = 0..15. Where the terminal has fewer than 16 colours, pairs 8..15 fall back
// to colour n - 8, and pair 8 to white, so no text turns black on black. Colour numbers
// 16..255 draw white on black: their pairs are defined so as far as the terminal holds
// pairs, and beyond that pair 7 stands in for them.
void setup_colours();

// Carried from one piece of text to the next. colour lives for the whole run; the escape
// state only within one record, so that an escape split across pieces is read whole.
struct RenderState {
  std::int32_t colour = 0;  // the number last read from a colour escape
  // Escape parsing state: owned by render.cpp.
  int escape = 0;
  bool bright = false;
  bool negative = false;
  bool digits = false;
  std::int64_t number = 0;
};

// Draws one piece of a record's text; an escape still open at its end carries over.
void draw_text(WINDOW* win, std::string_view text, RenderState& st);

// The record's text is complete: an escape still open ends here, nothing more is skipped.
void end_text(WINDOW* win, RenderState& st);

// "##==> " and the text in reverse video at the cursor; colour and bold stay as they were.
void draw_annotation(WINDOW* win, std::string_view text);

}  // namespace viewer
