#include "export/output.hpp"

#include "plumbing/descriptors.hpp"

namespace exporter {

bool drain_to_descriptor(void* context, std::string_view bytes) {
  return plumbing::write_all(*static_cast<const int*>(context), bytes);
}

}  // namespace exporter
