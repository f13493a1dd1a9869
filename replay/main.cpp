// vorlan-replay: replays a movie to standard output in real time. Started as vorlan-totext,
// writes the movie's text to a file with no pauses.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "plumbing/descriptors.hpp"
#include "plumbing/messages.hpp"
#include "plumbing/pair.hpp"
#include "plumbing/same_file.hpp"
#include "replay/records.hpp"

namespace {

int finish(int status, std::FILE* out) {
  if (std::fclose(out) != 0 && status == 0) {
    std::fputs(plumbing::message::kWriting, stderr);
    return 1;
  }
  return status;
}

// A stream over a descriptor the stream then closes; null (the descriptor closed) on failure.
std::FILE* stream(plumbing::Descriptor& fd, const char* mode) {
  std::FILE* s = fdopen(fd.get(), mode);
  if (s != nullptr) fd.release();
  return s;
}

// Replaying into the input's own file would append the transcript to the movie being read.
bool writes_into(int in_fd) {
  struct stat in {};
  return ::fstat(in_fd, &in) == 0 && plumbing::output_reads_back(in, STDOUT_FILENO);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!plumbing::guard_standard_descriptors()) {
    std::fprintf(stderr, "%s: %s\n", plumbing::message::kGuard, std::strerror(errno));
    return 1;
  }
  const replay::Mode mode = replay::mode_from_name(argc > 0 ? argv[0] : nullptr);
  if (mode == replay::Mode::unknown) {
    std::fputs("Please run this program as \"vorlan-replay\" or \"vorlan-totext\"\n", stderr);
    return 1;
  }
  const int args = argc - 1;
  if (mode == replay::Mode::text) {
    if (args != 2) {
      std::fprintf(stderr, "Usage: %s [infile [outfile]]\n", argv[0]);
      return 1;
    }
    plumbing::Pair pair;
    if (!plumbing::open_pair(argv[1], argv[2], plumbing::Dash::file, pair)) return 1;
    std::FILE* in = stream(pair.in, "rb");
    std::FILE* out = in == nullptr ? nullptr : stream(pair.out, "wb");
    if (out == nullptr) {
      if (in != nullptr) std::fclose(in);
      std::fputs(plumbing::message::kWriting, stderr);
      return 1;
    }
    const int status = finish(replay::play(in, out, mode), out);
    std::fclose(in);
    return status;
  }
  // With one name the movie is that file; otherwise standard input.
  const char* name = args == 1 ? argv[1] : "-";
  plumbing::Descriptor file(args == 1 ? plumbing::open_file(argv[1], O_RDONLY) : -1);
  if (args == 1 && !file.valid()) {
    std::fprintf(stderr, plumbing::message::kOpenInput, name);
    return 1;
  }
  if (writes_into(args == 1 ? file.get() : STDIN_FILENO)) {
    std::fprintf(stderr, plumbing::message::kInputIsStandardOutput, name);
    return 1;
  }
  std::FILE* in = args == 1 ? stream(file, "rb") : stdin;
  if (in == nullptr) {
    std::fputs(plumbing::message::kReading, stderr);
    return 1;
  }
  return finish(replay::play(in, stdout, mode), stdout);
}
