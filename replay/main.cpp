// vorlan-replay: replays a movie to standard output in real time. Started as vorlan-totext,
// writes the movie's text to a file with no pauses.
#include <sys/stat.h>

#include <cstdio>

#include "format/same_file.hpp"
#include "format/standard_descriptors.hpp"
#include "replay/records.hpp"

namespace {

bool is_input(std::FILE* in, const char* path) {
  struct stat a, b;
  if (fstat(fileno(in), &a) != 0 || stat(path, &b) != 0) return false;
  return vorlan::writes_over_input(a, b);
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
