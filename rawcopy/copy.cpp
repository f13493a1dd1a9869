#include "rawcopy/copy.hpp"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>

#include "plumbing/descriptors.hpp"

namespace rawcopy {
namespace {

std::array<char, 4096> buffer;

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
    if (!plumbing::write_all(out, {buffer.data(), static_cast<std::size_t>(n)}))
      return copy_result::write_failed;
  }
}

}  // namespace rawcopy
