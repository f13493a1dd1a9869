// The copy loop under signals and slow peers: every byte must arrive once, in order.
#include "rawcopy/copy.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

std::atomic<int> alarms{0};

extern "C" void count_alarm(int) { alarms.fetch_add(1, std::memory_order_relaxed); }

// A SIGALRM every 100 microseconds, its handler installed without SA_RESTART so that
// blocked reads and writes come back with EINTR or a partial count.
class Alarms {
 public:
  Alarms() {
    struct sigaction sa {};
    sa.sa_handler = count_alarm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGALRM, &sa, &old_action_);
    const itimerval every{{0, 100}, {0, 100}};
    setitimer(ITIMER_REAL, &every, &old_timer_);
  }
  ~Alarms() {
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &old_action_, nullptr);
    setitimer(ITIMER_REAL, &old_timer_, nullptr);
  }
  Alarms(const Alarms&) = delete;
  Alarms& operator=(const Alarms&) = delete;

 private:
  struct sigaction old_action_ {};
  itimerval old_timer_{};
};

// Starts a thread with SIGALRM blocked, so the signals land on the thread running the copy,
// and SIGPIPE blocked, so a copy that gives up early fails the test instead of killing it.
template <class F>
std::thread quiet_thread(F f) {
  sigset_t quiet, old;
  sigemptyset(&quiet);
  sigaddset(&quiet, SIGALRM);
  sigaddset(&quiet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &quiet, &old);
  std::thread t(f);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return t;
}

std::vector<unsigned char> pattern(std::size_t n) {
  std::vector<unsigned char> v(n);
  std::uint32_t x = 2463534242u;
  for (auto& b : v) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<unsigned char>(x);
  }
  return v;
}

void pause_briefly() { std::this_thread::sleep_for(std::chrono::microseconds(200)); }

enum class Output { pipe, small_pipe, socket };

struct Case {
  const char* name;
  Output output;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CopyUnderSignals : public ::testing::TestWithParam<Case> {};

// The feeder writes uneven pieces with pauses, so the copy blocks in read; the drainer reads
// small pieces with pauses, so it blocks in write. A socket with a small send buffer takes a
// 4096-byte write in parts, so a signal there yields short writes; a pipe takes it whole or
// not at all, so there it yields EINTR.
TEST_P(CopyUnderSignals, LosesAndDoublesNothing) {
  const std::vector<unsigned char> sent = pattern(3 << 20);

  int in[2];
  ASSERT_EQ(pipe(in), 0);
  int out[2];
  if (GetParam().output == Output::socket) {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, out), 0);
    const int small = 4096;
    setsockopt(out[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setsockopt(out[0], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  } else {
    ASSERT_EQ(pipe(out), 0);
#ifdef F_SETPIPE_SZ  // elsewhere the default pipe fills up too, only later
    if (GetParam().output == Output::small_pipe) {
      ASSERT_NE(fcntl(out[1], F_SETPIPE_SZ, 4096), -1);
    }
#endif
  }

  std::thread feeder = quiet_thread([&] {
    std::size_t off = 0;
    for (std::size_t k = 1; off < sent.size(); ++k) {
      std::size_t n = std::min(k * 997 % 9000 + 1, sent.size() - off);
      for (ssize_t w; n > 0; off += static_cast<std::size_t>(w), n -= static_cast<std::size_t>(w))
        if ((w = write(in[1], sent.data() + off, n)) < 0) return (void)close(in[1]);
      if (k % 8 == 0) pause_briefly();
    }
    close(in[1]);
  });
  std::vector<unsigned char> received;
  received.reserve(sent.size());
  std::thread drainer = quiet_thread([&] {
    unsigned char piece[1500];
    for (std::size_t k = 1;; ++k) {
      const ssize_t n = read(out[0], piece, k % 3 == 0 ? sizeof piece : 300);
      if (n <= 0) break;
      received.insert(received.end(), piece, piece + n);
      if (k % 16 == 0) pause_briefly();
    }
  });

  rawcopy::copy_result result;
  int copy_errno = 0;
  int interrupts = 0;
  {
    alarms = 0;
    const Alarms alarm;
    result = rawcopy::copy_descriptor(in[0], out[1]);
    copy_errno = errno;
    interrupts = alarms;
  }
  close(in[0]);
  close(out[1]);
  feeder.join();
  drainer.join();
  close(out[0]);

  EXPECT_EQ(result, rawcopy::copy_result::done) << std::strerror(copy_errno);
  EXPECT_GT(interrupts, 20) << "too few signals to prove anything";
  const auto diverge = std::mismatch(sent.begin(), sent.end(), received.begin(), received.end());
  EXPECT_EQ(diverge.first - sent.begin(), static_cast<std::ptrdiff_t>(sent.size()))
      << "first wrong byte";
  EXPECT_EQ(received.size(), sent.size());
}

INSTANTIATE_TEST_SUITE_P(Outputs, CopyUnderSignals,
                         ::testing::Values(Case{"pipe", Output::pipe},
                                           Case{"small_pipe", Output::small_pipe},
                                           Case{"socket", Output::socket}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
