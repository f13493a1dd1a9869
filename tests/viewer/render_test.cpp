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
    reading::text_end(state_, reading::Kind::line, put());
    copy_out(grid_, win_);
  }
  void record(std::string_view text) { record({text}); }
  void annotation(std::string_view text) {
    reading::Style mark = state_.pen;
    mark.reverse = true;
    reading::put_ascii(reading::kAnnotationPrefix, mark, put());
    reading::annotation_piece(text, state_, put());
    reading::text_end(state_, reading::Kind::annotation, put());
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
