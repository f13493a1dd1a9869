// The exporters' command line, shared by both programs: "NAME IN OUT", the pair opened by
// the front door every program shares, every write and the close checked.
#pragma once

namespace exporter {

enum class Format { html, cast };

// Runs a whole export; returns the exit status. Messages go to standard error.
int run(int argc, char* argv[], Format format);

}  // namespace exporter
