#include "export/command.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "export/cast.hpp"
#include "export/html.hpp"
#include "export/movie.hpp"
#include "export/output.hpp"
#include "export/width.hpp"
#include "plumbing/descriptors.hpp"
#include "plumbing/messages.hpp"
#include "plumbing/pair.hpp"
#include "reading/charset.hpp"
#include "reading/pieces.hpp"

namespace exporter {
namespace {

// The cast's width (see Width), when the input can be read twice (it seeks); else nothing is
// read and the narrowest width does.
Outcome measure(reading::Pieces& pieces, reading::Charset& charset, std::int64_t& widest) {
  widest = 0;
  if (!pieces.seek(0)) return Outcome::done;
  Width width;
  const Outcome outcome = read_movie(pieces, width, &charset);
  if (outcome != Outcome::done) return outcome;
  widest = width.cast_width();
  return pieces.seek(0) ? Outcome::done : Outcome::read_error;
}

Outcome write_html(reading::Pieces& pieces, reading::Charset& charset, Output& out,
                   std::string_view title) {
  Html html(out);
  html.begin(title, charset.name());
  const Outcome outcome = read_movie(pieces, html, &charset);
  // The size is what was read, which a pipe knows only now.
  html.end(pieces.offset());
  return outcome == Outcome::done && html.failed() ? Outcome::sink_failed : outcome;
}

Outcome write_cast(reading::Pieces& pieces, reading::Charset& charset, Output& out,
                   std::string_view title) {
  std::int64_t widest = 0;
  const Outcome measured = measure(pieces, charset, widest);
  if (measured != Outcome::done) return measured;
  Cast cast(out);
  cast.begin(widest, title, charset.name());
  const Outcome outcome = read_movie(pieces, cast, &charset);
  cast.end();
  return outcome;
}

// The whole page or cast, from the movie's pieces to the output.
Outcome write_movie(Format format, reading::Pieces& pieces, reading::Charset& charset, Output& out,
                    std::string_view title) {
  return format == Format::html ? write_html(pieces, charset, out, title)
                                : write_cast(pieces, charset, out, title);
}

}  // namespace

int run(int argc, char* argv[], Format format) {
  if (!plumbing::guard_standard_descriptors()) {
    plumbing::report("%s: %s\n", plumbing::message::kGuard, std::strerror(errno));
    return 1;
  }
  if (argc != 3) {
    const char* name = argc > 0 && argv[0] != nullptr ? argv[0]
                       : format == Format::html       ? "vorlan-tohtml"
                                                      : "vorlan-tocast";
    plumbing::report("Usage: %s infile outfile\n", name);
    return 1;
  }
  plumbing::Pair pair;
  if (!plumbing::open_pair(argv[1], argv[2], plumbing::Dash::standard_output, pair)) return 1;

  Output output(drain_to_descriptor, &pair.out_fd);
  // The set is decided from the movie's start, which the reading then goes on from.
  reading::Sample sample(pair.in.get());
  reading::Pieces pieces(pair.in.get(), sample.bytes());
  const Outcome outcome =
      sample.failed() ? Outcome::read_error
                      : write_movie(format, pieces, sample.charset(), output, file_name(argv[1]));

  bool written = output.flush() && outcome != Outcome::sink_failed;
  written = plumbing::close_output(pair) && written;
  if (outcome == Outcome::read_error) {
    plumbing::report("%s", plumbing::message::kReading);
    return 1;
  }
  if (!written) {
    plumbing::report("%s", plumbing::message::kWriting);
    return 1;
  }
  return 0;
}

}  // namespace exporter
