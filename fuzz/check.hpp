// The harnesses' checks. A failed one names itself and then stops as a crash would, so that
// the fuzzer keeps the input and the finding says what broke.
#pragma once

#include <cstdio>

// A macro, so that the message holds the failed expression and its line.
#define check(ok)                                                                 \
  do {                                                                            \
    if (!(ok)) {                                                                  \
      std::fprintf(stderr, "check failed, %s:%d: %s\n", __FILE__, __LINE__, #ok); \
      __builtin_trap();                                                           \
    }                                                                             \
  } while (false)
