// The refusal shared by every program that writes a file named beside its input.
#pragma once

#include <sys/stat.h>

namespace vorlan {

// Writing `out` would empty a movie file that is also the input `in`, overwrite a movie on a
// block device with its own transcript, or feed a FIFO what it reads back, however the path
// is spelled. A character device (/dev/null, a terminal) reads back nothing it was given.
inline bool writes_over_input(const struct stat& in, const struct stat& out) {
  if (!S_ISREG(in.st_mode) && !S_ISBLK(in.st_mode) && !S_ISFIFO(in.st_mode)) return false;
  if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) return true;
  // Another node of the same block device is the same device.
  return S_ISBLK(in.st_mode) && S_ISBLK(out.st_mode) && in.st_rdev == out.st_rdev;
}

}  // namespace vorlan
