#include "export/output.hpp"

#include <unistd.h>

#include <cerrno>

namespace exporter {

bool drain_to_descriptor(void* context, std::string_view bytes) {
  const int fd = *static_cast<const int*>(context);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace exporter
