#include "viewer/render.hpp"

#include "reading/record.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace viewer {
namespace {

using namespace std::string_view_literals;

// A real curses screen over the null device, of a fixed terminal type, with one window that
// shows the viewer's own cells after every record, as a frame does.
// Only one may be open at a time: deleting a screen takes the other screens' windows along.
class Screen {
 public:
  explicit Screen(const char* type, int rows = 4, int cols = 30) : grid_(rows, cols) {
    out_ = std::fopen("/dev/null", "w");
    in_ = std::fopen("/dev/null", "r");
    screen_ = newterm(type, out_, in_);
    if (screen_ == nullptr) return;
    start_color();
    setup_colours();
    win_ = newwin(rows, cols, 0, 0);
  }
  ~Screen() {
    if (win_ != nullptr) delwin(win_);
    if (screen_ != nullptr) {
      endwin();
      delscreen(screen_);
    }
    if (in_ != nullptr) std::fclose(in_);
    if (out_ != nullptr) std::fclose(out_);
  }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  WINDOW* win() const { return win_; }

  // One record's text, handed over in the given pieces.
  void record(std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) reading::text_piece(piece, state_, put());
    reading::text_end(state_, false, false, put());
    copy_out(grid_, win_);
  }
  void record(std::string_view text) { record({text}); }
  void annotation(std::string_view text) {
    reading::Style mark = state_.pen;
    mark.reverse = true;
    reading::put_ascii(reading::kAnnotationMark, mark, put());
    reading::annotation_piece(text, state_, put());
    reading::text_end(state_, false, true, put());
    copy_out(grid_, win_);
  }

  chtype cell(int y, int x) const { return mvwinch(win_, y, x); }
  std::string row(int y) const {
    std::string s;
    const int cols = getmaxx(win_);
    for (int x = 0; x < cols; ++x) s += static_cast<char>(cell(y, x) & A_CHARTEXT);
    return s.substr(0, s.find_last_not_of(' ') + 1);
  }
  int pair(int y, int x) const { return static_cast<int>(PAIR_NUMBER(cell(y, x) & A_COLOR)); }
  bool bold(int y, int x) const { return (cell(y, x) & A_BOLD) != 0; }
  bool reverse(int y, int x) const { return (cell(y, x) & A_REVERSE) != 0; }

 private:
  struct Put {
    Grid* grid;
    void operator()(char32_t c, reading::Style st) const { grid->put(c, st); }
  };
  Put put() { return Put{&grid_}; }

  FILE* out_ = nullptr;
  FILE* in_ = nullptr;
  SCREEN* screen_ = nullptr;
  WINDOW* win_ = nullptr;
  Grid grid_;
  reading::TextState state_;
};

constexpr const char* kFullColour = "xterm-256color";

TEST(Render, TextWithoutEscapesIsDrawnByteForByte) {
  Screen s(kFullColour, 3);
  ASSERT_NE(s.win(), nullptr);
  s.record("one\ttwo\n");
  s.record("x\n");
  s.record("3\n4");  // the newline on the last row scrolls
  EXPECT_EQ(s.row(0), "x");
  EXPECT_EQ(s.row(1), "3");
  EXPECT_EQ(s.row(2), "4");
  EXPECT_EQ(s.pair(2, 0), 0);
  EXPECT_FALSE(s.bold(2, 0));
}

TEST(Render, HighBytesCarryNoAttributes) {
  Screen s(kFullColour);
  ASSERT_NE(s.win(), nullptr);
  s.record("\xe9");
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(s.cell(0, x) & (A_ATTRIBUTES & ~A_CHARTEXT), 0u) << x;
  }
}

struct EscapeCase {
  const char* name;
  std::string_view text;
  std::string_view shown;  // what row 0 shows; every shown cell after the escapes has:
  int pair;
  bool bold;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class Escapes : public testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, SetTheWindowAttributes) {
  const EscapeCase& c = GetParam();
  Screen s(kFullColour);
  ASSERT_NE(s.win(), nullptr);
  s.record(c.text);
  EXPECT_EQ(s.row(0), c.shown);
  const int last = static_cast<int>(c.shown.size()) - 1;
  ASSERT_GE(last, 0);
  EXPECT_EQ(s.pair(0, last), c.pair);
  EXPECT_EQ(s.bold(0, last), c.bold);
  EXPECT_FALSE(s.reverse(0, last));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Escapes,
    testing::Values(
        EscapeCase{"colour", "\x1b[31mX", "X", 1, false},
        EscapeCase{"bright_is_pair_plus_bold", "\x1b[92mX", "X", 2, true},
        EscapeCase{"bold_skips_a_colour_after_it", "\x1b[1;33mX", "X", 0, true},
        EscapeCase{"whole_number_read", "\x1b[38;5;200mX", "X", 8, false},
        EscapeCase{"thirty_nine_is_pair_9", "\x1b[39mX", "X", 9, false},
        EscapeCase{"colour_replaces_colour_keeps_bold", "\x1b[91m\x1b[34mX", "X", 4, true},
        EscapeCase{"pair_0_keeps_colour", "\x1b[31m\x1b[30mX", "X", 1, false},
        EscapeCase{"bright_pair_0_only_bold", "\x1b[31m\x1b[90mX", "X", 1, true},
        EscapeCase{"reset", "\x1b[91m\x1b[0mX", "X", 0, false},
        EscapeCase{"no_parameter_is_no_reset", "\x1b[91m\x1b[mX", "X", 1, true},
        EscapeCase{"other_first_parameter", "\x1b[31m\x1b[4;32mX", "X", 1, false},
        EscapeCase{"no_digits_reapplies_last_number", "\x1b[31m\x1b[0m\x1b[3mX", "X", 1, false},
        EscapeCase{"no_digits_at_start_changes_nothing", "\x1b[3mX", "X", 0, false},
        EscapeCase{"bare_sign_is_no_number", "\x1b[32m\x1b[0m\x1b[3-mX", "X", 2, false},
        EscapeCase{"white_space_before_number", "\x1b[3 \t2mX", "X", 2, false},
        EscapeCase{"plus_sign", "\x1b[3+4mX", "X", 4, false},
        EscapeCase{"low_8_bits_form_the_pair", "\x1b[3261mX", "X", 5, false},
        EscapeCase{"low_8_bits_zero_keeps_colour", "\x1b[32m\x1b[3256mX", "X", 2, false},
        EscapeCase{"negative_number", "\x1b[3-1mX", "X", 255, false},
        EscapeCase{"number_saturates", "\x1b[399999999999999mX", "X", 255, false},
        EscapeCase{"not_bracket_swallows_to_m", "a\x1b(Bhidden mX", "aX", 0, false},
        EscapeCase{"m_right_after_esc", "\x1bmX", "X", 0, false},
        EscapeCase{"number_ended_by_other_byte", "\x1b[31;xyzmX", "X", 1, false},
        EscapeCase{"text_between_escapes", "ab\x1b[31mcd\x1b[0mef", "abcdef", 0, false}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

TEST(Render, ColourAndBoldPersistAcrossRecordsAndAnnotations) {
  Screen s(kFullColour);
  ASSERT_NE(s.win(), nullptr);
  s.record("\x1b[93mab\n");
  s.record("c");
  s.annotation("note\n");
  s.annotation("");
  s.record("d");
  EXPECT_EQ(s.row(0), "ab");
  EXPECT_EQ(s.row(1), "c##==> note");
  EXPECT_EQ(s.row(2), "##==> d");
  for (const auto& [y, x, rev] :
       {std::tuple{1, 0, false}, {1, 1, true}, {1, 10, true}, {2, 5, true}, {2, 6, false}}) {
    SCOPED_TRACE(testing::Message() << y << "," << x);
    EXPECT_EQ(s.pair(y, x), 3);
    EXPECT_TRUE(s.bold(y, x));
    EXPECT_EQ(s.reverse(y, x), rev);
  }
}

TEST(Render, OpenEscapeEndsWithItsRecord) {
  const struct {
    const char* name;
    std::string_view first;
    int pair;
    bool bold;
  } cases[] = {
      {"esc_last_byte", "ab\x1b", 0, false},
      {"no_m_after_esc", "ab\x1b(no end", 0, false},
      {"no_m_after_parameters", "ab\x1b[1;3", 0, true},
      {"number_at_end", "ab\x1b[32", 2, false},
      {"bright_number_at_end", "ab\x1b[95", 5, true},
      {"number_cut_after_white_space", "ab\x1b[3 ", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Screen s(kFullColour);
    ASSERT_NE(s.win(), nullptr);
    s.record(c.first);
    s.record("cdm");
    EXPECT_EQ(s.row(0), "abcdm");
    EXPECT_EQ(s.pair(0, 2), c.pair);
    EXPECT_EQ(s.bold(0, 2), c.bold);
  }
}

// The first row's cells after drawing a record in two pieces, cut at `cut`, then "!".
std::vector<chtype> drawn_cut_at(std::string_view text, std::size_t cut) {
  Screen s(kFullColour);
  std::vector<chtype> cells;
  if (s.win() == nullptr) return cells;
  s.record({text.substr(0, cut), text.substr(cut)});
  s.record("!");
  for (int x = 0; x < 12; ++x) cells.push_back(s.cell(0, x));
  return cells;
}

// However a record is cut into pieces, the window ends up as if it came whole.
TEST(Render, EscapesSplitAcrossPiecesReadWhole) {
  const std::string_view texts[] = {
      "a\x1b[92mb\x1b[1;33mc\x1b[0md\x1b[3 -7me\x1b(skipmf\x1b[38;5;1mg\x1b[m",
      "x\x1b[31",
      "y\x1b",
  };
  for (const std::string_view text : texts) {
    const std::vector<chtype> whole = drawn_cut_at(text, text.size());
    ASSERT_FALSE(whole.empty());
    for (std::size_t cut = 0; cut < text.size(); ++cut) {
      EXPECT_EQ(drawn_cut_at(text, cut), whole) << "cut at " << cut << " of " << text.size();
    }
  }
}

struct ColourModelCase {
  const char* type;
  short foreground[16];
  short high_foreground;  // of the pairs above 15
};

class ColourModel : public testing::TestWithParam<ColourModelCase> {};

// Every pair the escapes can select draws readably: nothing black on the black background
// but pair 0's own black, and never a pair the terminal left undefined.
TEST_P(ColourModel, PairsAreDefinedReadably) {
  const ColourModelCase& c = GetParam();
  {
    Screen s(c.type);
    ASSERT_NE(s.win(), nullptr);
    for (short n = 1; n < reading::kColours; ++n) {
      short fg = -1, bg = -1;
      ASSERT_EQ(pair_content(n, &fg, &bg), OK) << n;
      EXPECT_EQ(fg, c.foreground[n]) << "pair " << n;
      EXPECT_EQ(bg, COLOR_BLACK) << "pair " << n;
    }
  }
  for (int colour = 16; colour <= 255; ++colour) {
    SCOPED_TRACE(colour);
    Screen t(c.type);
    ASSERT_NE(t.win(), nullptr);
    t.record("\x1b[3" + std::to_string(colour) + "mX");
    const short pair = static_cast<short>(t.pair(0, 0));
    ASSERT_LT(pair, COLOR_PAIRS);
    short fg = -1, bg = -1;
    ASSERT_EQ(pair_content(pair, &fg, &bg), OK);
    EXPECT_EQ(fg, c.high_foreground);
    EXPECT_EQ(bg, COLOR_BLACK);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Terminals, ColourModel,
    testing::Values(
        ColourModelCase{
            "xterm-256color", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, COLOR_WHITE},
        ColourModelCase{"xterm", {0, 1, 2, 3, 4, 5, 6, 7, 7, 1, 2, 3, 4, 5, 6, 7}, COLOR_WHITE},
        ColourModelCase{"screen", {0, 1, 2, 3, 4, 5, 6, 7, 7, 1, 2, 3, 4, 5, 6, 7}, COLOR_WHITE}),
    [](const testing::TestParamInfo<ColourModelCase>& info) {
      std::string name = info.param.type;
      for (char& ch : name) {
        if (ch == '-') ch = '_';
      }
      return name;
    });

}  // namespace
}  // namespace viewer

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
