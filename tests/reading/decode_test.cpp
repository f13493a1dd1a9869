#include "reading/decode.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace reading {
namespace {

// Decodes `bytes` cut into two pieces at `cut`, the sequence carried between them.
std::u32string decoded(std::string_view bytes, std::size_t cut) {
  std::u32string out;
  Utf8 st;
  const auto emit = [&](char32_t c) { out += c; };
  decode(bytes.substr(0, cut), st, emit);
  decode(bytes.substr(cut), st, emit);
  flush(st, emit);
  return out;
}

struct DecodeCase {
  std::string_view bytes;
  std::u32string_view chars;
};

TEST(Decode, Utf8WhereValidElseWindows1252AtEveryCut) {
  const DecodeCase cases[] = {
      {"plain", U"plain"},
      {"\xe9t\xe9", U"\u00e9t\u00e9"},                              // Latin-1 text
      {"\x80\x93\x99\x9f", U"\u20ac\u201c\u2122\u0178"},            // windows-1252's own
      {"\x81\x8d\x8f\x90\x9d", U"\ufffd\ufffd\ufffd\ufffd\ufffd"},  // its five holes
      {"\xc3\xa9t\xc3\xa9", U"\u00e9t\u00e9"},                      // UTF-8
      {"\xe2\x82\xac", U"\u20ac"},
      {"\xe4\xb8\xad\xf0\x9f\x98\x80", U"\u4e2d\U0001F600"},  // wide, and four bytes
      {"\xc3(", U"\u00c3("},                                  // broken: each byte on its own
      {"\xe2\x82(", U"\u00e2\u201a("},
      {"\xc0\xaf", U"\u00c0\u00af"},                      // overlong
      {"\xed\xa0\x80", U"\u00ed\u00a0\u20ac"},            // a surrogate
      {"\xf4\x90\x80\x80", U"\u00f4\ufffd\u20ac\u20ac"},  // beyond U+10FFFF
      {"\xf0\x9f\x98", U"\u00f0\u0178\u02dc"},            // cut short by the end
      {"\xc3\xc3\xa9", U"\u00c3\u00e9"},                  // a new lead restarts
  };
  for (const DecodeCase& c : cases) {
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      EXPECT_EQ(decoded(c.bytes, cut), c.chars)
          << testing::PrintToString(c.bytes) << " cut " << cut;
    }
  }
}

}  // namespace
}  // namespace reading
