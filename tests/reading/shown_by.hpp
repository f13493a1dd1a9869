// What the reading shows, written out so that whole records compare at a glance: each
// character, its look written as {pair,bold,reverse} before it when it changes.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "reading/charset.hpp"
#include "reading/record.hpp"

namespace reading {

struct ShownText {
  std::u32string out;
  Style last;
  void put(char32_t c, Style s) {
    if (!(s == last)) {
      out += U'{';
      for (const char d : std::to_string(s.pair)) out += static_cast<char32_t>(d);
      if (s.bold) out += U'b';
      if (s.reverse) out += U'r';
      out += U'}';
      last = s;
    }
    out += c;
  }
};

// Reads records, each given as its pieces, on from `r`.
inline std::u32string shown_by(std::initializer_list<std::vector<std::string_view>> records,
                               Reading& r) {
  ShownText shown;
  const auto put = [&](char32_t c, Style s) { shown.put(c, s); };
  for (const auto& pieces : records) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i == 0) {
        first_piece(pieces[i], r, put);
      } else {
        next_piece(pieces[i], r, put);
      }
    }
    record_end(r, put);
  }
  return shown.out;
}

// Reads records from the start of a movie, in `charset` (none: the default rule).
inline std::u32string shown_by(std::initializer_list<std::vector<std::string_view>> records,
                               Charset* charset = nullptr) {
  Reading r;
  r.text.charset = charset;
  return shown_by(records, r);
}

// Every cut of a record into two and three pieces shows what the whole record shows. A first
// piece always holds the keyword or count and its space, as the piece reader makes sure.
inline std::u32string at_every_cut(std::string_view record, Charset* charset = nullptr) {
  std::u32string whole = shown_by({{record}}, charset);
  const std::size_t first = record.find(' ') + 1;
  for (std::size_t a = first; a > 0 && a < record.size(); ++a) {
    EXPECT_EQ(shown_by({{record.substr(0, a), record.substr(a)}}, charset), whole)
        << testing::PrintToString(record) << " cut at " << a;
    for (std::size_t b = a + 1; b < record.size(); ++b) {
      EXPECT_EQ(
          shown_by({{record.substr(0, a), record.substr(a, b - a), record.substr(b)}}, charset),
          whole)
          << testing::PrintToString(record) << " cut at " << a << " and " << b;
    }
  }
  return whole;
}

}  // namespace reading
