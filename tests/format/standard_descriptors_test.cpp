#include "format/standard_descriptors.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs `body` in a child whose descriptors in `closed` are closed first, since the guard
// changes the process it runs in. The child's exit status is the result: 0 when every check
// held, else the number of the first that failed.
template <class Body>
int in_child(std::initializer_list<int> closed, Body body) {
  const pid_t pid = fork();
  if (pid == 0) {
    for (const int fd : closed) close(fd);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

TEST(StandardDescriptors, ClosedOnesHeldByNullSoTheyStillFail) {
  struct stat null {};
  ASSERT_EQ(stat("/dev/null", &null), 0);
  const int mode_when_closed[] = {O_WRONLY, O_RDONLY, O_WRONLY};
  for (const auto& closed : {std::initializer_list<int>{0}, {1}, {2}, {1, 2}, {0, 1, 2}}) {
    std::string label;
    for (const int fd : closed) label += std::to_string(fd) + " ";
    const int result = in_child(closed, [&] {
      struct stat before[3]{};
      for (int fd = 0; fd <= 2; ++fd) fstat(fd, &before[fd]);  // fails, harmlessly, if closed
      if (!vorlan::guard_standard_descriptors()) return 1;
      for (int fd = 0; fd <= 2; ++fd) {
        bool was_closed = false;
        for (const int c : closed) was_closed = was_closed || c == fd;
        struct stat now {};
        if (fstat(fd, &now) != 0) return 2;
        if (!was_closed) {
          if (!same_file(now, before[fd])) return 3;
          continue;
        }
        if (!same_file(now, null)) return 4;
        if ((fcntl(fd, F_GETFL) & O_ACCMODE) != mode_when_closed[fd]) return 5;
      }
      // The next file opened is none of the three.
      return open(".", O_RDONLY) > STDERR_FILENO ? 0 : 6;
    });
    EXPECT_EQ(result, 0) << "closed: " << label;
  }
}

TEST(StandardDescriptors, RefusesWhenNullCannotBeOpened) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run a child in an empty chroot";
  char empty[] = "/tmp/vorlan-no-null.XXXXXX";
  ASSERT_NE(mkdtemp(empty), nullptr);
  const int result = in_child({1}, [&] {
    if (chroot(empty) != 0 || chdir("/") != 0) return 1;
    if (vorlan::guard_standard_descriptors()) return 2;
    return fcntl(1, F_GETFD) == -1 ? 0 : 3;  // left closed, for the caller to stop on
  });
  rmdir(empty);
  EXPECT_EQ(result, 0);
}

}  // namespace
