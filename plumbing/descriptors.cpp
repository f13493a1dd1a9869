#include "plumbing/descriptors.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace plumbing {
namespace {

constexpr int kStandardCount = 3;
constexpr std::size_t kMessageMax = 8192;  // a message and a path name or two

// Set once by the guard, before any file is opened; read by every later open.
struct Held {
  std::array<bool, kStandardCount> closed{};
  bool any = false;
  dev_t dev = 0;  // the object that holds them, where it is a pipe of the program's own
  ino_t ino = 0;
};
Held held_state;

#if defined(__linux__)
// On Linux a pipe's ends go one way each: the write end cannot be read nor the read end
// written, which is what a closed descriptor gives. (Elsewhere a pipe may go both ways.)
bool hold_on_pipe() {
  std::array<int, 2> ends{};
  if (::pipe(ends.data()) != 0) return false;
  // Either end may have taken a closed standard descriptor: move both above them first.
  for (int& end : ends) {
    if (end > STDERR_FILENO) continue;
    const int moved = ::fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(end);
    end = moved;
  }
  bool ok = ends[0] >= 0 && ends[1] >= 0;
  for (int fd = STDIN_FILENO; ok && fd <= STDERR_FILENO; ++fd) {
    if (!held_state.closed[fd]) continue;
    // Standard input is held on the write end, so reading it fails; the others on the read
    // end, so writing them fails (and never waits on a full pipe or raises SIGPIPE).
    ok = ::dup2(fd == STDIN_FILENO ? ends[1] : ends[0], fd) == fd;
  }
  struct stat st {};
  ok = ok && ::fstat(ends[0], &st) == 0;
  held_state.dev = st.st_dev;
  held_state.ino = st.st_ino;
  const int error = errno;
  for (const int end : ends) {
    if (end >= 0) ::close(end);
  }
  errno = error;
  return ok;
}

bool is_holder(const struct stat& st) {
  return held_state.any && S_ISFIFO(st.st_mode) && st.st_dev == held_state.dev &&
         st.st_ino == held_state.ino;
}

// Any name that reaches the pipe reaches a held descriptor: only they hold it.
bool names_held(const char* path) {
  struct stat st {};
  return held_state.any && ::stat(path, &st) == 0 && is_holder(st);
}
#else
// Each closed one is taken by /dev/null, opened the other way round from its use.
bool hold_on_null() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (!held_state.closed[fd]) continue;
    const int taken = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (taken == fd) continue;
    // The lowest free descriptor is this one, unless another thread took it first.
    if (taken != -1) {
      ::close(taken);
      errno = EBADF;
    }
    return false;
  }
  return true;
}

bool is_holder(const struct stat&) { return false; }

// /dev/null is anyone's: only the names of the held descriptors themselves are known.
bool names_held(const char* path) {
  const int fd = standard_descriptor_named(path);
  return fd >= 0 && held_state.closed[fd];
}
#endif

}  // namespace

bool guard_standard_descriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    const bool closed = ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
    held_state.closed[fd] = closed;
    held_state.any = held_state.any || closed;
  }
  if (!held_state.any) return true;
#if defined(__linux__)
  return hold_on_pipe();
#else
  return hold_on_null();
#endif
}

bool held(int fd) { return fd >= 0 && fd < kStandardCount && held_state.closed[fd]; }

int standard_descriptor_named(std::string_view path) {
  if (path == "/dev/stdin") return STDIN_FILENO;
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (const std::string_view dir :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/")}) {
    if (!path.starts_with(dir) || path.size() == dir.size()) continue;
    int n = 0;
    for (const char c : path.substr(dir.size())) {
      if (c < '0' || c > '9') return -1;
      n = n * 10 + (c - '0');
      if (n >= kStandardCount) return -1;
    }
    return n;
  }
  return -1;
}

int open_file(const char* path, int flags, mode_t mode) {
  // Looked at before opening: a FIFO open could wait for a peer that never comes.
  if (names_held(path)) {
    errno = EBADF;
    return -1;
  }
  int fd = -1;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  struct stat st {};
  if (fd >= 0 && held_state.any && ::fstat(fd, &st) == 0 && is_holder(st)) {
    ::close(fd);
    errno = EBADF;
    return -1;
  }
  return fd;
}

void report(const char* format, ...) {
  std::array<char, kMessageMax> message{};
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(message.data(), message.size(), format, args);
  va_end(args);
  if (n <= 0) return;
  const std::size_t size = std::min(static_cast<std::size_t>(n), message.size() - 1);
  (void)write_all(STDERR_FILENO, {message.data(), size});
}

bool Writer::write(std::string_view bytes) {
  if (failed_) return false;
  if (bytes.size() > buf_.size() - used_) {
    if (!flush()) return false;
    if (bytes.size() > buf_.size()) {
      failed_ = !write_all(fd_, bytes);
      return !failed_;
    }
  }
  bytes.copy(buf_.data() + used_, bytes.size());
  used_ += bytes.size();
  return true;
}

bool Writer::flush() {
  if (!failed_ && used_ > 0) failed_ = !write_all(fd_, {buf_.data(), used_});
  used_ = 0;
  return !failed_;
}

bool close_checked(int fd) { return ::close(fd) == 0; }

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

int Descriptor::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool Descriptor::close() { return close_checked(release()); }

}  // namespace plumbing
