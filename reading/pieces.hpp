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

inline constexpr std::size_t kPieceBufferSize = std::size_t{64} * 1024;

class Pieces {
 public:
  // `limit` caps a piece below the buffer's size (the fuzzer cuts records small with it).
  explicit Pieces(int fd, std::size_t limit = kPieceBufferSize) : fd_(fd), limit_(clamp(limit)) {}
  // Reads `already_read`, the bytes a sample took from the start of `fd`, then goes on with
  // `fd`: a pipe is read once. A seek forgets them and reads the descriptor.
  Pieces(int fd, std::string_view already_read, std::size_t limit = kPieceBufferSize)
      : fd_(fd), memory_(already_read), limit_(clamp(limit)) {}
  // Reads bytes held in memory as if they were a file (for tests and fuzzers).
  explicit Pieces(std::string_view bytes, std::size_t limit = kPieceBufferSize)
      : memory_(bytes), limit_(clamp(limit)) {}

  // The next piece; empty at the end of the input or after a read error.
  std::string_view next();
  bool failed() const { return failed_; }
  // The offset just after the last piece handed out.
  std::int64_t offset() const { return offset_; }
  // Goes to `offset` from the start, or to the end when the file is shorter; false when the
  // descriptor cannot seek.
  bool seek(std::int64_t offset);

 private:
  static constexpr std::size_t clamp(std::size_t limit) {
    return limit < 1 ? 1 : limit > kPieceBufferSize ? kPieceBufferSize : limit;
  }
  long read_some(char* to, std::size_t n);
  std::int64_t end_of_file();
  bool go_to(std::int64_t offset);

  int fd_ = -1;
  std::string_view memory_;  // the bytes read before the descriptor's, or the whole input
  std::size_t at_ = 0;       // in memory_: the next byte a read gives
  std::size_t limit_;
  std::array<char, kPieceBufferSize> buf_;  // only what a read filled is looked at
  std::size_t begin_ = 0;                   // the next unread byte
  std::size_t end_ = 0;                     // one past the last byte read
  std::int64_t offset_ = 0;
  bool failed_ = false;
};

}  // namespace reading
