#include "format/standard_descriptors.hpp"
#include "rawcopy/copy.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using rawcopy::copy_result;

static void complain(const char* what) {
  std::fprintf(stderr, "rawcopy: %s: %s\n", what, std::strerror(errno));
}

static copy_result copy(const char* name, int fd) {
  const copy_result r = rawcopy::copy_descriptor(fd);
  if (r != copy_result::done) complain(r == copy_result::write_failed ? "write error" : name);
  return r;
}

int main(int argc, char* argv[]) {
  if (!vorlan::guard_standard_descriptors()) return complain("/dev/null"), 1;
  // Output that cannot be written, a closed one included, fails before any input is opened.
  const int out_mode = fcntl(1, F_GETFL);
  if (out_mode == -1 || (out_mode & O_ACCMODE) == O_RDONLY) {
    errno = EBADF;
    return complain("write error"), 1;
  }
  if (argc < 2) return copy("-", 0) == copy_result::done ? 0 : 1;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const int fd = open(argv[i], O_RDWR);
    const copy_result r =
        fd == -1 ? (complain(argv[i]), copy_result::read_failed) : copy(argv[i], fd);
    if (r == copy_result::write_failed) return 1;
    if (r != copy_result::done) status = 1;
    if (fd != -1) close(fd);
  }
  return status;
}
