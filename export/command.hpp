// The exporters' command line, shared by both programs: "NAME IN OUT", the input opened
// first, the output refused when it is the input, every write and the close checked.
#pragma once

namespace exporter {

enum class Format { html, cast };

// Runs a whole export; returns the exit status. Messages go to standard error.
int run(int argc, char* argv[], Format format);

// True when writing to `out_path` (or, for "-", standard output) would write over the file
// open as `in_fd`: the same device and inode, for a regular file, a block device or a FIFO.
// A character device such as /dev/null may well be both.
bool is_input(int in_fd, const char* out_path);

}  // namespace exporter
