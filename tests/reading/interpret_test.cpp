#include "reading/interpret.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace reading {
namespace {

using namespace std::string_view_literals;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

Playback playback(std::int32_t delay, std::string_view command) {
  Playback pb;
  pb.delay = delay;
  command.copy(pb.command.data(), command.size());
  return pb;
}

struct Case {
  const char* name;
  std::string_view bytes;
  Kind kind;
  std::string_view text;
  std::int32_t delay;        // the line starts with a carried delay of 7
  std::string_view command;  // the line starts with the command word "prev"
  std::string_view annotation = {};
  bool text_ended = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Interpret : public testing::TestWithParam<Case> {};

TEST_P(Interpret, KindTextDelayAndCommandWord) {
  const Case& c = GetParam();
  Playback pb = playback(7, "prev");
  const Interpretation line = interpret(c.bytes, pb);
  EXPECT_EQ(line.kind, c.kind);
  EXPECT_EQ(line.text, c.text);
  EXPECT_EQ(line.annotation, c.annotation);
  EXPECT_EQ(line.text_ended, c.text_ended);
  EXPECT_EQ(pb.delay, c.delay);
  EXPECT_EQ(std::string_view(pb.command.data()), c.command);
}

const std::string kLongWord(150, 'w');

INSTANTIATE_TEST_SUITE_P(
    Lines, Interpret,
    testing::Values(
        Case{"line", "line hello\n", Kind::line, "hello\n", 0, "line"},
        Case{"bare_line", "line\n", Kind::line, "", 0, "line"},
        Case{"bare_line_at_end_of_file", "line", Kind::line, "", 0, "line"},
        Case{"line_byte_4_unexamined", "lines of text\n", Kind::line, " of text\n", 0, "lines"},
        Case{"line_zero_byte_ends_text", "line a\0b\n"sv, Kind::line, "a", 0, "line", {}, true},
        Case{"line_case_matters", "Line x\n", Kind::other, "", 7, "Line"},
        Case{"prompt", "prompt > \n", Kind::prompt, "> ", 0, "prompt"},
        Case{"prompt_empty", "prompt \n", Kind::prompt, "", 0, "prompt"},
        Case{"prompt_no_space", "prompt\n", Kind::prompt, "", 0, "prompt"},
        Case{"prompt_without_final_newline_keeps_last_byte", "prompt >", Kind::prompt, ">", 0,
             "prompt"},
        Case{"prompt_bytes_5_6_unexamined", "prompxyz\n", Kind::prompt, "z", 0, "prompxyz"},
        Case{"prompt_zero_byte_keeps_byte_before_it",
             "prompt ab\0c\n"sv,
             Kind::prompt,
             "ab",
             0,
             "prompt",
             {},
             true},
        Case{"prompt_only_one_newline_removed", "prompt a\n\n", Kind::prompt, "a\n", 0, "prompt"},
        Case{"sleep", "sleep 1000\n", Kind::sleep, "", 1000, "sleep"},
        Case{"sleep_zero", "sleep 0\n", Kind::sleep, "", 0, "sleep"},
        Case{"sleep_negative", "sleep -5\n", Kind::sleep, "", -5, "sleep"},
        Case{"sleep_plus_sign", "sleep +5\n", Kind::sleep, "", 5, "sleep"},
        Case{"sleep_white_space", "sleep\t  42\n", Kind::sleep, "", 42, "sleep"},
        Case{"sleep_no_space", "sleep42\n", Kind::sleep, "", 42, "sleep42"},
        Case{"sleep_digits_then_junk", "sleep 12ab\n", Kind::sleep, "", 12, "sleep"},
        Case{"sleep_no_number", "sleep x\n", Kind::sleep, "", 7, "sleep"},
        Case{"sleep_nothing_after", "sleep \n", Kind::sleep, "", 7, "sleep"},
        Case{"sleep_bare_sign", "sleep -\n", Kind::sleep, "", 7, "sleep"},
        Case{"sleep_number_after_zero_byte",
             "sleep \0"
             "5\n"sv,
             Kind::sleep,
             "",
             7,
             "sleep",
             {},
             true},
        Case{"sleep_int32_limits", "sleep 2147483647\n", Kind::sleep, "", kMax, "sleep"},
        Case{"sleep_saturates_high", "sleep 99999999999999999999\n", Kind::sleep, "", kMax,
             "sleep"},
        Case{"sleep_saturates_low", "sleep -99999999999999999999\n", Kind::sleep, "", kMin,
             "sleep"},
        Case{"annotation", "#5 look here\n", Kind::annotation, "", 500, "#5", "look here\n"},
        Case{"annotation_no_space", "#7\n", Kind::annotation, "", 700, "#7", ""},
        Case{"annotation_space_before_count", "# 3 text\n", Kind::annotation, "", 300, "#",
             "3 text\n"},
        Case{"annotation_negative_count_kept", "#-4 x\n", Kind::annotation, "", -4, "#-4", "x\n"},
        Case{"annotation_zero_count", "#0 x\n", Kind::annotation, "", 0, "#0", "x\n"},
        Case{"annotation_missing_count_scales_carried", "#oops\n", Kind::annotation, "", 700,
             "#oops"},
        Case{"annotation_count_saturates", "#99999999 x\n", Kind::annotation, "", kMax, "#99999999",
             "x\n"},
        Case{"annotation_ends_at_zero_byte", "#1 ab\0cd\n"sv, Kind::annotation, "", 100, "#1", "ab",
             true},
        Case{"other", "hello world\n", Kind::other, "", 7, "hello"},
        Case{"other_indented", " \t indented word\n", Kind::other, "", 7, "indented"},
        Case{"empty_line_keeps_command", "\n", Kind::other, "", 7, "prev"},
        Case{"end_of_file_keeps_command", "", Kind::other, "", 7, "prev"},
        Case{"leading_zero_byte", "\0line x\n"sv, Kind::other, "", 7, "prev", {}, true},
        Case{"keyword_cut_by_zero_byte", "lin\0e x\n"sv, Kind::other, "", 7, "lin", {}, true},
        Case{"command_word_at_most_99_bytes", kLongWord, Kind::other, "", 7,
             std::string_view(kLongWord).substr(0, 99)}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(Interpret, AnnotationMissingCountLeavesNonPositiveCarriedDelay) {
  for (const std::int32_t carried : {0, -3, kMin}) {
    Playback pb = playback(carried, "");
    interpret("#\n", pb);
    EXPECT_EQ(pb.delay, carried);
  }
  Playback pb = playback(kMax / 10, "");
  interpret("#\n", pb);
  EXPECT_EQ(pb.delay, kMax);
}

struct ContinuationCase {
  const char* name;
  std::string_view bytes;
  Kind kind;
  std::string_view text;
  bool text_ended = false;
};

void PrintTo(const ContinuationCase& c, std::ostream* os) { *os << c.name; }

class Continuation : public testing::TestWithParam<ContinuationCase> {};

TEST_P(Continuation, IsAllTextOfTheRecord) {
  const ContinuationCase& c = GetParam();
  const Interpretation line = continuation(c.bytes, c.kind);
  EXPECT_EQ(line.kind, c.kind);
  EXPECT_EQ(line.text, c.text);
  EXPECT_EQ(line.text_ended, c.text_ended);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, Continuation,
    testing::Values(
        ContinuationCase{"line_keeps_newline", "rest of it\n", Kind::line, "rest of it\n"},
        ContinuationCase{"line_looking_like_a_record", "sleep 5\n", Kind::line, "sleep 5\n"},
        ContinuationCase{"middle_piece", "no end yet", Kind::line, "no end yet"},
        ContinuationCase{"prompt_loses_newline", "rest\n", Kind::prompt, "rest"},
        ContinuationCase{"prompt_middle_piece", "rest", Kind::prompt, "rest"},
        ContinuationCase{"zero_byte", "ab\0cd\n"sv, Kind::line, "ab", true},
        ContinuationCase{"prompt_zero_byte", "ab\0cd\n"sv, Kind::prompt, "ab", true}),
    [](const testing::TestParamInfo<ContinuationCase>& info) {
      return std::string(info.param.name);
    });

struct PaceCase {
  int speed;
  std::int32_t delay;
  std::int32_t timeout;
};

void PrintTo(const PaceCase& c, std::ostream* os) {
  *os << "speed " << c.speed << " delay " << c.delay;
}

class Pace : public testing::TestWithParam<PaceCase> {};

TEST_P(Pace, ScalesTheDelay) {
  const PaceCase& c = GetParam();
  Playback pb = playback(c.delay, "");
  pb.speed = c.speed;
  EXPECT_EQ(pace(pb), c.timeout);
  EXPECT_EQ(pb.timeout, c.timeout);
  EXPECT_EQ(pb.raw_delay, c.delay);
  EXPECT_EQ(pb.delay, c.timeout);
}

INSTANTIATE_TEST_SUITE_P(
    SpeedTable, Pace,
    testing::Values(PaceCase{0, 1000, -1}, PaceCase{1, 1000, 5000}, PaceCase{2, 1000, 4000},
                    PaceCase{3, 1000, 3000}, PaceCase{4, 1000, 2000}, PaceCase{5, 1000, 1000},
                    PaceCase{6, 1000, 500}, PaceCase{7, 1000, 250}, PaceCase{8, 1000, 166},
                    PaceCase{9, 1000, 125}, PaceCase{10, 1000, 100}, PaceCase{11, 1000, 83},
                    PaceCase{12, 1000, 71}, PaceCase{13, 1000, 62}, PaceCase{14, 1000, 55},
                    PaceCase{15, 1000, 50}, PaceCase{16, 1000, 45}, PaceCase{17, 1000, 41},
                    PaceCase{18, 1000, 38}, PaceCase{19, 1000, 35}, PaceCase{20, 1000, 33}));

INSTANTIATE_TEST_SUITE_P(Edges, Pace,
                         testing::Values(PaceCase{5, 0, 0}, PaceCase{0, 0, -1},
                                         PaceCase{0, -1000, -1}, PaceCase{5, -4, -4},
                                         PaceCase{2, -4, -16},
                                         // division truncates toward zero
                                         PaceCase{6, -7, -3}, PaceCase{20, 29, 0},
                                         PaceCase{20, -29, 0},
                                         // products saturate
                                         PaceCase{1, 500000000, kMax}, PaceCase{1, kMax, kMax},
                                         PaceCase{4, -1500000000, kMin}, PaceCase{1, kMin, kMin},
                                         PaceCase{20, kMin, kMin / 30}));

TEST(Pace, CarriedDelayIsScaledAgainByTheNextLine) {
  struct Step {
    std::string_view bytes;
    std::int32_t raw;
    std::int32_t timeout;
  };
  struct Run {
    int speed;
    Step steps[4];
  };
  const Run runs[] = {
      {5,
       {{"sleep 1000\n", 1000, 1000},
        {"#\n", 100000, 100000},
        {"junk\n", 100000, 100000},
        {"line x\n", 0, 0}}},
      {7, {{"sleep 1000\n", 1000, 250}, {"junk\n", 250, 62}, {"\n", 62, 15}, {"#2 x\n", 200, 50}}},
      {4,
       {{"sleep 1000\n", 1000, 2000},
        {"junk\n", 2000, 4000},
        {"sleep\n", 4000, 8000},
        {"prompt >\n", 0, 0}}},
      {0, {{"sleep 1000\n", 1000, -1}, {"junk\n", -1, -1}, {"#\n", -1, -1}, {"line\n", 0, -1}}},
  };
  for (const Run& run : runs) {
    Playback pb;
    pb.speed = run.speed;
    for (const Step& step : run.steps) {
      SCOPED_TRACE(testing::Message() << "speed " << run.speed << ": " << step.bytes);
      interpret(step.bytes, pb);
      EXPECT_EQ(pace(pb), step.timeout);
      EXPECT_EQ(pb.raw_delay, step.raw);
    }
  }
}

TEST(ClampSpeed, HoldsWithinRange) {
  const std::pair<int, int> cases[] = {{0, 0},
                                       {5, 5},
                                       {20, 20},
                                       {-1, 0},
                                       {21, 20},
                                       {std::numeric_limits<int>::min(), 0},
                                       {std::numeric_limits<int>::max(), 20}};
  for (const auto& [in, out] : cases) EXPECT_EQ(clamp_speed(in), out) << in;
}

}  // namespace
}  // namespace reading
