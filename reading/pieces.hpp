// Reads a movie from a descriptor in pieces: each piece runs to the end of a record (its
// newline included) or to the end of what one buffer holds, so a record of any length comes
// whole, in as many pieces as it needs, with no allocation. Zero bytes are data like any
// other.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace reading {

inline constexpr std::size_t kPieceBufferSize = 64 * 1024;

class Pieces {
 public:
  explicit Pieces(int fd) : fd_(fd) {}

  // The next piece; empty at the end of the input or after a read error.
  std::string_view next();
  bool failed() const { return failed_; }
  // The offset just after the last piece handed out.
  std::int64_t offset() const { return offset_; }
  // Goes to `offset` from the start; false when the descriptor cannot seek.
  bool seek(std::int64_t offset);

 private:
  int fd_;
  std::array<char, kPieceBufferSize> buf_{};
  std::size_t begin_ = 0;  // the next unread byte
  std::size_t end_ = 0;    // one past the last byte read
  std::int64_t offset_ = 0;
  bool failed_ = false;
};

}  // namespace reading
