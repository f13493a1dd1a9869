// vorlan-replay: replays a movie to standard output in real time. Started as vorlan-totext,
// writes the movie's text to a file with no pauses.
#include <sys/stat.h>

#include <cstdio>

#include "format/standard_descriptors.hpp"
#include "replay/records.hpp"

namespace {

// Writing the output would empty a movie file that is also the input, overwrite a movie on
// a block device with its own transcript, or feed a FIFO what it reads back, whatever the
// path. A character device (/dev/null, a terminal) reads back nothing it was given.
bool is_input(std::FILE* in, const char* path) {
  struct stat a, b;
  if (fstat(fileno(in), &a) != 0 || stat(path, &b) != 0) return false;
  if (!S_ISREG(a.st_mode) && !S_ISBLK(a.st_mode) && !S_ISFIFO(a.st_mode)) return false;
  if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
  // Another node of the same block device is the same device.
  return S_ISBLK(a.st_mode) && S_ISBLK(b.st_mode) && a.st_rdev == b.st_rdev;
}

int finish(int status, std::FILE* out) {
  if (std::fclose(out) != 0 && status == 0) {
    std::fputs("Error writing file\n", stderr);
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!vorlan::guard_standard_descriptors()) {
    std::fputs("Error opening /dev/null\n", stderr);
    return 1;
  }
  const replay::Mode mode = replay::mode_from_name(argc > 0 ? argv[0] : nullptr);
  if (mode == replay::Mode::unknown) {
    std::fputs("Please run this program as \"vorlan-replay\" or \"vorlan-totext\"\n", stderr);
    return 1;
  }
  const int args = argc - 1;
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  if (mode == replay::Mode::replay) {
    if (args == 1 && (in = std::fopen(argv[1], "rb")) == nullptr) {
      std::fprintf(stderr, "Error opening input file \"%s\"\n", argv[1]);
      return 1;
    }
  } else {
    if (args != 2) {
      std::fprintf(stderr, "Usage: %s [infile [outfile]]\n", argv[0]);
      return 1;
    }
    if ((in = std::fopen(argv[1], "rb")) == nullptr) {
      std::fprintf(stderr, "Error opening input file \"%s\"\n", argv[1]);
      return 1;
    }
    if (is_input(in, argv[2])) {
      std::fprintf(stderr, "Error opening output file \"%s\": it is the input file\n", argv[2]);
      return 1;
    }
    if ((out = std::fopen(argv[2], "wb")) == nullptr) {
      std::fprintf(stderr, "Error opening output file \"%s\"\n", argv[2]);
      return 1;
    }
  }
  return finish(replay::play(in, out, mode), out);
}
