// Buffered output for the exporters: bytes gather in a fixed buffer and go to a drain when
// it is full or flushed. The first failure sticks, so a writer checks once at the end and a
// full disk stops the run at the next check rather than after the whole movie.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace exporter {

inline constexpr std::size_t kOutputBufferSize = std::size_t{64} * 1024;

class Output {
 public:
  // Takes a run of bytes; false when they could not all be written.
  using Drain = bool (*)(void* context, std::string_view bytes);

  Output(Drain drain, void* context) : drain_(drain), context_(context) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void write(char c) {
    if (used_ == buf_.size()) flush();
    buf_[used_++] = c;
  }

  void write(std::string_view s) {
    if (s.size() > buf_.size() - used_) {
      flush();
      if (s.size() > buf_.size()) {
        drain(s);
        return;
      }
    }
    s.copy(buf_.data() + used_, s.size());
    used_ += s.size();
  }

  // Hands everything held to the drain; false once anything has failed.
  bool flush() {
    drain({buf_.data(), used_});
    used_ = 0;
    return !failed_;
  }

  bool failed() const { return failed_; }

 private:
  void drain(std::string_view s) {
    if (!failed_ && !s.empty() && !drain_(context_, s)) failed_ = true;
  }

  Drain drain_;
  void* context_;
  std::array<char, kOutputBufferSize> buf_;  // no need to clear: only what is written is read
  std::size_t used_ = 0;
  bool failed_ = false;
};

// A drain to a descriptor: writes until all is taken (plumbing::write_all).
// `context` points to the descriptor.
bool drain_to_descriptor(void* context, std::string_view bytes);

}  // namespace exporter
