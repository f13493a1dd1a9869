#include "plumbing/pair.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "plumbing/messages.hpp"
#include "plumbing/same_file.hpp"

namespace plumbing {
namespace {

constexpr std::string_view kDash = "-";
constexpr mode_t kNewFileMode = 0666;

// The output, named or standard output, is the input or holds it. A name that cannot be
// looked at is no file yet, so it cannot be the input.
bool is_input(int in_fd, const char* out_path, bool to_stdout) {
  struct stat in {};
  struct stat out {};
  if (::fstat(in_fd, &in) != 0) return false;
  const int found = to_stdout ? ::fstat(STDOUT_FILENO, &out) : ::stat(out_path, &out);
  return found == 0 && writes_over_input(in, out);
}

}  // namespace

bool open_pair(const char* in_path, const char* out_path, Dash dash, Pair& pair) {
  pair.in = Descriptor(open_file(in_path, O_RDONLY));
  if (!pair.in.valid()) {
    report(message::kOpenInput, in_path);
    return false;
  }
  struct stat st {};
  if (::fstat(pair.in.get(), &st) != 0 || S_ISDIR(st.st_mode)) {
    report("%s", message::kReading);
    return false;
  }
  const bool to_stdout = dash == Dash::standard_output && out_path == kDash;
  if (is_input(pair.in.get(), out_path, to_stdout)) {
    report(message::kOutputIsInput, out_path);
    return false;
  }
  if (to_stdout) {
    // Closed at start, it is held so that every write fails as it would.
    pair.out_fd = STDOUT_FILENO;
    return true;
  }
  // Emptied only once the open descriptor itself is known not to be the input: the name may
  // lead elsewhere by now, or may not have been looked at above.
  pair.out = Descriptor(open_file(out_path, O_WRONLY | O_CREAT, kNewFileMode));
  struct stat out {};
  if (!pair.out.valid() || ::fstat(pair.out.get(), &out) != 0) {
    report(message::kOpenOutput, out_path);
    return false;
  }
  if (writes_over_input(st, out)) {
    report(message::kOutputIsInput, out_path);
    return false;
  }
  if (S_ISREG(out.st_mode) && ::ftruncate(pair.out.get(), 0) != 0) {
    report(message::kOpenOutput, out_path);
    return false;
  }
  pair.out_fd = pair.out.get();
  return true;
}

bool close_output(Pair& pair) {
  if (pair.out.valid()) return pair.out.close();
  const int fd = pair.out_fd;
  pair.out_fd = -1;
  return fd >= 0 && close_checked(fd);
}

}  // namespace plumbing
