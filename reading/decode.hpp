// Movie bytes to characters: a valid UTF-8 sequence is one character; any other byte is the
// character windows-1252 gives it (its five undefined bytes: U+FFFD). Movies come from
// clients of every age, so both kinds of text are met, often in one file.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace reading {

inline constexpr char32_t kReplacement = 0xFFFD;

// The character of one byte read as windows-1252.
char32_t windows1252(unsigned char byte);

// The bytes of a UTF-8 sequence not yet complete, carried from one piece to the next.
struct Utf8 {
  std::array<unsigned char, 4> held{};
  std::uint8_t count = 0;  // bytes held
  std::uint8_t need = 0;   // bytes the whole sequence takes
  char32_t value = 0;      // the bits gathered so far
};

namespace detail {

// The bytes a sequence starting with `lead` takes, 0 when it cannot start one.
constexpr int sequence_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The second byte is narrowed so that overlong forms, surrogates and values past U+10FFFF
// are not valid; later bytes are any continuation byte.
constexpr bool fits(const Utf8& st, unsigned char b) {
  if (st.count == 1) {
    switch (st.held[0]) {
      case 0xE0: return b >= 0xA0 && b <= 0xBF;
      case 0xED: return b >= 0x80 && b <= 0x9F;
      case 0xF0: return b >= 0x90 && b <= 0xBF;
      case 0xF4: return b >= 0x80 && b <= 0x8F;
      default: break;
    }
  }
  return b >= 0x80 && b <= 0xBF;
}

}  // namespace detail

// A held sequence that cannot be completed: each of its bytes is windows-1252.
template <class Emit>
void flush(Utf8& st, Emit&& emit) {
  for (std::uint8_t i = 0; i < st.count; ++i) emit(windows1252(st.held[i]));
  st.count = 0;
  st.need = 0;
}

template <class Emit>
void decode_byte(unsigned char b, Utf8& st, Emit&& emit) {
  if (st.count != 0) {
    if (detail::fits(st, b)) {
      st.held[st.count++] = b;
      st.value = (st.value << 6) | (b & 0x3Fu);
      if (st.count == st.need) {
        st.count = 0;
        st.need = 0;
        emit(st.value);
      }
      return;
    }
    flush(st, emit);  // then `b` starts afresh
  }
  if (b < 0x80) {
    emit(static_cast<char32_t>(b));
    return;
  }
  const int n = detail::sequence_length(b);
  if (n == 0) {
    emit(windows1252(b));
    return;
  }
  st.held[0] = b;
  st.count = 1;
  st.need = static_cast<std::uint8_t>(n);
  st.value = b & (0x7Fu >> n);
}

template <class Emit>
void decode(std::string_view bytes, Utf8& st, Emit&& emit) {
  for (const char c : bytes) decode_byte(static_cast<unsigned char>(c), st, emit);
}

}  // namespace reading
