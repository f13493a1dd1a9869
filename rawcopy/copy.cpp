#include "rawcopy/copy.hpp"

#include <array>
#include <cerrno>
#include <cstddef>

#include <unistd.h>

namespace rawcopy {
namespace {

std::array<char, 4096> buffer;

bool write_all(int out, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = write(out, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

}  // namespace

copy_result copy_descriptor(int in, int out) {
  for (;;) {
    const ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return copy_result::read_failed;
    }
    if (n == 0) return copy_result::done;
    // Whatever one read returns goes out before the next read, so slow input is not held back.
    if (!write_all(out, buffer.data(), static_cast<std::size_t>(n)))
      return copy_result::write_failed;
  }
}

}  // namespace rawcopy
