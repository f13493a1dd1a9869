// vorlan-viewer: plays a movie full-screen, paced by its pauses at a speed the keys set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>

#include "plumbing/descriptors.hpp"
#include "plumbing/messages.hpp"
#include "reading/charset.hpp"
#include "reading/pieces.hpp"
#include "viewer/grid.hpp"
#include "viewer/play.hpp"
#include "viewer/terminal.hpp"

namespace {

// The usage banner is the program's fixed text, version included, as users and scripts know
// it: it does not follow the project's version (CMakeLists.txt), which the packages carry.
constexpr const char* kVersion = "1.2.23";

void usage() {
  std::fprintf(stderr,
               "vorlan filmvane v%s\n\nUsage: vorlan-viewer file\n\n"
               "file should be a #movie file generated in vorlan\n",
               kVersion);
}

// A movie must be a regular file: its size is measured once and it is seeked in. Opening
// without blocking lets a FIFO be refused rather than waited on.
bool open_movie(const char* path, plumbing::Descriptor& movie, std::int64_t& size) {
  movie = plumbing::Descriptor(plumbing::open_file(path, O_RDONLY | O_NONBLOCK));
  if (!movie.valid()) return false;
  const int fd = movie.get();
  struct stat st {};
  int error = 0;
  if (fstat(fd, &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    error = ESPIPE;
  }
  if (error != 0) {
    errno = error;
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  size = lseek(fd, 0, SEEK_END);
  return size >= 0 && lseek(fd, 0, SEEK_SET) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!plumbing::guard_standard_descriptors()) {
    std::perror(plumbing::message::kGuard);
    return 1;
  }
  if (argc < 2) {
    usage();
    return 1;
  }
  plumbing::Descriptor movie;
  std::int64_t size = 0;
  if (!open_movie(argv[1], movie, size)) {
    std::perror("Unable to open file");
    return 1;
  }
  // Character types only: curses then shows the movie's characters as this terminal can.
  std::setlocale(LC_CTYPE, "");

  int status = 1;
  const char* failure = nullptr;
  {
    viewer::Terminal term;
    failure = term.start();
    if (failure == nullptr) {
      reading::Sample sample(movie.get());
      reading::Pieces pieces(movie.get(), sample.bytes());
      viewer::Grid grid(term.text_rows(), term.cols());
      status = viewer::Player(pieces, size, grid, term, &sample.charset()).run();
      if (status == viewer::kExitInputEnded) failure = "Key input ended";
    }
  }  // the terminal is back as it was before anything is printed
  if (failure != nullptr) std::fprintf(stderr, "%s\n", failure);
  return failure == nullptr ? status : 1;
}
