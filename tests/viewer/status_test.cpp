#include "viewer/status.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <string_view>

namespace viewer {
namespace {

TEST(Status, CommandWordShowsAsTheTextWindowShowsIt) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  const struct {
    const char* name;
    std::string_view word;
    std::wstring_view shown;
  } cases[] = {
      {"padded_to_six", "sleep", L"sleep "},
      {"longer_unpadded", "annotation", L"annotation"},
      {"windows_1252", "caf\xe9", L"caf\u00e9  "},
      {"utf8", "caf\xc3\xa9", L"caf\u00e9  "},
      {"sequence_cut_at_the_end", "ab\xe4\xb8", L"ab\u00e4\u00b8  "},
      {"wide_take_two_columns", "\xe4\xb8\xad\xe6\x96\x87", L"\u4e2d\u6587  "},
      {"controls_never_move_the_cursor", "xyz\b\b\r\x1b[K", L"xyz^H^H^M^[[K"},
      {"tab_and_newline_too", "a\tb\n", L"a^Ib^J"},
      {"c1_control", "\xc2\x85", L"~E    "},
      {"delete", "\x7f", L"^?    "},
      {"noncharacter", "\xef\xb7\x90", L"\ufffd     "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandShown out{};
    show_command(c.word, nullptr, out);
    EXPECT_EQ(std::wstring_view(out.data()), c.shown);
  }
}

// The word is decoded in the movie's own set, as its text is.
TEST(Status, CommandWordInTheMoviesSet) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  reading::Charset koi8 = reading::Charset::named("KOI8-R");
  ASSERT_FALSE(koi8.is_default());
  CommandShown out{};
  show_command("\xd7\xc1\xd3\xd1", &koi8, out);  // "вася"
  EXPECT_EQ(std::wstring_view(out.data()), L"\u0432\u0430\u0441\u044f  ");
}

}  // namespace
}  // namespace viewer
