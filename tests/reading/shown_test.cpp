#include "reading/shown.hpp"

#include <gtest/gtest.h>

#include "reading/decode.hpp"

namespace reading {
namespace {

TEST(Shown, ControlCharactersShowAsTwoCharacters) {
  EXPECT_EQ(shown(U'\a').count, 2);
  EXPECT_EQ(shown(U'\a').chars[1], U'G');
  EXPECT_EQ(shown(0x1b).chars[1], U'[');
  EXPECT_EQ(shown(0x7f).chars[1], U'?');
  EXPECT_EQ(shown(0x97).chars[0], U'~');
  EXPECT_EQ(shown(0x97).chars[1], U'W');
  EXPECT_EQ(shown(U'\t').count, 0);
  EXPECT_EQ(shown(U'\n').count, 0);
  EXPECT_EQ(shown(U'\u00e9').count, 0);
  EXPECT_EQ(shown(0xFFFE).chars[0], kReplacement);
  EXPECT_EQ(shown(0xFDD0).chars[0], kReplacement);
  EXPECT_EQ(columns(U'a'), 1);
  EXPECT_EQ(columns(U'\u4e2d'), 2);
  EXPECT_EQ(columns(U'\u0301'), 0);
}

}  // namespace
}  // namespace reading
