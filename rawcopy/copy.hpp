#pragma once

namespace rawcopy {

enum class copy_result { done, read_failed, write_failed };

// Copies `in` to `out` until end of input through one static 4096-byte buffer.
// On read_failed or write_failed, errno holds the cause.
copy_result copy_descriptor(int in, int out = 1);

}  // namespace rawcopy
