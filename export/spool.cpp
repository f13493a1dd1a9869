#include "export/spool.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace exporter {
namespace {

// An unnamed temporary file: made in TMPDIR (or /tmp) and unlinked at once, so that it goes
// away with the descriptor however the program ends.
int temporary_file() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  path += "/vorlan-tohtml.XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return -1;
  ::unlink(path.c_str());
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
}

}  // namespace

Spool::~Spool() {
  if (fd_ >= 0) ::close(fd_);
}

bool Spool::drain(void* context, std::string_view bytes) {
  auto* spool = static_cast<Spool*>(context);
  if (spool->to_ != nullptr) {
    spool->to_->write(bytes);
    return !spool->to_->failed();
  }
  if (spool->fd_ < 0) spool->fd_ = temporary_file();
  return spool->fd_ >= 0 && drain_to_descriptor(&spool->fd_, bytes);
}

bool Spool::copy_to(Output& to) {
  if (fd_ < 0) {
    // All of it is still in memory.
    to_ = &to;
    const bool ok = out_.flush();
    to_ = nullptr;
    return ok;
  }
  if (!out_.flush() || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
  std::array<char, kOutputBufferSize> block;  // only what a read filled is looked at
  for (;;) {
    const ssize_t n = ::read(fd_, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    to.write({block.data(), static_cast<std::size_t>(n)});
  }
}

}  // namespace exporter
