#include "reading/charset.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reading/pieces.hpp"
#include "reading/record.hpp"
#include "tests/reading/shown_by.hpp"

namespace reading {
namespace {

using namespace std::string_view_literals;

struct Case {
  std::string_view set;  // the detector's name
  std::string_view record;
  std::u32string_view shows;
};

TEST(Charset, NamedSetsDecodeThroughEscapesReturnsAndCuts) {
  const Case cases[] = {
      {"GB18030", "line \xd6\xd0\xce\xc4\n", U"\u4e2d\u6587\n"},
      {"GB18030", "line \xa8\xa6 \x94\x39\xfc\x36!\r\n", U"\u00e9 \U0001F600!\n"},  // 4 bytes
      // Colour between characters and inside one: a character shows in its first byte's look.
      {"GB18030", "line \x1b[31m\xd6\xd0\x1b[0m\xce\xc4\n", U"{1}\u4e2d{0}\u6587\n"},
      {"GB18030", "line \x1b[31m\xd6\x1b[32m\xd0\xce\xc4\n", U"{1}\u4e2d{2}\u6587\n"},
      {"GB18030", "line a\rb\n", U"a\rb\n"},
      // Undecodable: U+FFFD for each byte passed over, and decoding goes on.
      {"GB18030", "line \xd6\xd0\xff\xce\xc4\n", U"\u4e2d\ufffd\u6587\n"},
      {"GB18030", "line \x81\x30\x81\n", U"\ufffd0\ufffd\n"},
      {"GB18030", "line \x1b[31m\xd6\x1b[0m\n", U"{1}\ufffd{0}\n"},  // held: its own look
      {"GB18030", "prompt \x1b[31m\xd6\n", U"{1}\ufffd"},            // cut by the end
      {"GB18030", "#1 \xd6\xd0\r\n", U"{0r}##==> \u4e2d\n"},
      // A trail byte in the ASCII range is no ASCII character.
      {"SHIFT_JIS", "line \x83\x5c\x95\x5c\\~\n", U"\u30bd\u8868\\~\n"},
      {"BIG5", "line \xa4\xa4\xa4\xe5\n", U"\u4e2d\u6587\n"},
      {"UHC", "line \xc7\xd1\xb1\xb9\n", U"\ud55c\uad6d\n"},
      {"KOI8-R", "line \x1b[32m\xf7\xd9\x1b[0m!\n", U"{2}\u0412\u044b{0}!\n"},
  };
  for (const Case& c : cases) {
    Charset charset = Charset::named(c.set);
    ASSERT_FALSE(charset.is_default()) << c.set;
    EXPECT_EQ(at_every_cut(c.record, &charset), c.shows) << testing::PrintToString(c.record);
  }
}

TEST(Charset, ALongRecordReadInPiecesOfAnySize) {
  // Longer than the piece buffer, its characters across every kind of cut: an odd start
  // puts a double-byte character on each boundary of an even piece size.
  std::string record = "line x";
  std::u32string expected = U"x";
  while (record.size() < 2 * kPieceBufferSize + 100) {
    record += "\xd6\xd0\x1b[31m\xce\x1b[0m\xc4\x94\x39\xfc\x36";
    expected += U"\u4e2d\u6587\U0001F600";
  }
  record += "\r\n";
  expected += U"\n";
  Charset gb = Charset::named("GB18030");
  for (const std::size_t limit : {std::size_t{7}, std::size_t{4096}, kPieceBufferSize}) {
    // A piece lives until the next one is read: each is read as it comes.
    Pieces pieces(record, limit);
    Reading r;
    r.text.charset = &gb;
    std::u32string shown;
    const auto put = [&](char32_t c, Style /*style*/) { shown += c; };
    const std::string_view first = pieces.next();
    ASSERT_TRUE(first.starts_with("line x")) << first.size();
    first_piece(first, r, put);
    for (std::string_view p = pieces.next(); !p.empty(); p = pieces.next()) next_piece(p, r, put);
    record_end(r, put);
    EXPECT_EQ(shown, expected) << "pieces of " << limit;
  }
}

TEST(Charset, EachRecordDecodesAfresh) {
  // A lead byte at a record's end does not join the next record's first byte.
  Charset gb = Charset::named("GB18030");
  Reading r;
  r.text.charset = &gb;
  ShownText shown;
  const auto put = [&](char32_t c, Style s) { shown.put(c, s); };
  for (const std::string_view record : {"prompt \xd6\n"sv, "line \xd0\xce\xc4\n"sv}) {
    first_piece(record, r, put);
    record_end(r, put);
  }
  EXPECT_EQ(shown.out, U"\ufffd\u5f62\ufffd\n");
}

TEST(Charset, DecodeTextForTheCommandWord) {
  Charset gb = Charset::named("GB18030");
  std::u32string out;
  const auto emit = [&](char32_t c) { out += c; };
  decode_text("\xd6\xd0\xce", &gb, emit);
  EXPECT_EQ(out, U"\u4e2d\ufffd");
  out.clear();
  decode_text("caf\xe9", nullptr, emit);
  EXPECT_EQ(out, U"caf\u00e9");
}

struct Decision {
  std::string_view movie;
  std::string_view name;
};

// A line of plain text, `n` times.
std::string plain(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += "line You are standing in a room. Exits: north, east.\n";
  return s;
}

TEST(Charset, TodaysRuleUnlessTheEvidenceIsEnough) {
  const std::string ascii = plain(40);
  const std::string utf8 = plain(40) + "line caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87\n";
  // Telnet's IAC GA after each prompt, in a plain movie and in a UTF-8 one.
  std::string telnet;
  for (int i = 0; i < 200; ++i) telnet += "prompt HP:100 >\xff\xf9\nline You see a room.\n";
  const std::string one_accent = plain(30) + "line The caf\xe9 is closed.\n" + plain(10);
  // Enough GB18030 in what the keywords, counts and escapes leave.
  const std::string gb =
      "sleep 100\n#5 \xd6\xd0\xce\xc4\nline \x1b[31m\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\x1b[0m\n";
  // The same bytes as a count or inside escapes and keywords are no text.
  const std::string not_text =
      "sleep 100\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\nline \x1b[3\xd6\xd0\xce\xc4\xd6\xd0\xce\xc4m\n";
  const std::string telnet_utf8 = telnet + utf8;
  const Decision cases[] = {
      {ascii, kDefaultCharsetName},
      {utf8, kDefaultCharsetName},
      {telnet, kDefaultCharsetName},
      {telnet_utf8, kDefaultCharsetName},
      {one_accent, kDefaultCharsetName},
      {gb, "GB18030"},
      {not_text, kDefaultCharsetName},
      {"line \xd6\xd0\n", kDefaultCharsetName},  // one character is too little
  };
  for (const Decision& c : cases) {
    EXPECT_EQ(decide(examine(c.movie)).name(), c.name) << testing::PrintToString(c.movie);
  }
}

TEST(Charset, DecisionRules) {
  const struct {
    Evidence evidence;
    std::string_view name;
  } cases[] = {
      {{100, true, false, "GB18030"}, kDefaultCharsetName},  // valid UTF-8
      {{7, false, false, "GB18030"}, kDefaultCharsetName},   // below the double-byte floor
      {{8, false, false, "GB18030"}, "GB18030"},
      {{15, false, false, "KOI8-R"}, kDefaultCharsetName},  // below the single-byte floor
      {{16, false, false, "KOI8-R"}, "KOI8-R"},
      {{100, false, false, "other"}, kDefaultCharsetName},  // western, or not recognised
      {{100, false, false, ""}, kDefaultCharsetName},       // no answer
      {{100, false, false, "ISO-8859-2"}, "ISO-8859-2"},
      {{100, false, true, "ISO-8859-2"}, "windows-1250"},  // C1 bytes: the Windows set
      {{100, false, false, "UHC"}, "EUC-KR"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decide(c.evidence).name(), c.name) << c.evidence.detected;
  }
  EXPECT_TRUE(Charset::named("ISO-8859-1").is_default());
  EXPECT_TRUE(Charset::named("IBM852").is_default());
}

TEST(Charset, APipeIsSampledOnceAndReadOnFromTheSample) {
  // More than the sample through a pipe: what the pieces give is the whole movie.
  std::string movie = "line \xd6\xd0\xce\xc4\xd6\xd0\xce\xc4\xd6\xd0\n";
  while (movie.size() < kSampleBytes + 3 * kPieceBufferSize) movie += plain(100);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < movie.size();) {
      const ssize_t n = write(fds[1], movie.data() + at, movie.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    close(fds[1]);
  });
  Sample sample(fds[0]);
  EXPECT_EQ(sample.bytes().size(), kSampleBytes);
  EXPECT_EQ(sample.charset().name(), "GB18030");
  Pieces pieces(fds[0], sample.bytes());
  // A pipe cannot seek back, and trying keeps the sample (the cast tries, to measure).
  EXPECT_FALSE(pieces.seek(0));
  std::string read;
  for (std::string_view p = pieces.next(); !p.empty(); p = pieces.next()) read += p;
  writer.join();
  close(fds[0]);
  EXPECT_EQ(read, movie);
  EXPECT_FALSE(pieces.failed());
}

TEST(Charset, ASeekForgetsTheSample) {
  char path[] = "/tmp/charset_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const std::string movie = "line one\nline two\n";
  ASSERT_EQ(write(fd, movie.data(), movie.size()), static_cast<ssize_t>(movie.size()));
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  Sample sample(fd);
  Pieces pieces(fd, sample.bytes());
  EXPECT_EQ(pieces.next(), "line one\n");
  ASSERT_TRUE(pieces.seek(9));
  EXPECT_EQ(pieces.next(), "line two\n");
  EXPECT_TRUE(pieces.next().empty());
  ASSERT_TRUE(pieces.seek(0));
  EXPECT_EQ(pieces.next(), "line one\n");
  close(fd);
  unlink(path);
}

}  // namespace
}  // namespace reading
