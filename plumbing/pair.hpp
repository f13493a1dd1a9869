// The front door of the programs that write a file named beside their input: "IN OUT".
#pragma once

#include "plumbing/descriptors.hpp"

namespace plumbing {

// Whether OUT "-" is standard output or a file named "-".
enum class Dash { file, standard_output };

struct Pair {
  Descriptor in;
  Descriptor out;  // not valid when the output is standard output
  int out_fd = -1;
};

// Opens the input; refuses a directory, which opens but never reads; refuses an output that
// is the input, standard output included; only then opens or creates the output. Each
// refusal is reported to standard error with its fixed message, and leaves the output as it
// was. False on any refusal.
bool open_pair(const char* in_path, const char* out_path, Dash dash, Pair& pair);

// Closes the output, checked; standard output too, as nothing more goes to it.
bool close_output(Pair& pair);

}  // namespace plumbing
