#include "plumbing/descriptors.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
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

std::string label(std::initializer_list<int> closed) {
  std::string s;
  for (const int fd : closed) s += std::to_string(fd) + " ";
  return s;
}

TEST(StandardDescriptors, ClosedOnesHeldSoTheyStillFail) {
  char byte = 'x';
  for (const auto& closed : {std::initializer_list<int>{0}, {1}, {2}, {1, 2}, {0, 1, 2}}) {
    const int result = in_child(closed, [&] {
      struct stat before[3]{};
      for (int fd = 0; fd <= 2; ++fd) fstat(fd, &before[fd]);  // fails, harmlessly, if closed
      if (!plumbing::guard_standard_descriptors()) return 1;
      for (int fd = 0; fd <= 2; ++fd) {
        bool was_closed = false;
        for (const int c : closed) was_closed = was_closed || c == fd;
        struct stat now {};
        if (fstat(fd, &now) != 0) return 2;
        if (plumbing::held(fd) != was_closed) return 3;
        if (!was_closed) {
          if (!same_file(now, before[fd])) return 4;
          continue;
        }
        // Reading a closed standard input, or writing a closed output, fails at once.
        const ssize_t used = fd == 0 ? read(fd, &byte, 1) : write(fd, &byte, 1);
        if (used != -1 || errno != EBADF) return 5;
      }
      // The next file opened is none of the three.
      return open(".", O_RDONLY) > STDERR_FILENO ? 0 : 6;
    });
    EXPECT_EQ(result, 0) << "closed: " << label(closed);
  }
}

// Every name that reaches a closed one fails as the closed one does; /dev/null named
// outright, and the standard descriptors left open, open as ever.
TEST(StandardDescriptors, ClosedOnesStayClosedUnderAnyName) {
  char link[] = "/tmp/vorlan-stdin-link.XXXXXX";
  const int made = mkstemp(link);
  ASSERT_GE(made, 0);
  close(made);
  unlink(link);
  ASSERT_EQ(symlink("/dev/stdin", link), 0);
  const std::string self = "/proc/" + std::to_string(getpid());
  for (const auto& closed : {std::initializer_list<int>{0}, {1}, {0, 1, 2}}) {
    const int result = in_child(closed, [&] {
      if (!plumbing::guard_standard_descriptors()) return 1;
      const std::string mine = "/proc/" + std::to_string(getpid()) + "/fd/";
      for (const int fd : closed) {
        const std::string n = std::to_string(fd);
        const char* std_name = fd == 0 ? "/dev/stdin" : fd == 1 ? "/dev/stdout" : "/dev/stderr";
        for (const std::string& name :
             {std::string(std_name), "/dev/fd/" + n, "/proc/self/fd/" + n, "//dev/./fd/" + n,
              mine + n, std::string(fd == 0 ? link : std_name)}) {
          for (const int flags : {O_RDONLY, O_WRONLY | O_CREAT | O_TRUNC, O_RDWR}) {
            errno = 0;
            if (plumbing::open_file(name.c_str(), flags, 0666) != -1 || errno != EBADF) {
              return 10 + fd;
            }
          }
        }
      }
      const int null = plumbing::open_file("/dev/null", O_RDWR);
      if (null <= STDERR_FILENO) return 2;
      // An open one, named, is what it is.
      for (int fd = 0; fd <= 2; ++fd) {
        if (plumbing::held(fd)) continue;
        const int again = plumbing::open_file(("/dev/fd/" + std::to_string(fd)).c_str(),
                                              fd == 0 ? O_RDONLY : O_WRONLY);
        if (again <= STDERR_FILENO) return 3;
      }
      return 0;
    });
    EXPECT_EQ(result, 0) << "closed: " << label(closed);
  }
  unlink(link);
}

TEST(StandardDescriptors, NamesOfTheStandardDescriptors) {
  const struct {
    const char* path;
    int fd;
  } cases[] = {
      {"/dev/stdin", 0},  {"/dev/stdout", 1},          {"/dev/stderr", 2}, {"/dev/fd/0", 0},
      {"/dev/fd/2", 2},   {"/proc/self/fd/1", 1},      {"/dev/fd/3", -1},  {"/dev/fd/", -1},
      {"/dev/fd/1x", -1}, {"/dev/stdinx", -1},         {"dev/stdin", -1},  {"/proc/self/fd/12", -1},
      {"/dev/null", -1},  {"/proc/self/fdinfo/0", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plumbing::standard_descriptor_named(c.path), c.fd) << c.path;
  }
}

TEST(Descriptor, ClosesItselfAndHandsOver) {
  int fd = -1;
  {
    plumbing::Descriptor d(open("/dev/null", O_RDONLY));
    fd = d.get();
    ASSERT_GE(fd, 0);
    plumbing::Descriptor moved(std::move(d));
    EXPECT_EQ(moved.get(), fd);
  }
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  plumbing::Descriptor d(open("/dev/null", O_RDONLY));
  EXPECT_TRUE(d.close());
  EXPECT_FALSE(d.valid());
  EXPECT_FALSE(plumbing::close_checked(-1));
}

TEST(WriteAll, WritesEverythingAndReportsFailure) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EXPECT_TRUE(plumbing::write_all(ends[1], "whole"));
  char got[8] = {};
  EXPECT_EQ(read(ends[0], got, sizeof got), 5);
  EXPECT_STREQ(got, "whole");
  close(ends[1]);
  EXPECT_FALSE(plumbing::write_all(ends[0], "x"));  // the read end cannot be written
  close(ends[0]);
}

TEST(StandardDescriptors, GuardFailsWhenNothingCanBeOpened) {
  // Allowed no descriptor beyond the three, the guard cannot hold a closed one: the caller
  // must then stop, and the closed one is left closed for it to stop on.
  const int result = in_child({1}, [&] {
    const rlimit three{3, 3};
    if (setrlimit(RLIMIT_NOFILE, &three) != 0) return 1;
    if (plumbing::guard_standard_descriptors()) return 2;
    return fcntl(1, F_GETFD) == -1 ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
}

}  // namespace
