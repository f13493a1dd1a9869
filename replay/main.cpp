// vorlan-replay: replays a movie to standard output in real time. Started as vorlan-totext,
// writes the movie's text to a file with no pauses.
#include <fcntl.h>
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

// Written through the front door's own writes, which give up on a write that takes nothing.
replay::Sink sink(plumbing::Writer& w) {
  return {[](void* c, std::string_view s) { return static_cast<plumbing::Writer*>(c)->write(s); },
          [](void* c) { return static_cast<plumbing::Writer*>(c)->flush(); }, &w};
}

// Plays `in` (which it closes) to `out_fd`, then closes the output, checked.
int play(std::FILE* in, int out_fd, replay::Mode mode) {
  plumbing::Writer out(out_fd);
  plumbing::Writer err(STDERR_FILENO);
  int status = replay::play(in, sink(out), mode, sink(err));
  if (in != stdin) std::fclose(in);
  if (!plumbing::close_checked(out_fd) && status == 0) {
    plumbing::report("%s", plumbing::message::kWriting);
    status = 1;
  }
  return status;
}

// A stream to read a descriptor through, which the stream then closes; null on failure.
std::FILE* stream(plumbing::Descriptor& fd) {
  std::FILE* s = fdopen(fd.get(), "rb");
  if (s != nullptr) fd.release();
  return s;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!plumbing::guard_standard_descriptors()) {
    plumbing::report("%s: %s\n", plumbing::message::kGuard, std::strerror(errno));
    return 1;
  }
  const replay::Mode mode = replay::mode_from_name(argc > 0 ? argv[0] : nullptr);
  if (mode == replay::Mode::unknown) {
    plumbing::report("Please run this program as \"vorlan-replay\" or \"vorlan-totext\"\n");
    return 1;
  }
  const int args = argc - 1;
  if (mode == replay::Mode::text) {
    if (args != 2) {
      // The program's fixed usage text: it shows both names' arguments, though this one
      // takes exactly two.
      plumbing::report("Usage: %s [infile [outfile]]\n", argv[0]);
      return 1;
    }
    plumbing::Pair pair;
    if (!plumbing::open_pair(argv[1], argv[2], plumbing::Dash::file, pair)) return 1;
    std::FILE* in = stream(pair.in);
    if (in == nullptr) {
      plumbing::report("%s", plumbing::message::kReading);
      return 1;
    }
    return play(in, pair.out.release(), mode);
  }
  // With one name the movie is that file; otherwise standard input.
  const char* name = args == 1 ? argv[1] : "-";
  plumbing::Descriptor file(args == 1 ? plumbing::open_file(argv[1], O_RDONLY) : -1);
  if (args == 1 && !file.valid()) {
    plumbing::report(plumbing::message::kOpenInput, name);
    return 1;
  }
  // Replaying into the input's own file would append the transcript to the movie being read.
  if (plumbing::output_reads_back(args == 1 ? file.get() : STDIN_FILENO, STDOUT_FILENO)) {
    plumbing::report(plumbing::message::kInputIsStandardOutput, name);
    return 1;
  }
  std::FILE* in = args == 1 ? stream(file) : stdin;
  if (in == nullptr) {
    plumbing::report("%s", plumbing::message::kReading);
    return 1;
  }
  return play(in, STDOUT_FILENO, mode);
}
