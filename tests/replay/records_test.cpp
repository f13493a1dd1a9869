#include "replay/records.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace replay {
namespace {

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(Classify, KeywordAndOneSpaceOrNothing) {
  struct Case {
    std::string text;
    Kind kind;
    std::string payload;
  };
  const Case cases[] = {
      {"line abc", Kind::line, "abc"},
      {"line ", Kind::line, ""},
      {"line  two", Kind::line, " two"},
      {"line a\r", Kind::line, "a\r"},
      {"prompt b> ", Kind::prompt, "b> "},
      {"prompt ", Kind::prompt, ""},
      {"sleep 250", Kind::sleep, "250"},
      {"sleep ", Kind::sleep, ""},
      {"sleep x", Kind::sleep, "x"},
      {"", Kind::bad, ""},
      {"line", Kind::bad, ""},
      {"prompt", Kind::bad, ""},
      {"sleep", Kind::bad, ""},
      {"line\tx", Kind::bad, ""},
      {"lines x", Kind::bad, ""},
      {"Line x", Kind::bad, ""},
      {" line x", Kind::bad, ""},
      {"prompt>x", Kind::bad, ""},
      {"#10 remark", Kind::bad, ""},
      {"\r", Kind::bad, ""},
  };
  for (const Case& c : cases) {
    const Record r = classify(c.text);
    EXPECT_EQ(r.kind, c.kind) << '"' << c.text << '"';
    EXPECT_EQ(r.payload, c.payload) << '"' << c.text << '"';
  }
}

TEST(Count, ReadsAsAtoiDoesAndSaturates) {
  struct Case {
    std::string text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"250", 250},
      {"0", 0},
      {"  \t\v\f\r\n42", 42},
      {"+7", 7},
      {"-5", -5},
      {"-0", 0},
      {"12abc", 12},
      {"5 6", 5},
      {"1.5", 1},
      {"abc", 0},
      {"", 0},
      {"+", 0},
      {"- 5", 0},
      {"+-5", 0},
      {"--5", 0},
      {"x5", 0},
      {"000000000000000000000042", 42},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"4294967296", kMax},
      {"99999999999999999999999", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"-99999999999999999999999", kMin},
  };
  for (const Case& c : cases) EXPECT_EQ(to_count(c.text), c.value) << '"' << c.text << '"';
}

TEST(Count, CarriesOverPieces) {
  Count c;
  EXPECT_FALSE(c.feed("   "));
  EXPECT_FALSE(c.feed("-"));
  EXPECT_FALSE(c.feed("12"));
  EXPECT_FALSE(c.feed("3"));
  EXPECT_TRUE(c.feed("4x9"));
  EXPECT_TRUE(c.feed("9"));
  EXPECT_EQ(c.value(), -1234);
}

TEST(Mode, FromAnyNameContainingOne) {
  struct Case {
    const char* name;
    Mode mode;
  };
  const Case cases[] = {
      {"vorlan-replay", Mode::replay},
      {"/usr/local/bin/vorlan-replay", Mode::replay},
      {"vorlan-totext", Mode::text},
      {"./old-vorlan-totext.bak", Mode::text},
      {"vorlan-totext-vorlan-replay", Mode::replay},
      {"vorlan-replay/vorlan-totext", Mode::replay},
      {"vorlan", Mode::unknown},
      {"VORLAN-REPLAY", Mode::unknown},
      {"vorlan_totext", Mode::unknown},
      {"", Mode::unknown},
      {nullptr, Mode::unknown},
  };
  for (const Case& c : cases)
    EXPECT_EQ(mode_from_name(c.name), c.mode) << (c.name ? c.name : "null");
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

// The loop over in-memory streams: `movie` in, what it wrote and reported out.
Result play_bytes(const std::string& movie, Mode mode = Mode::text) {
  std::string in_bytes = movie;
  std::FILE* in = fmemopen(in_bytes.data(), in_bytes.size(), "rb");
  char* out_buf = nullptr;
  char* err_buf = nullptr;
  std::size_t out_size = 0;
  std::size_t err_size = 0;
  std::FILE* out = open_memstream(&out_buf, &out_size);
  std::FILE* err = open_memstream(&err_buf, &err_size);
  EXPECT_TRUE(in && out && err);
  const int status = play(in, out, mode, err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  Result r{status, std::string(out_buf, out_size), std::string(err_buf, err_size)};
  std::free(out_buf);
  std::free(err_buf);
  return r;
}

TEST(Play, WritesTheTranscript) {
  struct Case {
    const char* what;
    std::string movie;
    std::string out;
  };
  const Case cases[] = {
      {"empty input", "", "\n"},
      {"prompt shares the next line", "line a\nprompt b> \nline c\n", "a\nb> c\n\n"},
      {"sleeps dropped", "sleep 100000\nline a\nsleep 0\nsleep -3\n", "a\n\n"},
      {"empty prompt and line", "prompt \nline \n", "\n\n"},
      {"carriage return kept", "line a\r\nprompt b\r\n", "a\r\nb\r\n"},
      {"no final newline", "line a\nline b", "a\nb\n\n"},
      {"zero byte ends the text", "line ab\0cd\nprompt p\0q\nline z\n"s, "ab\npz\n\n"},
      {"zero bytes right before the newline", "line ab\0\nline \0\0\nline c\n"s, "ab\n\nc\n\n"},
      {"zero byte last, no final newline", "line a\nprompt b\0"s, "a\nb\n"},
      {"only zero bytes after the keyword", "line \0\0\0"s, "\n\n"},
      {"escapes and high bytes untouched", "line \x1b[1;31mred\x1b[0m \xff\xfe\x01\n",
       "\x1b[1;31mred\x1b[0m \xff\xfe\x01\n\n"},
  };
  for (const Case& c : cases) {
    const Result r = play_bytes(c.movie);
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, "") << c.what;
  }
}

TEST(Play, StopsAtARecordOfNoKnownKind) {
  struct Case {
    std::string movie;
    std::string out;  // what was written before stays written, with no closing newline
    std::string shown;
  };
  const Case cases[] = {
      {"line a\nline\nline b\n", "a\n", "line"},
      {"line a\n\nline b\n", "a\n", ""},
      {"#10 remark\n", "", "#10 remark"},
      {"prompt x\nsleep\n", "x", "sleep"},
      {"Line a\r\n", "", "Line a\r"},
      {"li\0ne x\n"s, "", "li"},
      {"line\0 x\n"s, "", "line"},
      {"line a\nbad", "a\n", "bad"},
  };
  for (const Case& c : cases) {
    const Result r = play_bytes(c.movie);
    EXPECT_EQ(r.status, 1) << c.movie;
    EXPECT_EQ(r.out, c.out) << c.movie;
    EXPECT_EQ(r.err, "Syntax error in line:\n" + c.shown + "\n") << c.movie;
  }
}

// Text that shows where it was cut or reordered.
std::string pattern(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; s.size() < n; ++i) s += std::to_string(i) + ',';
  s.resize(n);
  return s;
}

TEST(Play, LongRecordsWhole) {
  for (const std::size_t record : {4094u, 4095u, 4096u, 8190u, 8191u, 10000u}) {
    const std::string line = pattern(record - 5);
    const std::string prompt = pattern(record - 7);
    const Result r = play_bytes("line " + line + "\nprompt " + prompt + "\nline end\n");
    EXPECT_EQ(r.status, 0) << record;
    EXPECT_EQ(r.out, line + "\n" + prompt + "end\n\n") << record;
    EXPECT_EQ(r.err, "") << record;
  }
}

TEST(Play, LongRecordEdges) {
  const std::string a(4090, 'a');  // "line " and these fill the first read exactly
  struct Case {
    const char* what;
    std::string movie;
    std::string out;
  };
  const Case cases[] = {
      {"a keyword mid-text is text", "line " + a + "line b\n", a + "line b\n\n"},
      {"a newline right after the first read", "line " + a + "\nline b\n", a + "\nb\n\n"},
      {"no final newline", "line " + pattern(9000), pattern(9000) + "\n\n"},
      {"input over right after a full piece", "line " + a + "prompt " + a.substr(2),
       a + "prompt " + a.substr(2) + "\n\n"},
      {"input over right after a full sleep piece", "line a\nsleep 1" + a.substr(2), "a\n\n"},
      {"zero byte in a later piece", "line " + pattern(6000) + "\0junk"s + a + "\nline z\n",
       pattern(6000) + "\nz\n\n"},
      {"zero byte in the first piece", "prompt ab\0"s + a + a + "\nline z\n", "abz\n\n"},
      {"zero byte last in a full piece", "line " + a.substr(1) + "\0junk\nline z\n"s,
       a.substr(1) + "\nz\n\n"},
      {"zero byte first in a later piece", "line " + a + "\0junk\nline z\n"s, a + "\nz\n\n"},
      {"a zero byte after a full piece", "line " + a + "x\nline ab\0c\nline d\n"s,
       a + "x\nab\nd\n\n"},
      {"short records after long ones", "line " + a + "\nprompt " + pattern(6000) + "\nline b\0"s,
       a + "\n" + pattern(6000) + "b\n\n"},
      {"sleep tail passed over", "sleep 5" + a + a + "\nline z\n", "z\n\n"},
  };
  for (const Case& c : cases) {
    const Result r = play_bytes(c.movie);
    EXPECT_EQ(r.status, 0) << c.what;
    EXPECT_EQ(r.out, c.out) << c.what;
  }

  const std::string junk = pattern(10000);
  const Result r = play_bytes("line a\n" + junk + "\nline b\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "a\n");
  EXPECT_EQ(r.err, "Syntax error in line:\n" + junk.substr(0, 4095) + "\n");
}

double seconds_of(const std::string& movie, Result& r) {
  const auto start = Clock::now();
  r = play_bytes(movie, Mode::replay);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(Play, ReplayPausesForPositiveCountsOnly) {
  Result r;
  EXPECT_GE(seconds_of("prompt x\nsleep 250\nline y\n", r), 0.25);
  EXPECT_EQ(r.out, "xy\n\n");
  // The count may sit beyond the first read.
  EXPECT_GE(seconds_of("sleep " + std::string(5000, ' ') + "300\n", r), 0.3);
  EXPECT_EQ(r.status, 0);
  EXPECT_LT(seconds_of("sleep 0\nsleep -1\nsleep -2147483648\nsleep -99999999999\n", r), 5.0);
  EXPECT_EQ(r.out, "\n");
}

// select refuses microseconds of a second or more, so a pause past a second must be split.
TEST(Pause, SplitsSecondsAndMilliseconds) {
  const struct {
    std::int32_t ms;
    long sec;
    long usec;
  } cases[] = {{1, 0, 1000},      {999, 0, 999000},  {1000, 1, 0},
               {1100, 1, 100000}, {60001, 60, 1000}, {INT32_MAX, 2147483, 647000}};
  for (const auto& c : cases) {
    const timeval tv = pause_time(c.ms);
    EXPECT_EQ(tv.tv_sec, c.sec) << c.ms;
    EXPECT_EQ(tv.tv_usec, c.usec) << c.ms;
  }
}

TEST(Play, WriteFailureIsAnError) {
  for (const Mode mode : {Mode::text, Mode::replay}) {
    for (const std::string movie : {"line a\n", "", "sleep 1\n"}) {
      std::string in_bytes = movie;
      std::FILE* in = fmemopen(in_bytes.data(), in_bytes.size(), "rb");
      std::FILE* out = std::fopen("/dev/full", "wb");
      std::FILE* err = std::tmpfile();
      ASSERT_TRUE(in && out && err);
      EXPECT_EQ(play(in, out, mode, err), 1) << movie;
      std::rewind(err);
      char msg[64] = {};
      EXPECT_STREQ(std::fgets(msg, sizeof msg, err), "Error writing file\n") << movie;
      std::fclose(in);
      std::fclose(out);
      std::fclose(err);
    }
  }
}

TEST(Play, ReadFailureIsAnError) {
  std::FILE* in = std::fopen(".", "rb");  // opens, but reading a directory fails
  ASSERT_NE(in, nullptr);
  char* out_buf = nullptr;
  char* err_buf = nullptr;
  std::size_t out_size = 0;
  std::size_t err_size = 0;
  std::FILE* out = open_memstream(&out_buf, &out_size);
  std::FILE* err = open_memstream(&err_buf, &err_size);
  EXPECT_EQ(play(in, out, Mode::text, err), 1);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  EXPECT_EQ(std::string(out_buf, out_size), "");
  EXPECT_EQ(std::string(err_buf, err_size), "Error reading file\n");
  std::free(out_buf);
  std::free(err_buf);
}

}  // namespace
}  // namespace replay
