#include "export/command.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "export/cast.hpp"
#include "export/html.hpp"
#include "export/movie.hpp"
#include "export/output.hpp"
#include "export/width.hpp"
#include "format/same_file.hpp"
#include "format/standard_descriptors.hpp"
#include "reading/charset.hpp"
#include "reading/pieces.hpp"

namespace exporter {
namespace {

constexpr std::string_view kStandardOutput = "-";
constexpr mode_t kNewFileMode = 0666;

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes it now; false when the close reports an error.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 || errno == EINTR;
  }

 private:
  int fd_;
};

int open_input(const char* path) {
  int fd;
  do fd = ::open(path, O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// A directory opens for reading but never reads: known at once, before the output is touched.
bool is_directory(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

int open_output(const char* path) {
  int fd;
  do fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kNewFileMode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// The widest shown line, when the input can be read twice; else nothing is read and the
// narrowest width does.
Outcome measure(reading::Pieces& pieces, int in_fd, reading::Charset& charset,
                std::int64_t& widest) {
  widest = 0;
  if (::lseek(in_fd, 0, SEEK_CUR) < 0) return Outcome::done;
  Width width;
  const Outcome outcome = read_movie(pieces, width, &charset);
  if (outcome != Outcome::done) return outcome;
  widest = width.widest();
  return pieces.seek(0) ? Outcome::done : Outcome::read_error;
}

Outcome write_html(reading::Pieces& pieces, reading::Charset& charset, Output& out,
                   std::string_view title) {
  Html html(out);
  html.begin(title, charset.name());
  const Outcome outcome = read_movie(pieces, html, &charset);
  html.end();
  return outcome;
}

Outcome write_cast(reading::Pieces& pieces, reading::Charset& charset, int in_fd, Output& out,
                   std::string_view title) {
  std::int64_t widest = 0;
  const Outcome measured = measure(pieces, in_fd, charset, widest);
  if (measured != Outcome::done) return measured;
  Cast cast(out);
  cast.begin(widest, title, charset.name());
  const Outcome outcome = read_movie(pieces, cast, &charset);
  cast.end();
  return outcome;
}

}  // namespace

bool is_input(int in_fd, const char* out_path) {
  struct stat in {};
  struct stat out {};
  if (::fstat(in_fd, &in) != 0) return false;
  const int found =
      out_path == kStandardOutput ? ::fstat(STDOUT_FILENO, &out) : ::stat(out_path, &out);
  return found == 0 && vorlan::writes_over_input(in, out);
}

int run(int argc, char* argv[], Format format) {
  if (!vorlan::guard_standard_descriptors()) {
    std::perror("Error opening /dev/null");
    return 1;
  }
  if (argc != 3) {
    const char* name = argc > 0 && argv[0] != nullptr ? argv[0]
                       : format == Format::html       ? "vorlan-tohtml"
                                                      : "vorlan-tocast";
    std::fprintf(stderr, "Usage: %s infile outfile\n", name);
    return 1;
  }
  const char* in_path = argv[1];
  const char* out_path = argv[2];

  Descriptor in(open_input(in_path));
  if (in.get() < 0) {
    std::fprintf(stderr, "Error opening input file \"%s\"\n", in_path);
    return 1;
  }
  if (is_directory(in.get())) {
    std::fputs("Error reading file\n", stderr);
    return 1;
  }
  if (is_input(in.get(), out_path)) {
    std::fprintf(stderr, "Error opening output file \"%s\": it is the input file\n", out_path);
    return 1;
  }
  const bool to_stdout = out_path == kStandardOutput;
  Descriptor out(to_stdout ? -1 : open_output(out_path));
  if (!to_stdout && out.get() < 0) {
    std::fprintf(stderr, "Error opening output file \"%s\"\n", out_path);
    return 1;
  }
  int out_fd = to_stdout ? STDOUT_FILENO : out.get();
  Output output(drain_to_descriptor, &out_fd);
  // The set is decided from the movie's start, which the reading then goes on from.
  reading::Sample sample(in.get());
  reading::Pieces pieces(in.get(), sample.bytes());

  const std::string_view title = file_name(in_path);
  const Outcome outcome = format == Format::html
                              ? write_html(pieces, sample.charset(), output, title)
                              : write_cast(pieces, sample.charset(), in.get(), output, title);
  bool written = output.flush() && outcome != Outcome::sink_failed;
  if (to_stdout) {
    written = std::fclose(stdout) == 0 && written;
  } else {
    written = out.close() && written;
  }
  if (outcome == Outcome::read_error) {
    std::fputs("Error reading file\n", stderr);
    return 1;
  }
  if (!written) {
    std::fputs("Error writing file\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace exporter
