// Bytes written now and copied out later, in the order written: the page's chapter list,
// which is known only once the transcript is written. They gather in memory, and only when
// that fills do they go on to an unnamed temporary file, so that memory stays the same
// whatever the number of chapters and a pipe is still read only once.
#pragma once

#include <string_view>

#include "export/output.hpp"

namespace exporter {

class Spool {
 public:
  Spool() : out_(drain, this) {}
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // Where the bytes go. Its failure (no temporary file could be made or written) sticks.
  Output& out() { return out_; }
  bool failed() const { return out_.failed(); }
  // Writes everything held to `to`, in order; false when the spool failed.
  bool copy_to(Output& to);

 private:
  static bool drain(void* context, std::string_view bytes);

  Output out_;
  Output* to_ = nullptr;  // set while copying out what memory still holds
  int fd_ = -1;           // the temporary file, once memory has filled
};

}  // namespace exporter
