#include "reading/pieces.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace reading {

// A piece that does not end its record fills the whole buffer (or ends the input), so the
// first piece of a record holds its keyword and count however the reads fell.
std::string_view Pieces::next() {
  bool at_end = false;
  for (;;) {
    const char* start = buf_.data() + begin_;
    const std::size_t held = end_ - begin_;
    const void* nl = std::memchr(start, '\n', held);
    if (nl != nullptr || held == buf_.size() || at_end) {
      const std::size_t n =
          nl == nullptr ? held : static_cast<std::size_t>(static_cast<const char*>(nl) - start) + 1;
      begin_ += n;
      offset_ += static_cast<std::int64_t>(n);
      return {start, n};
    }
    std::memmove(buf_.data(), start, held);
    begin_ = 0;
    end_ = held;
    const ssize_t n = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      failed_ = n < 0;
      at_end = true;
    }
  }
}

bool Pieces::seek(std::int64_t offset) {
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  begin_ = end_ = 0;
  offset_ = offset;
  failed_ = false;
  return true;
}

}  // namespace reading
