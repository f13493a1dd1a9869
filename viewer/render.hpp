// The curses side of the text window: the colour pairs, and a frame's copy of the viewer's
// own cells into a curses window.
#pragma once

#include <curses.h>

#include "viewer/grid.hpp"

namespace viewer {

// Defines the colour pairs; call once, right after start_color(). Pair n is colour n on
// black for n = 0..15. Where the terminal has fewer than 16 colours, pairs 8..15 fall back
// to colour n - 8, and pair 8 to white, so no text turns black on black. Colour numbers
// 16..255 draw white on black: their pairs are defined so as far as the terminal holds
// pairs, and beyond that pair 7 stands in for them.
void setup_colours();

// The curses attributes of a style.
attr_t attributes(reading::Style style);
short pair_of(reading::Style style);

// Copies every cell of `grid` into `win` (of the same size), leaving the cursor alone.
void copy_out(const Grid& grid, WINDOW* win);

}  // namespace viewer
