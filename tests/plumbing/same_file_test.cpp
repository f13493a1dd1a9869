#include "plumbing/same_file.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct stat file(dev_t dev, ino_t ino, mode_t type = S_IFREG, off_t size = 100) {
  struct stat st {};
  st.st_dev = dev;
  st.st_ino = ino;
  st.st_mode = type | 0644;
  st.st_size = size;
  return st;
}

// A node in /dev, numbered after its device unless another is given.
struct stat device(dev_t rdev, ino_t node = 0) {
  struct stat st = file(5, node != 0 ? node : rdev, S_IFBLK);
  st.st_rdev = rdev;
  return st;
}

plumbing::Storage disk(dev_t whole, bool partition = false) {
  plumbing::Storage s;
  s.known = true;
  s.whole = whole;
  s.partition = partition;
  return s;
}

plumbing::Storage loop_over(const struct stat& backing, dev_t whole, bool partition = false) {
  plumbing::Storage s = disk(whole, partition);
  s.backed = true;
  s.backing = backing;
  return s;
}

TEST(SameFile, TheInodeCountsOnlyOnItsOwnDevice) {
  // Two file systems number their inodes alike: the same number elsewhere is another file.
  EXPECT_TRUE(plumbing::same_file(file(1, 42), file(1, 42)));
  EXPECT_FALSE(plumbing::same_file(file(1, 42), file(2, 42)));
  EXPECT_FALSE(plumbing::same_file(file(1, 42), file(1, 43)));
  const plumbing::Storage none;
  EXPECT_FALSE(plumbing::overlaps(file(1, 42), none, file(2, 42), none));
  EXPECT_FALSE(plumbing::writes_over_input(file(1, 42), file(2, 42)));
  EXPECT_FALSE(plumbing::reads_back(file(1, 42), 0, file(2, 42), true, 0));
}

TEST(SameFile, WhatWritingTheOutputWouldDestroy) {
  const plumbing::Storage none;
  const struct stat image = file(1, 7);
  const struct stat fifo = file(1, 8, S_IFIFO);
  const struct stat null = file(5, 9, S_IFCHR);
  const struct {
    const char* what;
    struct stat in;
    plumbing::Storage in_storage;
    struct stat out;
    plumbing::Storage out_storage;
    bool refused;
  } cases[] = {
      {"the same file", image, none, file(1, 7), none, true},
      {"another file", image, none, file(1, 10), none, false},
      {"the same FIFO", fifo, none, fifo, none, true},
      {"a character device into itself", null, none, null, none, false},
      {"another node of the device", device(0x700), none, device(0x700, 1), none, true},
      {"another device", device(0x700), disk(0x700), device(0x701), disk(0x701), false},
      {"a partition into its disk", device(0x701), disk(0x700, true), device(0x700), disk(0x700),
       true},
      {"a disk into its partition", device(0x700), disk(0x700), device(0x701), disk(0x700, true),
       true},
      {"two partitions of one disk", device(0x701), disk(0x700, true), device(0x702),
       disk(0x700, true), false},
      {"a partition, its disk unknown", device(0x701), none, device(0x700), none, false},
      {"a loop device into its file", device(0x700), loop_over(image, 0x700), file(1, 7), none,
       true},
      {"a file into its loop device", image, none, device(0x700), loop_over(image, 0x700), true},
      {"a file into a partition of its loop device", image, none, device(0x701),
       loop_over(image, 0x700, true), true},
      {"a loop device into another file", device(0x700), loop_over(image, 0x700), file(1, 10), none,
       false},
      {"a loop device into a file of the same number elsewhere", device(0x700),
       loop_over(image, 0x700), file(2, 7), none, false},
      {"a loop device into the device it reads", device(0x700), loop_over(device(0x800), 0x700),
       device(0x800, 2), disk(0x800), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plumbing::overlaps(c.in, c.in_storage, c.out, c.out_storage), c.refused) << c.what;
  }
}

TEST(SameFile, StandardOutputThatWritesIntoItsInput) {
  const struct stat in = file(1, 7, S_IFREG, 100);
  const struct {
    const char* what;
    off_t in_position;
    bool appending;
    off_t out_position;
    bool refused;
  } cases[] = {
      {"appending", 0, true, 100, true},
      {"appending, all read", 100, true, 100, true},
      {"over bytes not read yet", 0, false, 50, true},
      {"over bytes read already", 100, false, 50, true},
      {"past the bytes still to read", 0, false, 100, true},
      {"past the end, all read", 100, false, 100, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(plumbing::reads_back(in, c.in_position, in, c.appending, c.out_position), c.refused)
        << c.what;
  }
  const struct stat empty = file(1, 8, S_IFREG, 0);
  EXPECT_FALSE(plumbing::reads_back(empty, 0, empty, false, 0));  // "> f" emptied it first
  EXPECT_FALSE(plumbing::reads_back(in, 0, file(1, 9), true, 0));
  const struct stat fifo = file(1, 9, S_IFIFO, 0);
  EXPECT_FALSE(plumbing::reads_back(fifo, 0, fifo, true, 0));
}

}  // namespace
