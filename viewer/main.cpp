// vorlan-viewer: plays a movie full-screen, paced by its pauses at a speed the keys set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>

#include "format/standard_descriptors.hpp"
#include "reading/charset.hpp"
#include "reading/pieces.hpp"
#include "viewer/grid.hpp"
#include "viewer/play.hpp"
#include "viewer/terminal.hpp"

namespace {

constexpr const char* kVersion = "1.2.23";

void usage() {
  std::fprintf(stderr,
               "vorlan filmvane v%s\n\nUsage: vorlan-viewer file\n\n"
               "file should be a #movie file generated in vorlan\n",
               kVersion);
}

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

// A movie must be a regular file: its size is measured once and it is seeked in. Opening
// without blocking lets a FIFO be refused rather than waited on.
bool open_movie(const char* path, Descriptor& movie, std::int64_t& size) {
  movie.fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (movie.fd < 0) return false;
  struct stat st {};
  int error = 0;
  if (fstat(movie.fd, &st) != 0) {
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
  fcntl(movie.fd, F_SETFL, fcntl(movie.fd, F_GETFL) & ~O_NONBLOCK);
  size = lseek(movie.fd, 0, SEEK_END);
  return size >= 0 && lseek(movie.fd, 0, SEEK_SET) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!vorlan::guard_standard_descriptors()) {
    std::perror("Unable to open /dev/null");
    return 1;
  }
  if (argc < 2) {
    usage();
    return 1;
  }
  Descriptor movie;
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
      reading::Sample sample(movie.fd);
      reading::Pieces pieces(movie.fd, sample.bytes());
      viewer::Grid grid(term.text_rows(), term.cols());
      status = viewer::Player(pieces, size, grid, term, &sample.charset()).run();
      if (status == viewer::kExitInputEnded) failure = "Key input ended";
    }
  }  // the terminal is back as it was before anything is printed
  if (failure != nullptr) std::fprintf(stderr, "%s\n", failure);
  return failure == nullptr ? status : 1;
}
