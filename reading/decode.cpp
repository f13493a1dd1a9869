#include "reading/decode.hpp"

namespace reading {
namespace {

// 0x80..0x9F; every other byte is the code point of the same number.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC,       kReplacement, 0x201A, 0x0192, 0x201E, 0x2026,       0x2020, 0x2021,
    0x02C6,       0x2030,       0x0160, 0x2039, 0x0152, kReplacement, 0x017D, kReplacement,
    kReplacement, 0x2018,       0x2019, 0x201C, 0x201D, 0x2022,       0x2013, 0x2014,
    0x02DC,       0x2122,       0x0161, 0x203A, 0x0153, kReplacement, 0x017E, 0x0178,
};

}  // namespace

char32_t windows1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHigh[byte - 0x80] : static_cast<char32_t>(byte);
}

}  // namespace reading
