#include "reading/pieces.hpp"

#include <unistd.h>

#include <algorithm>
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
    if (nl != nullptr || held >= limit_ || at_end) {
      std::size_t n =
          nl == nullptr ? held : static_cast<std::size_t>(static_cast<const char*>(nl) - start) + 1;
      n = std::min(n, limit_);
      begin_ += n;
      offset_ += static_cast<std::int64_t>(n);
      return {start, n};
    }
    std::memmove(buf_.data(), start, held);
    begin_ = 0;
    end_ = held;
    const long n = read_some(buf_.data() + end_, limit_ - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      failed_ = n < 0;
      at_end = true;
    }
  }
}

long Pieces::read_some(char* to, std::size_t n) {
  if (fd_ >= 0 && at_ >= memory_.size()) return static_cast<long>(::read(fd_, to, n));
  n = std::min(n, memory_.size() - std::min(at_, memory_.size()));
  std::memcpy(to, memory_.data() + at_, n);
  at_ += n;
  return static_cast<long>(n);
}

std::int64_t Pieces::end_of_file() {
  if (fd_ >= 0) return ::lseek(fd_, 0, SEEK_END);
  return static_cast<std::int64_t>(memory_.size());
}

bool Pieces::go_to(std::int64_t offset) {
  if (fd_ >= 0) {
    // A pipe cannot seek: it goes on from the sample it holds.
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    at_ = memory_.size();
    return true;
  }
  at_ = static_cast<std::size_t>(offset);
  return true;
}

bool Pieces::seek(std::int64_t offset) {
  // A file cut short since it was measured ends where it ends now: no offset beyond it.
  const std::int64_t end = end_of_file();
  if (end >= 0 && offset > end) offset = end;
  if (offset < 0 || !go_to(offset)) return false;
  begin_ = end_ = 0;
  offset_ = offset;
  failed_ = false;
  return true;
}

}  // namespace reading
