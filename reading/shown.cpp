#include "reading/shown.hpp"

#include <utf8proc.h>

namespace reading {

int columns(char32_t c) { return utf8proc_charwidth(static_cast<utf8proc_int32_t>(c)); }

}  // namespace reading
