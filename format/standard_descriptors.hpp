// The start-up guard every program calls first thing in main, before it opens any file.
#pragma once

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace vorlan {

// A standard descriptor the caller left closed would go to the next file the program opens,
// and what is meant for standard output or standard error would then land in that file. Each
// closed one is taken by /dev/null, opened so that using it still fails as a closed one does:
// standard input write-only (reading it is an error), standard output read-only (writing it
// is an error), standard error write-only (a message is just lost). Descriptors already open
// are left as they are. False, with errno set, when one could not be taken: the caller must
// then stop before opening anything.
[[nodiscard]] inline bool guard_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", fd == STDOUT_FILENO ? O_RDONLY : O_WRONLY);
    if (held == fd) continue;
    // The lowest free descriptor is this one, unless another thread took it first.
    if (held != -1) {
      close(held);
      errno = EBADF;
    }
    return false;
  }
  return true;
}

}  // namespace vorlan
