// The programs' standard descriptors, and every file they open, read or write through a
// descriptor: the start-up guard, the opening that keeps a closed standard descriptor closed
// under any name, a descriptor that closes itself, one write-all and one checked close.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <string_view>

namespace plumbing {

// Called first thing in main, before any file is opened. A standard descriptor the caller
// left closed would go to the next file the program opens, and what is meant for standard
// output or standard error would land in that file; so each closed one is held, on an object
// that fails as a closed descriptor does: standard input cannot be read, standard output and
// standard error cannot be written. On Linux that object is one end of a pipe of the
// program's own, so that no name can reach it but the held descriptor's own (/dev/stdin,
// /dev/fd/N, /proc/self/fd/N, ...) and open_file knows them all; elsewhere it is /dev/null,
// and open_file knows the names /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N and
// /proc/self/fd/N. Descriptors already open are left as they are. False, with errno set, when
// one could not be held: the caller must then stop before opening anything.
[[nodiscard]] bool guard_standard_descriptors();

// True when descriptor 0, 1 or 2 was closed at start and is only held.
bool held(int fd);

// The standard descriptor that `path` names by one of the well-known spellings, or -1.
int standard_descriptor_named(std::string_view path);

// open(2), repeated when interrupted, close-on-exec, but a name that reaches a standard
// descriptor closed at start fails as that closed descriptor would (EBADF).
int open_file(const char* path, int flags, mode_t mode = 0);

// Everything written, an interrupted write repeated; false (errno set) on an error or a
// write that takes nothing, which would otherwise be tried for ever.
inline bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// close(2), where an interruption is a failure too: what was written may not have reached
// the file, and the descriptor is gone either way.
bool close_checked(int fd);

// Formats a message (printf's way) and writes it to standard error with write_all, so that
// a standard error that takes nothing loses the message rather than hangs the program.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr std::size_t kWriterBufferSize = std::size_t{64} * 1024;

// Bytes gathered in a fixed buffer and written with write_all when it fills or is flushed.
// The first failure sticks.
class Writer {
 public:
  explicit Writer(int fd) : fd_(fd) {}
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  // False once writing has failed.
  bool write(std::string_view bytes);
  bool flush();

 private:
  int fd_;
  std::array<char, kWriterBufferSize> buf_;  // only what is written is read
  std::size_t used_ = 0;
  bool failed_ = false;
};

// Owns a descriptor and closes it on every way out.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor over (to a stream that closes it); -1 is left behind.
  int release();
  // Closes it now, checked.
  bool close();

 private:
  int fd_ = -1;
};

}  // namespace plumbing
