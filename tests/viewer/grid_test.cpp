// The viewer's cells against curses itself: the same characters put into a window by curses'
// add-char and into the grid must show alike.
#include "viewer/grid.hpp"

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "reading/text.hpp"
#include "viewer/render.hpp"

namespace viewer {
namespace {

// Two windows of one size on a real curses screen: one that curses' add-char fills, and one
// that shows the viewer's own cells for the same characters.
class Twins {
 public:
  Twins(int rows, int cols) : grid_(rows, cols) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    out_ = std::fopen("/dev/null", "w");
    in_ = std::fopen("/dev/null", "r");
    screen_ = newterm("xterm-256color", out_, in_);
    start_color();
    setup_colours();
    curses_ = newwin(rows, cols, 0, 0);
    scrollok(curses_, TRUE);
    ours_ = newwin(rows, cols, 0, 0);
  }
  ~Twins() {
    delwin(curses_);
    delwin(ours_);
    endwin();
    delscreen(screen_);
    std::fclose(in_);
    std::fclose(out_);
  }
  Twins(const Twins&) = delete;
  Twins& operator=(const Twins&) = delete;

  void put(char32_t c, reading::Style style) {
    wattrset(curses_, attributes(style));
    wcolor_set(curses_, pair_of(style), nullptr);
    if (c < 0x80) {
      waddch(curses_, static_cast<chtype>(c));
    } else {
      const std::array<wchar_t, 2> wch = {static_cast<wchar_t>(c), L'\0'};
      cchar_t cc;
      setcchar(&cc, wch.data(), attributes(style), pair_of(style), nullptr);
      wadd_wch(curses_, &cc);
    }
    grid_.put(c, style);
  }

  // Where the two differ, or "" when they show the same.
  std::string difference() {
    copy_out(grid_, ours_);
    if (getcury(curses_) != grid_.cursor_row() || getcurx(curses_) != grid_.cursor_col()) {
      return "cursor " + std::to_string(getcury(curses_)) + "," + std::to_string(getcurx(curses_)) +
             " against " + std::to_string(grid_.cursor_row()) + "," +
             std::to_string(grid_.cursor_col());
    }
    for (int y = 0; y < getmaxy(curses_); ++y) {
      const std::string theirs = shown_row(curses_, y);
      const std::string mine = shown_row(ours_, y);
      if (theirs != mine) return "row " + std::to_string(y) + ": " + theirs + " against " + mine;
    }
    return "";
  }

 private:
  // A row as the terminal shows it after a whole refresh: each character that starts in a
  // cell, in order, at its width, up to the window's edge. The right half of a wide character
  // whose left half was overwritten shows as a blank, as the terminal blanks it.
  static std::string shown_row(WINDOW* win, int y) {
    static constexpr std::string_view kBlank = "[32 a0 p0]";
    const int cy = getcury(win);
    const int cx = getcurx(win);
    std::vector<std::string> shown;
    int owed = 0;     // right halves still to come of the last wide character
    int columns = 0;  // columns shown so far
    for (int x = 0; x < getmaxx(win); ++x) {
      cchar_t cc;
      mvwin_wch(win, y, x, &cc);
      // Curses marks a wide character's first cell 1 and its right halves 2 and up.
      const auto part = static_cast<int>(cc.attr & A_CHARTEXT);
      if (part > 1 && owed > 0) {
        --owed;
        continue;
      }
      owed = 0;
      std::array<wchar_t, CCHARW_MAX + 1> wch{};
      attr_t attrs = 0;
      short pair = 0;
      getcchar(&cc, wch.data(), &attrs, &pair, nullptr);
      if (part > 1) {
        shown.emplace_back(kBlank);
        ++columns;
        continue;
      }
      const int width = std::max(1, ::wcwidth(wch[0]));
      if (columns + width > getmaxx(win)) break;
      columns += width;
      if (part == 1) owed = width - 1;
      std::string glyph = "[";
      for (const wchar_t w : wch) {
        if (w == 0) break;
        glyph += std::to_string(static_cast<long>(w)) + " ";
      }
      shown.push_back(glyph + "a" + std::to_string(attrs & (A_BOLD | A_REVERSE)) + " p" +
                      std::to_string(pair) + "]");
    }
    wmove(win, cy, cx);
    // Blanks at the end are the same however they came there.
    while (!shown.empty() && shown.back() == kBlank) shown.pop_back();
    std::string s;
    for (const std::string& glyph : shown) s += glyph;
    return s;
  }

  FILE* out_ = nullptr;
  FILE* in_ = nullptr;
  SCREEN* screen_ = nullptr;
  WINDOW* curses_ = nullptr;
  WINDOW* ours_ = nullptr;
  Grid grid_;
};

// The viewer's own cells are what curses makes of the same characters: wrapping, scrolling,
// newlines, tabs, backspaces, carriage returns, control characters, combining marks and wide
// characters written over by halves.
TEST(Grid, PutsCharactersAsCursesAddCharDoes) {
  const std::u32string alphabet = U"ab \t\n\r\b\b\a\x7f\u00e9\u0301\u0308\u4e2d\u6587";
  const reading::Style styles[] = {{}, {3, true, false}, {12, false, true}};
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 200; ++round) {
    const int rows = 2 + static_cast<int>(next(5));
    const int cols = 1 + static_cast<int>(next(19));
    Twins twins(rows, cols);
    std::u32string fed;
    for (int i = 0; i < 120; ++i) {
      const char32_t c = alphabet[next(static_cast<std::uint32_t>(alphabet.size()))];
      fed += c;
      twins.put(c, styles[next(3)]);
      const std::string diff = twins.difference();
      ASSERT_EQ(diff, "") << rows << "x" << cols << " after " << testing::PrintToString(fed);
    }
  }
}

TEST(Grid, PutsWideCharactersAsCursesDoes) {
  const struct {
    int rows, cols;
    std::u32string_view text;
  } cases[] = {
      {3, 5, U"ab\u4e2d\u6587x"},              // the second does not fit: blanks, then the next row
      {2, 5, U"\n\nabcd\u4e2dz"},              // ... on the bottom row: curses scrolls twice
      {3, 4, U"\u4e2d\u6587\u4e2d\n\u0301a"},  // a mark after a wide character
      {3, 1, U"a\u4e2db"},                     // too wide for the window: nothing drawn
      {3, 6, U"\t\u4e2d\u3042\n\u6587"},
      {2, 10, U"\u65e5\u672c\b\u8a9e"},        // onto a right half: both show whole
      {2, 10, U"\u65e5\u672c\b\bx\u8a9e"},     // onto a left half: that one goes
      {2, 10, U"\u65e5\u672c\b\b\b\u8a9e|"},   // onto the first one's right half
      {2, 10, U"\u65e5\u672c\ba\n"},           // a newline after it clears the rest
      {2, 5, U"\u65e5\u672c\b\u8a9e"},         // the last one shown past the edge is cut
      {2, 10, U"\u65e5\u672c\ra"},             // the return's text cuts the first one
      {2, 10, U"\u65e5\u672c\r\u8a9e\u3042"},  // ... or takes its place
      {2, 10, U"x\u65e5\r\u672c\ra\r\u4e2d"},  // one on two halves blanks them in its pen
  };
  // In reverse video too, where a blank's pen shows.
  for (const reading::Style style : {reading::Style{}, reading::Style{12, false, true}}) {
    for (const auto& c : cases) {
      Twins twins(c.rows, c.cols);
      for (const char32_t ch : c.text) twins.put(ch, style);
      EXPECT_EQ(twins.difference(), "") << testing::PrintToString(std::u32string(c.text));
    }
  }
}

// Rows wider than one chunk of the copy: a wide character across the chunks' edge stays
// whole and in its place, and so does the rest of the row.
TEST(Grid, RowsWiderThanAChunkAreCopiedWhole) {
  for (const int before : {1022, 1023, 1024}) {
    SCOPED_TRACE(before);
    Twins twins(2, 1100);
    for (int i = 0; i < before; ++i) twins.put(U'a', reading::Style{});
    for (const char32_t ch : std::u32string_view(U"\u65e5xyz\u672c\bq")) {
      twins.put(ch, reading::Style{3, true, false});
    }
    EXPECT_EQ(twins.difference(), "");
  }
}

}  // namespace
}  // namespace viewer
