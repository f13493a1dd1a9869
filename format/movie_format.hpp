// The movie file format: one record per line, each ending with a newline.
// Readers share these names, units and character classes; each keeps its own parsing rules.
#pragma once

#include <string_view>

namespace movie {

// A keyword record is its keyword, one space, then the payload up to the newline.
inline constexpr std::string_view kLine = "line";
inline constexpr std::string_view kPrompt = "prompt";
inline constexpr std::string_view kSleep = "sleep";

// The keyword and its space together: the payload starts right after them.
inline constexpr std::string_view kLinePrefix = "line ";
inline constexpr std::string_view kPromptPrefix = "prompt ";
inline constexpr std::string_view kSleepPrefix = "sleep ";

// An annotation record: this character, a count, a space, then text.
inline constexpr char kAnnotationStart = '#';

inline constexpr char kRecordEnd = '\n';

// Sleep counts are milliseconds; annotation counts are tenths of a second.
inline constexpr int kMillisecondsPerAnnotationUnit = 100;

// The C locale's white space and digits, which counts are read over, whatever the locale.
constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace movie
