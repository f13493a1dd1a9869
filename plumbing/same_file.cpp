#include "plumbing/same_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>

#if defined(__linux__)
#include <sys/sysmacros.h>

#include <climits>
#endif

namespace plumbing {
namespace {

#if defined(__linux__)
using Path = std::array<char, PATH_MAX>;

// The first line of a small sysfs file, its newline taken off; false when there is none.
bool read_line(const char* path, Path& line) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = ::read(fd, line.data(), line.size() - 1);
  ::close(fd);
  if (n <= 0) return false;
  line[static_cast<std::size_t>(n)] = '\0';
  line[std::strcspn(line.data(), "\n")] = '\0';
  return line[0] != '\0';
}

bool join(Path& to, const char* dir, const char* name) {
  const int n = std::snprintf(to.data(), to.size(), "%s/%s", dir, name);
  return n > 0 && static_cast<std::size_t>(n) < to.size();
}
#endif

bool is_block(const struct stat& st) { return S_ISBLK(st.st_mode); }

// `file` is what the loop device described by `device` reads.
bool backs(const Storage& device, const struct stat& file) {
  if (!device.backed) return false;
  if (is_block(file)) return is_block(device.backing) && device.backing.st_rdev == file.st_rdev;
  return same_file(device.backing, file);
}

}  // namespace

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

Storage storage_of(dev_t rdev) {
  Storage s;
#if defined(__linux__)
  Path dir{};
  Path file{};
  Path line{};
  std::snprintf(dir.data(), dir.size(), "/sys/dev/block/%u:%u", major(rdev), minor(rdev));
  if (::access(dir.data(), F_OK) != 0) return s;
  s.known = true;
  s.whole = rdev;
  // A partition's folder sits in its disk's folder, which names the disk's number. The
  // link's ".." is the folder that holds where it leads.
  if (join(file, dir.data(), "partition") && ::access(file.data(), F_OK) == 0) {
    s.partition = true;
    unsigned int maj = 0;
    unsigned int min = 0;
    if (!join(file, dir.data(), "../dev") || !read_line(file.data(), line) ||
        std::sscanf(line.data(), "%u:%u", &maj, &min) != 2 || !join(file, dir.data(), "..")) {
      return Storage{};
    }
    s.whole = makedev(maj, min);
    dir = file;
  }
  // The loop driver names the file it reads; a file deleted since is no one's to name.
  s.backed = join(file, dir.data(), "loop/backing_file") && read_line(file.data(), line) &&
             ::stat(line.data(), &s.backing) == 0;
#else
  (void)rdev;
#endif
  return s;
}

bool overlaps(const struct stat& in, const Storage& in_storage, const struct stat& out,
              const Storage& out_storage) {
  if (!S_ISREG(in.st_mode) && !is_block(in) && !S_ISFIFO(in.st_mode)) return false;
  if (same_file(in, out)) return true;
  if (is_block(in) && is_block(out)) {
    // Another node of the same device is the same device.
    if (in.st_rdev == out.st_rdev) return true;
    // A partition and its disk share the partition's bytes; two partitions share none.
    if (in_storage.known && out_storage.known && in_storage.whole == out_storage.whole &&
        !(in_storage.partition && out_storage.partition)) {
      return true;
    }
  }
  if (is_block(in) && backs(in_storage, out)) return true;
  return is_block(out) && backs(out_storage, in);
}

bool writes_over_input(const struct stat& in, const struct stat& out) {
  const Storage none;
  const Storage in_storage = is_block(in) ? storage_of(in.st_rdev) : none;
  const Storage out_storage = is_block(out) ? storage_of(out.st_rdev) : none;
  return overlaps(in, in_storage, out, out_storage);
}

bool reads_back(const struct stat& in, off_t in_position, const struct stat& out, bool appending,
                off_t out_position) {
  if (!S_ISREG(in.st_mode) || !S_ISREG(out.st_mode) || !same_file(in, out)) return false;
  return appending || out_position < in.st_size || in_position < in.st_size;
}

bool output_reads_back(int in_fd, int out_fd) {
  struct stat in {};
  struct stat out {};
  if (::fstat(in_fd, &in) != 0 || ::fstat(out_fd, &out) != 0) return false;
  // A block device written from its start overwrites whatever of the input it holds.
  if (S_ISBLK(out.st_mode)) return writes_over_input(in, out);
  const int flags = ::fcntl(out_fd, F_GETFL);
  const bool appending = flags != -1 && (flags & O_APPEND) != 0;
  const off_t in_position = ::lseek(in_fd, 0, SEEK_CUR);
  const off_t out_position = ::lseek(out_fd, 0, SEEK_CUR);
  // A loop device (or a partition of one) over the output file reads what is written to
  // the file anywhere within the bytes it covers, which all lie before the file's end.
  if (S_ISBLK(in.st_mode) && S_ISREG(out.st_mode) && backs(storage_of(in.st_rdev), out)) {
    return appending || out_position < 0 || out_position < out.st_size;
  }
  return reads_back(in, in_position < 0 ? 0 : in_position, out, appending,
                    out_position < 0 ? 0 : out_position);
}

}  // namespace plumbing
