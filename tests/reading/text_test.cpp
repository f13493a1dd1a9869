#include "reading/record.hpp"

#include <gtest/gtest.h>

#include "tests/reading/shown_by.hpp"

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace reading {
namespace {

using namespace std::string_view_literals;

struct TextCase {
  std::string_view record;
  std::u32string_view shows;
};

TEST(Text, RecordsShowTheirTextInTheirStylesAtEveryCut) {
  const TextCase cases[] = {
      {"line plain\n", U"plain\n"},
      {"line \x1b[31mred\x1b[0m plain\n", U"{1}red{0} plain\n"},
      {"line \x1b[92mgreen\n", U"{2b}green\n"},   // "9" is colour and bold, not pair 10
      {"line \x1b[1;33mbold\n", U"{0b}bold\n"},   // only the first parameter counts
      {"line \x1b[31ma\x1b[30mb\n", U"{1}ab\n"},  // pair 0 leaves the colour alone
      {"line \x1b[31ma\x1b[mb\n", U"{1}ab\n"},    // "[m" is no reset
      {"line \x1b[3200mwhite\n", U"{200}white\n"},
      {"line \x1b[3300mlow bits\n", U"{44}low bits\n"},
      {"line a\x1bXbcm d\n", U"a d\n"},  // an unknown escape skips to its "m"
      {"line open\x1b[3\n", U"open"},    // ... and an open one to the end
      {"line open\x1b[31\r", U"open"},   // ... a carriage return in it included
      {"line crlf\r\n", U"crlf\n"},
      {"line a\rb\r\n", U"a\rb\n"},  // a carriage return inside the line is drawn
      // Escapes and further returns between a return and the newline are line end too.
      {"line two\r\x1b[0m\n", U"two\n"},
      {"line three\r\r\n", U"three\n"},
      {"line a\r\r\x1b[31m\rb\n", U"a{1}\rb\n"},
      {"prompt HP>\r\x1b[0m\r\n", U"HP>"},
      {"#5 a\r\x1b[0m\n", U"{0r}##==> a\r\x1b[0m\n"},  // an annotation reads no escape
      {"prompt HP>\r\n", U"HP>"},
      {"prompt \n", U""},
      {"line caf\xc3\xa9 \xe9t\xe9\n", U"caf\u00e9 \u00e9t\u00e9\n"},
      // A sequence goes on across an escape, in the look of its first byte; a byte held when
      // an escape or the record's end comes shows in the look it was read in.
      {"line \xc3\x1b[32m\xa9\n", U"\u00e9{2}\n"},
      {"line \x1b[31mrouge \xe9t\xe9\x1b[0m\n", U"{1}rouge \u00e9t\u00e9{0}\n"},
      {"line \x1b[31m\xe4\xb8\x1b[0mx\n", U"{1}\u00e4\u00b8{0}x\n"},
      {"prompt \x1b[31m\xf0\x9f\n", U"{1}\u00f0\u0178"},  // cut by the record's end
      {"#1 \xe9\n", U"{0r}##==> \u00e9\n"},
      {"line bell\a\n", U"bell\a\n"},  // controls go to the writer as they are
      {"line cut\0 after\n"sv, U"cut"},
      {"#5 note\r\n", U"{0r}##==> note\n"},
      {"#7\n", U"{0r}##==> "},
      {"#5 note\r", U"{0r}##==> note\r"},  // no newline: the return is no line end
      {"sleep 100\n", U""},
      {"look\n", U""},
  };
  for (const TextCase& c : cases) EXPECT_EQ(at_every_cut(c.record), c.shows) << c.record;
}

// How a colour escape sets the pen beyond the cases above: the number read as "%d" would,
// its low eight bits the pair, a leading "9" bold as well, only the first parameter counted.
TEST(Text, EscapesSetThePenAtEveryCut) {
  const TextCase cases[] = {
      {"line \x1b[38;5;200mX\n", U"{8}X\n"},  // the first number whole
      {"line \x1b[39mX\n", U"{9}X\n"},
      {"line \x1b[91m\x1b[34mX\n", U"{4b}X\n"},  // a colour replaces a colour, keeps bold
      {"line \x1b[31m\x1b[90mX\n", U"{1b}X\n"},  // bright pair 0: only bold
      {"line \x1b[91m\x1b[0mX\n", U"X\n"},
      {"line \x1b[31m\x1b[4;32mX\n", U"{1}X\n"},       // another first parameter
      {"line \x1b[31m\x1b[0m\x1b[3mX\n", U"{1}X\n"},   // no digits: the last number again
      {"line \x1b[3mX\n", U"X\n"},                     // ... and at the start, nothing
      {"line \x1b[32m\x1b[0m\x1b[3-mX\n", U"{2}X\n"},  // a bare sign is no number
      {"line \x1b[3 \t2mX\n", U"{2}X\n"},              // white space before the number
      {"line \x1b[3+4mX\n", U"{4}X\n"},
      {"line \x1b[3261mX\n", U"{5}X\n"},
      {"line \x1b[32m\x1b[3256mX\n", U"{2}X\n"},  // low bits zero: the colour stays
      {"line \x1b[3-1mX\n", U"{255}X\n"},
      {"line \x1b[399999999999999mX\n", U"{255}X\n"},  // saturates
      {"line a\x1b(Bhidden mX\n", U"aX\n"},
      {"line \x1bmX\n", U"X\n"},
      {"line \x1b[31;xyzmX\n", U"{1}X\n"},  // the number ended by another byte
      {"line ab\x1b[31mcd\x1b[0mef\n", U"ab{1}cd{0}ef\n"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(at_every_cut(c.record), c.shows) << c.record;
}

// An escape still open when its record ends takes the number read so far, and the next
// record starts in text.
TEST(Text, AnOpenEscapeEndsWithItsRecord) {
  const TextCase cases[] = {
      {"line ab\x1b", U"abcdm\n"},         {"line ab\x1b(no end", U"abcdm\n"},
      {"line ab\x1b[1;3", U"ab{0b}cdm\n"}, {"line ab\x1b[32", U"ab{2}cdm\n"},
      {"line ab\x1b[95", U"ab{5b}cdm\n"},  {"line ab\x1b[3 ", U"abcdm\n"},
  };
  for (const TextCase& c : cases) {
    EXPECT_EQ(shown_by({{c.record}, {"line cdm\n"}}), c.shows) << c.record;
  }
}

TEST(Text, StyleLastsAcrossRecordsUntilAReset) {
  Reading r;
  EXPECT_EQ(shown_by({{"line \x1b[94mblue\n"}, {"#1 note\n"}, {"line still\n"}}, r),
            U"{4b}blue\n{4br}##==> note\n{4b}still\n");
  EXPECT_EQ(shown_by({{"line \x1b[0mplain\n"}}, r), U"plain\n");
}

TEST(Text, AnAnnotationLongerThanAPieceIsShownWhole) {
  // The first space may come only in a later piece; the count is read from the first.
  Reading r;
  EXPECT_EQ(shown_by({{"#3", "0 text", " more\n"}}, r), U"{0r}##==> text more\n");
  EXPECT_EQ(r.pb.delay, 300);
}

// A run of printable ASCII ends at the first other byte, wherever it falls in the words the
// search reads, and the bytes at both ends of the range belong to the run.
TEST(Text, PlainRunEndsAtTheFirstOtherByte) {
  for (const char other : {'\x1f', '\x7f', '\x80', '\xff', '\x1b', '\0'}) {
    for (std::size_t at = 0; at < 20; ++at) {
      std::string s(20, ' ');
      for (std::size_t k = 0; k < s.size(); ++k) s[k] = k % 2 == 0 ? '\x20' : '\x7e';
      s[at] = other;
      for (std::size_t from = 0; from <= at; from += 3) {
        EXPECT_EQ(detail::plain_end(s, from), at) << static_cast<int>(other) << " at " << at;
      }
      EXPECT_EQ(detail::plain_end(s, at + 1), s.size());
    }
  }
}

}  // namespace
}  // namespace reading
