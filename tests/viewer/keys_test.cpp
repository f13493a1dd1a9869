#include "viewer/keys.hpp"

#include <curses.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace viewer {
namespace {

// What the viewer acts on for the codes the key read gives, in order; kNoKey stands for an
// escape delay that ran out.
std::vector<int> scanned(const std::vector<int>& codes) {
  KeyScan st;
  std::vector<int> keys;
  for (const int code : codes) {
    const int key = scan_key(st, code);
    if (key != kReadOn) keys.push_back(key);
  }
  return keys;
}

std::vector<int> scanned(const std::string& bytes) {
  std::vector<int> codes;
  for (const char c : bytes) codes.push_back(static_cast<unsigned char>(c));
  return scanned(codes);
}

TEST(Keys, SequencesCursesDidNotKnowAreOneSpecialKey) {
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"shift_end", "\x1b[1;2F"},
      {"shift_f3", "\x1b[1;2R"},
      {"ctrl_right", "\x1b[1;5C"},
      {"f5_vt_style", "\x1b[15~"},
      {"ss3_letter", "\x1bOP"},
      {"ss3_digit_key", "\x1bO5"},
      {"private_params", "\x1b[?1;2c"},
      {"intermediate", "\x1b[1 q"},
      {"meta_before_a_sequence", "\x1b\x1b[1;2F"},
      {"dcs_report", "\x1bP1$r2F\x1b\\"},
      {"osc_bel", "\x1b]11;rgb:2F2F/0000/5000\x07"},
      {"osc_st", "\x1b]10;rgb:ffff/ffff/ffff\x1b\\"},
      {"apc", "\x1b_2F\x1b\\"},
      {"pm", "\x1b^2F\x1b\\"},
      {"sos", "\x1bX2F\x1b\\"},
      {"dcs_passing_a_sequence", "\x1bP\x1b]11;?\x1b\x1b\\"},
      {"bel_inside_dcs", "\x1bP2\x07F\x1b\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Whole, and followed by keys that are acted on as ever.
    EXPECT_EQ(scanned(c.bytes + "q5"), (std::vector<int>{kSpecialKey, 'q', '5'}));
  }
}

TEST(Keys, EscAloneAndOtherCodesAroundSequences) {
  // Esc with nothing after it within the delay is a key of its own.
  EXPECT_EQ(scanned(std::vector<int>{kEsc, kNoKey, 'f'}), (std::vector<int>{kEsc, 'f'}));
  // Esc and a key at once is one key (Meta), not a command.
  EXPECT_EQ(scanned(std::vector<int>{kEsc, 'f', 'f'}), (std::vector<int>{kSpecialKey, 'f'}));
  // A sequence cut short by the delay ends there: what comes later is a key again.
  EXPECT_EQ(scanned(std::vector<int>{kEsc, '[', '1', ';', kNoKey, '2'}),
            (std::vector<int>{kSpecialKey, '2'}));
  EXPECT_EQ(scanned(std::vector<int>{kEsc, 'O', kNoKey, 'R'}),
            (std::vector<int>{kSpecialKey, 'R'}));
  // A second sequence starting before the first ended is swallowed with it.
  EXPECT_EQ(scanned("\x1b[1\x1b[2Fx"), (std::vector<int>{kSpecialKey, 'x'}));
  // A control string cut short by the delay, or by the length limit, ends there.
  EXPECT_EQ(scanned(std::vector<int>{kEsc, 'P', '2', kNoKey, 'F'}),
            (std::vector<int>{kSpecialKey, 'F'}));
  std::vector<int> endless{kEsc, ']'};
  endless.insert(endless.end(), kControlStringLimit + 1, '2');
  endless.push_back('F');
  EXPECT_EQ(scanned(endless), (std::vector<int>{kSpecialKey, '2', 'F'}));
  // A resize or the end of input is never lost inside a sequence.
  EXPECT_EQ(scanned(std::vector<int>{kEsc, '[', kResized, '2'}), (std::vector<int>{kResized, '2'}));
  EXPECT_EQ(scanned(std::vector<int>{kEsc, kInputEnded}), (std::vector<int>{kInputEnded}));
  // Key codes curses made pass untouched.
  EXPECT_EQ(scanned(std::vector<int>{KEY_UP, KEY_F(5), 'R'}),
            (std::vector<int>{KEY_UP, KEY_F(5), 'R'}));
}

}  // namespace
}  // namespace viewer
