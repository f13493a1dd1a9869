#include "viewer/terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "viewer/keys.hpp"
#include "viewer/render.hpp"
#include "viewer/status.hpp"

// Last: its capability macros (columns, lines, ...) would rename names in the headers above.
#include <term.h>

namespace viewer {
namespace {

constexpr const char* kKeyHelp =
    "(q)uit (r)ew small (R)ew large (f)orw small (F)orw large (0-9)(+)(-) speed";
constexpr int kMinRows = kStatusRows + 1;
// Long enough for the bytes of a key's escape sequence to arrive together, short enough
// that Esc ends a wait at once to the eye.
constexpr int kEscapeDelayMs = 25;

// Every signal whose default action ends the process. Each is caught only while its action
// is still the default, so an ignored one stays ignored (nohup) and a sanitizer's stays.
constexpr std::array kFatalSignals = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
    SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
};

// What a signal handler needs to put the terminal back: only async-signal-safe work, on
// data made ready before curses started.
struct Restore {
  std::array<int, 2> fds{-1, -1};
  std::array<termios, 2> modes{};
  std::array<bool, 2> saved{};
  int screen_fd = -1;
  std::array<char, 256> leave{};  // leaves the alternate screen, resets the attributes
  std::size_t leave_length = 0;
};
Restore g_restore;
volatile std::sig_atomic_t g_curses_on = 0;

void put_back_terminal() {
  if (g_curses_on != 0 && g_restore.leave_length > 0) {
    const ssize_t ignored =
        write(g_restore.screen_fd, g_restore.leave.data(), g_restore.leave_length);
    static_cast<void>(ignored);
  }
  for (std::size_t i = 0; i < g_restore.fds.size(); ++i) {
    if (g_restore.saved[i]) tcsetattr(g_restore.fds[i], TCSADRAIN, &g_restore.modes[i]);
  }
}

extern "C" void on_fatal_signal(int sig) {
  put_back_terminal();
  std::signal(sig, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(sig);
}

void save_modes(int fd, std::size_t slot) {
  g_restore.fds[slot] = fd;
  g_restore.saved[slot] = tcgetattr(fd, &g_restore.modes[slot]) == 0;
}

void catch_fatal_signals() {
  struct sigaction sa {};
  sa.sa_handler = on_fatal_signal;
  sigemptyset(&sa.sa_mask);
  for (const int sig : kFatalSignals) sigaddset(&sa.sa_mask, sig);
  for (const int sig : kFatalSignals) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL &&
        (old.sa_flags & SA_SIGINFO) == 0) {
      sigaction(sig, &sa, nullptr);
    }
  }
}

// Time spent stopped by the suspend key, summed over the run, so that a pause goes on for
// what was left of it after a resume. Curses' own suspend handler does the stopping; ours
// only measures around it.
std::atomic<std::int64_t> g_stopped_ns{0};
void (*g_curses_suspend)(int) = nullptr;

std::int64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

extern "C" void on_suspend(int sig) {
  const std::int64_t start = monotonic_ns();
  g_curses_suspend(sig);  // puts the terminal back, stops, and redraws once resumed
  g_stopped_ns += monotonic_ns() - start;
}

void measure_suspends() {
  struct sigaction sa {};
  if (sigaction(SIGTSTP, nullptr, &sa) != 0 || (sa.sa_flags & SA_SIGINFO) != 0 ||
      sa.sa_handler == SIG_DFL || sa.sa_handler == SIG_IGN || sa.sa_handler == on_suspend) {
    return;
  }
  g_curses_suspend = sa.sa_handler;
  sa.sa_handler = on_suspend;
  sigaction(SIGTSTP, &sa, nullptr);
}

// tigetstr's answer for a capability the terminal lacks, or that is no string.
bool absent(const char* cap) {
  return cap == nullptr || reinterpret_cast<std::intptr_t>(cap) == -1;
}

void append_capability(const char* name) {
  const char* cap = tigetstr(name);
  if (absent(cap)) return;
  const std::size_t n = std::strlen(cap);
  if (g_restore.leave_length + n > g_restore.leave.size()) return;
  std::memcpy(g_restore.leave.data() + g_restore.leave_length, cap, n);
  g_restore.leave_length += n;
}

// The terminal for keys or for the screen: the standard stream where it is a terminal,
// else the controlling terminal.
std::FILE* terminal_stream(std::FILE* standard, const char* mode, bool& opened) {
  opened = false;
  if (isatty(fileno(standard)) != 0) return standard;
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, mode);
  if (f == nullptr) {
    close(fd);
    return nullptr;
  }
  opened = true;
  return f;
}

}  // namespace

const char* Terminal::start() {
  in_ = terminal_stream(stdin, "r", close_in_);
  if (in_ == nullptr) return "No terminal to read keys from";
  out_ = terminal_stream(stdout, "w", close_out_);
  if (out_ == nullptr) return "No terminal to show the movie on";
  save_modes(fileno(in_), 0);
  save_modes(fileno(out_), 1);
  g_restore.screen_fd = fileno(out_);
  // Before curses starts, so that it leaves these signals to us.
  catch_fatal_signals();

  screen_ = newterm(nullptr, out_, in_);
  if (screen_ == nullptr) return "Unknown terminal type";
  g_curses_on = 1;
  measure_suspends();
  if (absent(tigetstr("cup"))) {
    end();
    return "Terminal cannot move the cursor";
  }
  if (LINES < kMinRows) {
    end();
    return "Terminal too small";
  }
  append_capability("sgr0");
  append_capability("cnorm");
  append_capability("rmkx");
  append_capability("rmcup");

  cbreak();
  noecho();
  start_color();
  setup_colours();
  keypad(stdscr, TRUE);
  set_escdelay(kEscapeDelayMs);
  // A frame is one write: no flush and typeahead poll between its rows. Curses also flushes
  // at every cursor move until it has once come back from an end of its own: do that now,
  // before anything is drawn.
  typeahead(-1);
  def_prog_mode();
  endwin();
  doupdate();
  layout();
  return nullptr;
}

void Terminal::end() {
  if (text_ != nullptr) delwin(text_);
  if (status_ != nullptr) delwin(status_);
  text_ = status_ = nullptr;
  if (screen_ != nullptr) {
    endwin();
    g_curses_on = 0;
    delscreen(screen_);
    screen_ = nullptr;
  }
  put_back_terminal();
  if (close_in_) std::fclose(in_);
  if (close_out_) std::fclose(out_);
  close_in_ = close_out_ = false;
  in_ = out_ = nullptr;
}

void Terminal::layout() {
  if (text_ != nullptr) delwin(text_);
  if (status_ != nullptr) delwin(status_);
  text_ = status_ = nullptr;
  // The standard screen stays blank behind the windows; it is copied out first so that the
  // key read, which refreshes it, never paints over them.
  werase(stdscr);
  wnoutrefresh(stdscr);
  if (LINES < kMinRows || COLS < 1) {
    // Too small: nothing until it grows again. No frame follows to send the blank screen,
    // and the key read finds the standard screen already sent: send it now.
    doupdate();
    return;
  }
  text_ = newwin(LINES - kStatusRows, COLS, 0, 0);
  status_ = newwin(kStatusRows, COLS, LINES - kStatusRows, 0);
  leaveok(text_, TRUE);
  leaveok(status_, TRUE);
  wbkgd(status_, A_REVERSE);
  mvwprintw(status_, 0, 0, "%s", kKeyHelp);
}

void Terminal::frame(const Grid& grid, const Status& st, bool place_cursor) {
  if (text_ == nullptr) return;
  copy_out(grid, text_);
  const std::int64_t share = st.size == 0 ? 100 : st.offset * 100 / st.size;
  mvwprintw(status_, 1, 0,
            "%7" PRId64 "/%7" PRId64 "/%2" PRId64 "%% Speed: %d (5=normal,0=pause) Cmd: ",
            st.offset, st.size, share, st.speed);
  CommandShown command{};
  show_command(st.command, st.charset, command);
  // Like one print: a word that runs into the window's corner ends the line there.
  if (waddwstr(status_, command.data()) != ERR) {
    wprintw(status_, " (%d/%d)\n", st.timeout, st.raw_delay);
  }
  wnoutrefresh(status_);
  wnoutrefresh(text_);
  // Both windows leave the cursor alone: the key read's refresh of the standard screen puts
  // it just after the last text drawn.
  if (place_cursor) wmove(stdscr, grid.cursor_row(), grid.cursor_col());
  doupdate();
}

int Terminal::key(int wait_ms) {
  const Clock::time_point start = Clock::now();
  const std::int64_t stopped = g_stopped_ns;
  KeyScan scan;
  for (;;) {
    int timeout = kEscapeDelayMs;
    if (scan.at == KeyScan::text) {
      timeout = wait_ms;
      if (wait_ms > 0) {
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            Clock::now() - start - std::chrono::nanoseconds(g_stopped_ns - stopped));
        timeout = static_cast<int>(std::max<std::int64_t>(0, wait_ms - waited.count()));
      }
    }
    const int code = read_code(timeout);
    if (code == kInterrupted) continue;  // a resume after a suspend: the wait goes on
    if (code == kNoKey && scan.at == KeyScan::text) return kNoKey;
    const int key = scan_key(scan, code);
    if (key != kReadOn) return key;
  }
}

int Terminal::read_code(int timeout_ms) {
  wtimeout(stdscr, timeout_ms);
  errno = 0;
  const int key = wgetch(stdscr);
  if (key == KEY_RESIZE) {
    layout();
    return kResized;
  }
  if (key != ERR) return key;
  const bool interrupted = errno == EINTR;
  // No key: the wait ran out or was cut short, or the terminal is gone (hung up, closed).
  pollfd pfd{fileno(in_), POLLIN, 0};
  const bool gone = poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  if (gone) return kInputEnded;
  if (interrupted) return kInterrupted;
  return timeout_ms < 0 ? kInputEnded : kNoKey;
}

}  // namespace viewer
