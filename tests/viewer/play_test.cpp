#include "viewer/play.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace viewer {
namespace {

std::string text_of(const Grid& g);

// A terminal whose keys come from a script and whose clock moves 10 ms a look.
struct Scripted {
  explicit Scripted(std::vector<int> script) : keys(std::move(script)) {}
  std::vector<int> keys;
  std::size_t next = 0;
  std::vector<Status> frames;
  std::vector<int> waits;            // the wait of each key read
  std::vector<std::string> screens;  // the text shown at each of them
  const Grid* shown = nullptr;
  int rows = 5;
  int width = 20;
  Clock::time_point clock{};

  Clock::time_point now() { return clock += std::chrono::milliseconds(10); }
  void frame(const Grid& g, const Status& st, bool) {
    frames.push_back(st);
    shown = &g;
  }
  // Past the script nothing more is typed, and a wait that needs a key finds input ended.
  int key(int wait_ms) {
    waits.push_back(wait_ms);
    screens.push_back(shown != nullptr ? text_of(*shown) : "");
    if (next < keys.size()) return keys[next++];
    return wait_ms == 0 ? kNoKey : kInputEnded;
  }
  int text_rows() const { return rows; }
  int cols() const { return width; }
  void seeked(std::int64_t, std::int64_t, std::int64_t) {}
};

std::string text_of(const Grid& g) {
  std::string s;
  for (int y = 0; y < g.rows(); ++y) {
    for (int x = 0; x < g.cols(); ++x) s += static_cast<char>(g.row(y)[x].ch);
    s.erase(s.find_last_not_of(' ') + 1);
    s += '\n';
  }
  return s;
}

TEST(Play, KeysTypedDuringALongRecordWaitTheirTurnButQuitAtOnce) {
  // A record of 4000 bytes read 16 at a time: the screen catches up, keys are taken.
  const std::string movie = "line " + std::string(4000, 'x') + "\nsleep 1000\nsleep 1000\n";
  {
    Scripted term({'0', '5', kNoKey});
    reading::Pieces pieces(movie, 16);
    Grid grid(term.rows, term.width);
    EXPECT_EQ(Player(pieces, movie.size(), grid, term).run(), kExitInputEnded);
    // "0" and "5" were taken while the record was read, then acted on in order, one a
    // pass: after the record the speed went 5, 0, 5.
    std::vector<int> speeds;
    for (const Status& st : term.frames) {
      if (st.offset > 4006 && (speeds.empty() || speeds.back() != st.speed)) {
        speeds.push_back(st.speed);
      }
    }
    EXPECT_EQ(speeds, (std::vector<int>{5, 0, 5}));
  }
  {
    Scripted term({'x', 'q', 'y'});
    reading::Pieces pieces(movie, 16);
    Grid grid(term.rows, term.width);
    EXPECT_EQ(Player(pieces, movie.size(), grid, term).run(), kExitQuit);
    EXPECT_LT(term.frames.back().offset, 4006);  // still inside the long record
  }
}

TEST(Play, AResizeLaysTheCellsOutAgainAndEndsTheWait) {
  const std::string movie = "line one\nline two\nline three\nsleep 1000\nsleep 1000\nline tail\n";
  Scripted term({kResized, 'q'});
  reading::Pieces pieces(movie);
  Grid grid(term.rows, term.width);
  term.rows = 2;
  term.width = 5;
  EXPECT_EQ(Player(pieces, movie.size(), grid, term).run(), kExitQuit);
  EXPECT_EQ(text_of(grid), "three\n\n");  // the newest rows kept, cut to the new width
  EXPECT_EQ(term.waits, (std::vector<int>{1000, 1000}));  // the resize ended the first
}

TEST(Play, EndOfKeyInputEndsPlay) {
  const std::string movie = "line a\n";
  Scripted term({});
  reading::Pieces pieces(movie);
  Grid grid(term.rows, term.width);
  EXPECT_EQ(Player(pieces, movie.size(), grid, term).run(), kExitInputEnded);
  EXPECT_EQ(term.waits, (std::vector<int>{-1}));
}

// The end marker shows with the last record, once the offset reaches the size: the pause
// after it, or the key step mode waits for, is not waited before the marker.
TEST(Play, TheEndMarkerFollowsTheLastRecordAtOnce) {
  const struct {
    const char* name;
    std::string movie;
    std::vector<int> keys;
    std::vector<int> waits;
  } cases[] = {
      {"a pause last", "line a\nsleep 1000\n", {}, {-1}},
      {"a line last", "sleep 1000\nline a\n", {'x'}, {1000, -1}},
      {"step mode", "sleep 1000\nline a\nline b\n", {'0', 'x'}, {1000, -1, -1}},
  };
  for (const auto& c : cases) {
    Scripted term(c.keys);
    reading::Pieces pieces(c.movie);
    Grid grid(term.rows, term.width);
    EXPECT_EQ(Player(pieces, c.movie.size(), grid, term).run(), kExitInputEnded) << c.name;
    EXPECT_EQ(term.waits, c.waits) << c.name;
    ASSERT_FALSE(term.screens.empty()) << c.name;
    EXPECT_NE(term.screens.back().find("**** END ***"), std::string::npos) << c.name << ":\n"
                                                                           << term.screens.back();
    for (std::size_t k = 0; k + 1 < term.screens.size(); ++k) {
      EXPECT_EQ(term.screens[k].find("END"), std::string::npos) << c.name << ", wait " << k;
    }
  }
}

}  // namespace
}  // namespace viewer
