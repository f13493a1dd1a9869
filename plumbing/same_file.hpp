// Whether writing one file would destroy the other, which is also the program's input.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace plumbing {

// The same file: the same inode on the same device.
bool same_file(const struct stat& a, const struct stat& b);

// What a block device is made of, as far as the system tells: the whole disk it is (or is a
// partition of), and the file a loop device over that disk reads, if any. On Linux from
// /sys/dev/block/MAJ:MIN and the loop driver's backing_file there; elsewhere nothing is
// known, and only the device itself counts.
struct Storage {
  bool known = false;
  bool partition = false;
  dev_t whole = 0;      // the whole disk's device number
  bool backed = false;  // the whole disk is a loop device over `backing`
  struct stat backing {};
};

// Looks up the device numbered `rdev`.
Storage storage_of(dev_t rdev);

// Writing `out` would empty or overwrite the input `in`, or feed a FIFO what it reads back:
// the same file however the path is spelled, another node of the same block device, a
// partition and its whole disk, a loop device and the file it reads (`*_storage` describe
// each side's block device, when it is one). A character device (/dev/null, a terminal)
// reads back nothing it was given, and two partitions of one disk share no bytes.
bool overlaps(const struct stat& in, const Storage& in_storage, const struct stat& out,
              const Storage& out_storage);

// overlaps(), with each side's block device looked up.
bool writes_over_input(const struct stat& in, const struct stat& out);

// An output already open (standard output) that is the input's own regular file and that
// copying would write into: appending to it, positioned before its end, or positioned past
// the bytes still to be read, which it would then read back for ever.
bool reads_back(const struct stat& in, off_t in_position, const struct stat& out, bool appending,
                off_t out_position);

// reads_back() for the open descriptors `in_fd` and `out_fd`; an output that is a block
// device holding the input (writes_over_input) counts too, and so does an input that is a
// loop device over the output file when the output appends or stands before the file's end.
bool output_reads_back(int in_fd, int out_fd);

}  // namespace plumbing
