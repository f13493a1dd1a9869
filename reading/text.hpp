// A record's text as the viewer shows it: the colour escapes it knows become the pen's
// colour and bold, every other escape is dropped, a carriage return that ends the line is
// dropped, and the remaining bytes are decoded into characters. Each character is handed to
// `put(char32_t, Style)`; control characters are handed on as they are, for the writer to
// show. Everything is carried from one piece to the next, so a record cut anywhere reads as
// if whole.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "reading/charset.hpp"
#include "reading/decode.hpp"
#include "reading/interpret.hpp"

namespace reading {

inline constexpr int kColours = 16;  // colour numbers with a colour of their own

// How characters are drawn. pair: the colour pair of the last colour escape, by the rule of
// curses' attribute-on: the colour number's low 8 bits, where 0 changes nothing.
struct Style {
  std::uint8_t pair = 0;
  bool bold = false;
  bool reverse = false;
  friend bool operator==(const Style&, const Style&) = default;
};

// Where the escape parser stands.
enum class Escape : std::uint8_t {
  text,           // not in an escape
  after_esc,      // ESC seen: "[" or anything else decides
  parameters,     // ESC "[" seen: the first parameter character decides
  number_space,   // "3" or "9": white space before the number
  number_sign,    // a sign read; digits must follow
  number_digits,  // digits being read
  skip,           // passing over everything up to the first "m"
};

struct TextState {
  Style pen;                   // lives for the whole run, like a window's attributes
  std::int32_t colour = 0;     // the number last read from a colour escape; whole run
  Charset* charset = nullptr;  // the movie's set for the whole run; none: the default rule
  // Within one record: the escape being read, the character being gathered, and a carriage
  // return waiting to see whether the line ends after it. Bytes held for a character keep
  // the look they were read in.
  Escape escape = Escape::text;
  bool bright = false;
  bool negative = false;
  bool digits = false;
  std::int64_t number = 0;
  Utf8 utf8;
  Style utf8_style;                            // of the sequence's first byte
  std::array<unsigned char, kHeldMax> held{};  // a named set's character not yet whole
  std::array<Style, kHeldMax> held_styles{};
  std::uint8_t held_count = 0;
  bool cr_held = false;
};

namespace detail {

inline constexpr char kEsc = 0x1b;

// The escape parser, one byte: true when the byte is text to decode.
bool escape_byte(char c, TextState& st);

// The record's text ended inside an escape: a number being read takes effect.
void end_escape(TextState& st);

constexpr bool named(const TextState& st) {
  return st.charset != nullptr && !st.charset->is_default();
}

// Today's rule, one byte. A sequence is shown in the look of its first byte.
template <class Put>
void utf8_byte(unsigned char b, TextState& st, Style style, Put& put) {
  const auto held = [&](char32_t ch) { put(ch, st.utf8_style); };
  if (st.utf8.count != 0 && !detail::fits(st.utf8, b)) flush(st.utf8, held);
  if (st.utf8.count == 0) st.utf8_style = style;
  decode_byte(b, st.utf8, held);
}

// Takes the first n held bytes off.
void drop_held(TextState& st, std::size_t n);

// A named set's held bytes, one character at a time: a character in the look of its first
// byte, an undecodable byte as U+FFFD in its own. An incomplete character waits for more
// unless the text has ended (`last`).
template <class Put>
void resolve_held(TextState& st, bool last, Put& put) {
  std::array<char32_t, 1> one{};
  while (st.held_count != 0) {
    const Converted c = st.charset->convert(st.held.data(), st.held_count, one.data(), 1);
    if (c.chars == 1) {
      put(one[0], st.held_styles[0]);
      drop_held(st, c.used);
      continue;
    }
    if (c.stop == Converted::incomplete && !last && st.held_count < kHeldMax) return;
    if (c.stop == Converted::ok && c.used != 0) {  // bytes that stand for no character
      drop_held(st, c.used);
      continue;
    }
    put(kReplacement, st.held_styles[0]);
    drop_held(st, 1);
  }
}

inline constexpr std::size_t kConvertChunk = 512;

// A named set: a run of text bytes read in one look, converted by runs; a character cut at
// the run's end is held for the next run.
template <class Put>
void multibyte_run(const unsigned char* p, std::size_t n, Style style, TextState& st, Put& put) {
  while (st.held_count != 0 && n != 0) {
    st.held[st.held_count] = *p++;
    st.held_styles[st.held_count++] = style;
    --n;
    resolve_held(st, false, put);
  }
  std::array<char32_t, kConvertChunk> out;  // NOLINT(cppcoreguidelines-pro-type-member-init)
  while (n != 0) {
    const Converted c = st.charset->convert(p, n, out.data(), out.size());
    for (std::size_t k = 0; k < c.chars; ++k) put(out[k], style);
    p += c.used;
    n -= c.used;
    if (c.stop == Converted::incomplete && n <= kHeldMax) {
      std::copy(p, p + n, st.held.begin());
      std::fill_n(st.held_styles.begin(), n, style);
      st.held_count = static_cast<std::uint8_t>(n);
      return;
    }
    if (c.stop != Converted::ok || (c.used == 0 && n != 0)) {
      put(kReplacement, style);
      ++p;
      --n;
    }
  }
}

// Bytes of text read in one look, by the movie's rule.
template <class Put>
void decode_run(std::string_view run, TextState& st, Style style, Put& put) {
  if (named(st)) {
    multibyte_run(reinterpret_cast<const unsigned char*>(run.data()), run.size(), style, st, put);
    return;
  }
  for (const char c : run) utf8_byte(static_cast<unsigned char>(c), st, style, put);
}

// The text has ended: what is held is shown, each byte in its own look.
template <class Put>
void flush_held(TextState& st, Put& put) {
  if (named(st)) {
    resolve_held(st, true, put);
  } else {
    flush(st.utf8, [&](char32_t ch) { put(ch, st.utf8_style); });
  }
}

template <class Put>
void decode_text_byte(char c, TextState& st, Style style, Put& put) {
  decode_run({&c, 1}, st, style, put);
}

// A carriage return is held until a later byte shows whether it ends the line: escapes and
// further returns before the newline are part of the line end too. Where escapes are read, a
// return inside one goes to it.
template <class Pass>
void line_end_byte(char c, TextState& st, bool escapes, Pass&& pass) {
  const bool escape = escapes && (c == kEsc || st.escape != Escape::text);
  if (st.cr_held) {
    if (c == '\r') return;
    if (escape) {
      pass(c);
      return;
    }
    st.cr_held = false;
    if (c != '\n') pass('\r');
  }
  if (c == '\r' && !escape) {
    st.cr_held = true;
    return;
  }
  pass(c);
}

constexpr bool is_plain(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 0x20 && u < 0x7F;
}

// Where the run of printable ASCII from `i` ends, eight bytes at a time while they all are.
inline std::size_t plain_end(std::string_view s, std::size_t i) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  while (s.size() - i >= sizeof(std::uint64_t)) {
    std::uint64_t w = 0;
    std::memcpy(&w, s.data() + i, sizeof w);
    const std::uint64_t below = (w - kOnes * 0x20) & ~w;  // a byte under 0x20
    const std::uint64_t above = (w + kOnes) | w;          // a byte over 0x7E
    if (((below | above) & kHigh) != 0) break;
    i += sizeof w;
  }
  while (i < s.size() && is_plain(s[i])) ++i;
  return i;
}

}  // namespace detail

// One piece of a line or prompt record's text. The text ends at its first zero byte: the
// caller hands over only what comes before it. A writer may take a run of printable ASCII
// whole: `put.ascii(std::string_view, Style)`.
template <class Put>
void text_piece(std::string_view piece, TextState& st, Put&& put) {
  std::size_t i = 0;
  const bool named = detail::named(st);
  while (i < piece.size()) {
    // A named set's text between escapes and returns goes to its converter by runs (an
    // ASCII byte there may end a double-byte character).
    if (named && st.escape == Escape::text && !st.cr_held) {
      std::size_t end = i;
      while (end < piece.size() && piece[end] != detail::kEsc && piece[end] != '\r') ++end;
      if (end > i) {
        detail::decode_run(piece.substr(i, end - i), st, st.pen, put);
        i = end;
        continue;
      }
    }
    // Most of a movie is printable ASCII outside any escape: straight through, by runs.
    if (!named && st.escape == Escape::text && st.utf8.count == 0 && !st.cr_held) {
      const std::size_t end = detail::plain_end(piece, i);
      if (end > i) {
        const std::string_view run = piece.substr(i, end - i);
        if constexpr (requires { put.ascii(run, st.pen); }) {
          put.ascii(run, st.pen);
        } else {
          for (const char c : run)
            put(static_cast<char32_t>(static_cast<unsigned char>(c)), st.pen);
        }
        i = end;
        continue;
      }
    }
    detail::line_end_byte(piece[i++], st, true, [&](char b) {
      if (detail::escape_byte(b, st)) detail::decode_text_byte(b, st, st.pen, put);
    });
  }
}

// An annotation's text: decoded, no escapes read; drawn in reverse video.
template <class Put>
void annotation_piece(std::string_view piece, TextState& st, Put&& put) {
  Style style = st.pen;
  style.reverse = true;
  std::size_t i = 0;
  while (i < piece.size()) {
    if (!st.cr_held) {
      const std::size_t end = std::min(piece.find('\r', i), piece.size());
      if (end > i) {
        detail::decode_run(piece.substr(i, end - i), st, style, put);
        i = end;
        continue;
      }
    }
    detail::line_end_byte(piece[i++], st, false,
                          [&](char b) { detail::decode_text_byte(b, st, style, put); });
  }
}

// The record's text (of a line, prompt or annotation) is complete. A carriage return still
// held ends a prompt (its newline was taken off: the return is its line end) but not a line
// or an annotation, whose line end is their newline. An escape still open ends here; a
// character still gathered shows byte by byte, each in its own look.
template <class Put>
void text_end(TextState& st, Kind kind, Put&& put) {
  Style style = st.pen;
  style.reverse = kind == Kind::annotation;
  detail::end_escape(st);
  detail::flush_held(st, put);
  if (st.cr_held && kind != Kind::prompt) put(U'\r', style);
  st.cr_held = false;
}

// A string of movie bytes decoded afresh by the movie's set (none: the default rule), every byte
// as text: for what is shown apart from its record, such as the command word.
template <class Emit>
void decode_text(std::string_view bytes, Charset* charset, Emit&& emit) {
  TextState st;
  st.charset = charset;
  const auto put = [&](char32_t c, Style /*style*/) { emit(c); };
  detail::decode_run(bytes, st, Style{}, put);
  detail::flush_held(st, put);
}

// Text of the program's own (reports, marks): plain ASCII in the given style.
template <class Put>
void put_ascii(std::string_view s, Style style, Put&& put) {
  for (const char c : s) put(static_cast<char32_t>(static_cast<unsigned char>(c)), style);
}

}  // namespace reading
