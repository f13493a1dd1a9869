// What both exporters make of a character from the reading: the characters it shows as, its
// look (colour, bold, reverse), and its UTF-8 bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "reading/shown.hpp"
#include "reading/text.hpp"

namespace exporter {

inline constexpr int kWhite = 7;
using reading::kCellMarks;
using reading::kTabStop;

// The controls that make a browser reorder text. The viewer's terminal draws characters in
// the order they come and these take no column there, so the writers leave them out.
constexpr bool is_bidi_control(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// How a character looks. colour: 0 the default look, 1..15 a colour of the 16-colour
// palette (8..15 the bright ones). Colour pairs beyond the palette look like plain white, so
// two pairs that look the same compare equal and no span or escape separates them.
struct Look {
  int colour = 0;
  bool bold = false;
  bool reverse = false;
  friend bool operator==(const Look&, const Look&) = default;
};

constexpr Look look_of(reading::Style style) {
  const int colour = style.pair < reading::kColours ? style.pair : kWhite;
  return {colour, style.bold, style.reverse};
}

// Hands `emit` the characters `c` shows as: tab and newline as they are (the writers give
// them their own form), control characters as two visible ones, noncharacters as U+FFFD,
// bidirectional controls as nothing, wherever the text goes (a title, a chapter's name).
template <class Emit>
void show(char32_t c, Emit&& emit) {
  if (is_bidi_control(c)) return;
  const reading::Shown s = reading::shown(c);
  if (s.count == 0) {
    emit(c);
    return;
  }
  for (int i = 0; i < s.count; ++i) emit(s.chars[static_cast<std::size_t>(i)]);
}

constexpr bool is_plain_ascii(char32_t c) { return c >= 0x20 && c < 0x7F; }

using reading::columns;

// Whether eight bytes below 0x80, read as a word, hold one above `low` and below `high`
// (both at most 0x80): a writer passes over words with nothing to escape in a few steps.
constexpr bool has_between(std::uint64_t w, std::uint64_t low, std::uint64_t high) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kLow7 = kOnes * 0x7F;
  const std::uint64_t seven = w & kLow7;
  return (((kOnes * (0x7F + high) - seven) & ~w & (seven + kOnes * (0x7F - low))) &
          (kOnes * 0x80)) != 0;
}

// A set of bytes, looked up in one step: the writers find what they escape in long runs.
class ByteSet {
 public:
  explicit constexpr ByteSet(std::string_view bytes) {
    for (const char c : bytes) in_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool has(char c) const { return in_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> in_{};
};

// Printable ASCII with some bytes to escape: the runs between them go to `plain` whole and
// each such byte to `escape`. `may_hold(word)` tells whether eight bytes may hold one, so
// most words are passed over in one step.
template <class MayHold, class Plain, class Escape>
void split_escapes(std::string_view run, const ByteSet& special, MayHold may_hold, Plain plain,
                   Escape escape) {
  std::size_t from = 0;
  std::size_t i = 0;
  while (i < run.size()) {
    std::uint64_t w = 0;
    if (run.size() - i >= sizeof w) {
      std::memcpy(&w, run.data() + i, sizeof w);
      if (!may_hold(w)) {
        i += sizeof w;
        continue;
      }
    }
    for (const std::size_t stop = std::min(run.size(), i + sizeof w); i < stop; ++i) {
      if (special.has(run[i])) {
        plain(run.substr(from, i - from));
        escape(run[i]);
        from = i + 1;
      }
    }
  }
  plain(run.substr(from));
}

// A short text of the writer's own (a time, a size), held in place.
struct Phrase {
  std::array<char, 32> chars{};
  std::size_t size = 0;
  std::string_view view() const { return {chars.data(), size}; }
};

// The UTF-8 form of a character (the reading hands on only valid scalar values).
struct Utf8Bytes {
  std::array<char, 4> bytes{};
  std::size_t size = 0;
  std::string_view view() const { return {bytes.data(), size}; }
};

constexpr Utf8Bytes utf8(char32_t c) {
  Utf8Bytes u;
  const auto byte = [&](std::uint32_t b) { u.bytes[u.size++] = static_cast<char>(b); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
  return u;
}

// The last component of a path, as a title: a movie is known by its file name.
constexpr std::string_view file_name(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return name.empty() ? path : name;
}

// A file name's characters, decoded as movie text is and shown the same way, so that no
// byte of a name can break the page or the cast that carries it.
template <class Emit>
void show_name(std::string_view name, Emit&& emit) {
  reading::Utf8 st;
  const auto each = [&](char32_t c) { show(c, emit); };
  reading::decode(name, st, each);
  reading::flush(st, each);
}

}  // namespace exporter
