// The movie file format: one record per line, each ending with a newline.
// Readers share these names and units; each keeps its own parsing rules.
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

// An annotation record: the mark, a count, a space, then text.
inline constexpr char kAnnotationMark = '#';

inline constexpr char kRecordEnd = '\n';

// Sleep counts are milliseconds; annotation counts are tenths of a second.
inline constexpr int kMillisecondsPerAnnotationUnit = 100;

}  // namespace movie
