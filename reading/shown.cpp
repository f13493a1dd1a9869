#include "reading/shown.hpp"

#include <utf8proc.h>

namespace reading {

int columns_beyond_ascii(char32_t c) {
  const auto point = static_cast<utf8proc_int32_t>(c);
  const int width = utf8proc_charwidth(point);
  if (width != 0) return width;
  // Spacing marks take a column of their own, as East Asian Width and the C library count
  // them, and so do the line and paragraph separators, which the viewer draws as one.
  switch (utf8proc_category(point)) {
    case UTF8PROC_CATEGORY_MC:
    case UTF8PROC_CATEGORY_ZL:
    case UTF8PROC_CATEGORY_ZP: return 1;
    default: return 0;
  }
}

}  // namespace reading
