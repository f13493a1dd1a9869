// vorlan-viewer: plays a movie full-screen, paced by its pauses at a speed the keys set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include <curses.h>

#include "reading/interpret.hpp"
#include "viewer/render.hpp"

namespace {

constexpr const char* kVersion = "1.2.23";
constexpr const char* kKeyHelp =
    "(q)uit (r)ew small (R)ew large (f)orw small (F)orw large (0-9)(+)(-) speed";
constexpr const char* kEndMarker = "\n**** END ***\n";
constexpr int kStatusRows = 2;
constexpr int kMinRows = kStatusRows + 1;
constexpr std::int64_t kSmallStep = 1000;
constexpr std::int64_t kLargeStep = 5000;
// In long stretches with no pause, let the screen catch up this often so it visibly scrolls.
constexpr std::chrono::milliseconds kCatchUp{40};
using Clock = std::chrono::steady_clock;

void usage() {
  std::fprintf(stderr,
               "vorlan filmvane v%s\n\nUsage: vorlan-viewer file\n\n"
               "file should be a #movie file generated in vorlan\n",
               kVersion);
}

struct Movie {
  std::FILE* stream = nullptr;
  ~Movie() {
    if (stream != nullptr) std::fclose(stream);
  }
};

// Ends curses on every way out, in the order the windows were made.
struct Screen {
  WINDOW* text = nullptr;
  WINDOW* status = nullptr;
  bool started = false;

  void end() {
    if (text != nullptr) delwin(text);
    if (status != nullptr) delwin(status);
    text = status = nullptr;
    if (started) endwin();
    started = false;
  }
  ~Screen() { end(); }
};

// A movie must be a regular file: its size is measured once and it is seeked in. Opening
// without blocking lets a FIFO be refused rather than waited on.
bool open_movie(const char* path, Movie& movie, std::int64_t& size) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
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
    close(fd);
    errno = error;
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  movie.stream = fdopen(fd, "r");
  if (movie.stream == nullptr) {
    const int fdopen_error = errno;
    close(fd);
    errno = fdopen_error;
    return false;
  }
  if (fseeko(movie.stream, 0, SEEK_END) != 0) return false;
  size = ftello(movie.stream);
  std::rewind(movie.stream);
  return size >= 0;
}

// One read of at most kLineBufferSize - 1 bytes; the count comes from the stream position,
// so zero bytes inside the piece are counted too.
std::string_view read_piece(std::FILE* stream, std::array<char, reading::kLineBufferSize>& buf) {
  buf.fill('\0');
  const off_t before = ftello(stream);
  if (std::fgets(buf.data(), static_cast<int>(buf.size()), stream) == nullptr) return {};
  const off_t after = ftello(stream);
  return {buf.data(), static_cast<std::size_t>(after - before)};
}

bool record_goes_on(std::string_view piece) { return !piece.empty() && piece.back() != '\n'; }

void seek(std::FILE* stream, WINDOW* text, std::int64_t from, std::int64_t step, std::int64_t size,
          std::array<char, reading::kLineBufferSize>& buf) {
  std::int64_t target = from + step;
  if (target >= size) target = size;
  if (target <= 0) target = 0;
  wattr_on(text, A_BOLD, nullptr);
  wprintw(text, "\n=============\nMoving from %" PRId64 " to file offset %" PRId64 "\n", from,
          target);
  fseeko(stream, static_cast<off_t>(target), SEEK_SET);
  // Throw away the rest of the line landed in, however long it is.
  while (record_goes_on(read_piece(stream, buf))) {
  }
  const std::int64_t landing = ftello(stream);
  wprintw(text,
          "Final offset after adjusting for newline: %" PRId64 " (%" PRId64 ")\n=============\n",
          landing, landing - from);
  wattr_off(text, A_BOLD, nullptr);
}

int play(std::FILE* stream, std::int64_t size, Screen& screen) {
  WINDOW* const text = screen.text;
  WINDOW* const status = screen.status;
  std::array<char, reading::kLineBufferSize> buf{};
  reading::Playback pb;
  viewer::RenderState rs;
  Clock::time_point last_update = Clock::now();

  for (;;) {
    const std::string_view first = read_piece(stream, buf);
    const reading::Line line = reading::interpret(first, pb);
    if (line.kind == reading::Kind::annotation) viewer::draw_annotation(text, line.annotation);
    wtimeout(stdscr, reading::pace(pb));

    const bool has_text = line.kind == reading::Kind::line || line.kind == reading::Kind::prompt;
    bool text_ended = line.text_ended;
    if (has_text && !line.text.empty()) viewer::draw_text(text, line.text, rs);
    // A record longer than one read: the rest of its text is drawn, anything else passed over.
    for (std::string_view piece = first; record_goes_on(piece);) {
      piece = read_piece(stream, buf);
      if (!has_text || text_ended) continue;
      const reading::Line more = reading::continuation(piece, line.kind);
      if (!more.text.empty()) viewer::draw_text(text, more.text, rs);
      text_ended = more.text_ended;
    }
    if (has_text) viewer::end_text(text, rs);
    const std::int64_t offset = ftello(stream);

    const std::int64_t share = size == 0 ? 100 : offset * 100 / size;
    mvwprintw(status, 1, 0,
              "%7" PRId64 "/%7" PRId64 "/%2" PRId64
              "%% Speed: %d (5=normal,0=pause) Cmd: %-6s (%d/%d)\n",
              offset, size, share, pb.speed, pb.command.data(), pb.timeout, pb.raw_delay);
    int wait = pb.timeout;
    // A read that finds nothing before the measured size (the movie shrank, or a read
    // failed) ends playback too, rather than replaying the carried delay for ever.
    if (offset == size || first.empty()) {
      waddstr(text, kEndMarker);
      wait = -1;
      wtimeout(stdscr, wait);
    }

    // Only a pass that really waits places the cursor and updates the terminal; a pass
    // that goes straight on leaves it to a later one, as copying the windows out and
    // moving stdscr's cursor (which makes the key read refresh) would cost an update a line.
    if (wait != 0 || Clock::now() - last_update >= kCatchUp) {
      wnoutrefresh(status);
      wnoutrefresh(text);
      if (wait != 0) wmove(stdscr, getcury(text), getcurx(text));
      doupdate();
      last_update = Clock::now();
    }

    const int key = wgetch(stdscr);
    std::int64_t step = 0;
    switch (key) {
      case '+':
      case '=': ++pb.speed; break;
      case '-': --pb.speed; break;
      case 'f': step = kSmallStep; break;
      case 'F': step = kLargeStep; break;
      case 'r': step = -kSmallStep; break;
      case 'R': step = -kLargeStep; break;
      case 'q':
      case 'Q': return 0;
      default:
        if (key >= '0' && key <= '9') pb.speed = key - '0';
        break;
    }
    if (step != 0) seek(stream, text, offset, step, size, buf);
    pb.speed = reading::clamp_speed(pb.speed);
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    usage();
    return 1;
  }
  Movie movie;
  std::int64_t size = 0;
  if (!open_movie(argv[1], movie, size)) {
    std::perror("Unable to open file");
    return 1;
  }

  Screen screen;
  initscr();
  screen.started = true;
  if (LINES < kMinRows) {
    screen.end();
    std::fputs("Terminal too small\n", stderr);
    return 1;
  }
  cbreak();
  noecho();
  start_color();
  viewer::setup_colours();
  screen.text = newwin(LINES - kStatusRows, COLS, 0, 0);
  screen.status = newwin(kStatusRows, COLS, LINES - kStatusRows, 0);
  keypad(stdscr, TRUE);
  scrollok(screen.text, TRUE);
  leaveok(screen.text, TRUE);
  leaveok(screen.status, TRUE);
  wbkgd(screen.status, A_REVERSE);
  mvwprintw(screen.status, 0, 0, "%s", kKeyHelp);
  refresh();
  wtimeout(stdscr, 0);

  return play(movie.stream, size, screen);
}
