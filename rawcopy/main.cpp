// rawcopy: copies files, or standard input, to standard output, unbuffered.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "plumbing/descriptors.hpp"
#include "plumbing/same_file.hpp"
#include "rawcopy/copy.hpp"

using rawcopy::copy_result;

namespace {

constexpr const char* kWriteError = "write error";

void complain(const char* what) {
  plumbing::report("rawcopy: %s: %s\n", what, std::strerror(errno));
}

copy_result copy(const char* name, int fd) {
  // Copying a file into itself through standard output could grow it for ever.
  if (plumbing::output_reads_back(fd, STDOUT_FILENO)) {
    plumbing::report("rawcopy: %s: it is standard output\n", name);
    return copy_result::read_failed;
  }
  const copy_result r = rawcopy::copy_descriptor(fd);
  if (r != copy_result::done) complain(r == copy_result::write_failed ? kWriteError : name);
  return r;
}

copy_result copy_named(const char* name) {
  // Read and write, so that a FIFO opens without waiting for a writer.
  plumbing::Descriptor fd(plumbing::open_file(name, O_RDWR));
  if (!fd.valid()) {
    complain(name);
    return copy_result::read_failed;
  }
  return copy(name, fd.get());
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!plumbing::guard_standard_descriptors()) {
    complain("standard descriptors");
    return 1;
  }
  // Output that cannot be written, a closed one included, fails before any input is opened.
  const int out_mode = fcntl(STDOUT_FILENO, F_GETFL);
  if (out_mode == -1 || (out_mode & O_ACCMODE) == O_RDONLY) {
    errno = EBADF;
    complain(kWriteError);
    return 1;
  }
  int status = 0;
  if (argc < 2) {
    status = copy("-", STDIN_FILENO) == copy_result::done ? 0 : 1;
  } else {
    for (int i = 1; i < argc; ++i) {
      const copy_result r = copy_named(argv[i]);
      if (r == copy_result::write_failed) return 1;
      if (r != copy_result::done) status = 1;
    }
  }
  // Some file systems report a failed write only when the file is closed.
  if (!plumbing::close_checked(STDOUT_FILENO)) {
    complain(kWriteError);
    return 1;
  }
  return status;
}
