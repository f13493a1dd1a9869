// Reads a whole movie the way the viewer does at normal speed with no key pressed, and hands
// a sink each record's start (its time and whether it is an annotation), every character it
// shows with its style, and its end. Time is the sum of the pauses before the record: each
// record's timeout, where a negative one (the viewer would wait for a key) counts as none.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "reading/pieces.hpp"
#include "reading/record.hpp"

namespace exporter {

enum class Outcome { done, read_error, sink_failed };

namespace detail {

// What the reading shows, handed to the sink: a run of printable ASCII whole where the sink
// takes one, and an annotation's mark apart from its text.
template <class Sink>
struct Shows {
  Sink& sink;
  void operator()(char32_t c, reading::Style style) { sink.put(c, style); }
  void ascii(std::string_view run, reading::Style style) {
    if constexpr (requires { sink.ascii(run, style); }) {
      sink.ascii(run, style);
    } else {
      for (const char c : run) sink.put(static_cast<char32_t>(c), style);
    }
  }
  void mark(std::string_view mark, reading::Style style) {
    if constexpr (requires { sink.mark(mark, style); }) {
      sink.mark(mark, style);
    } else {
      ascii(mark, style);
    }
  }
};

}  // namespace detail

// The sink has: record_start(std::int64_t ms, bool annotation), put(char32_t, reading::Style),
// record_end(), and failed() (true stops the reading). It may have
// ascii(std::string_view, reading::Style), a run of printable ASCII shown; mark(std::string_view,
// reading::Style), the printable ASCII shown before an annotation's text, so that the put()
// calls after it up to record_end are the text; and movie_end(std::int64_t ms), told when the
// viewer reaches its end marker (it does not pause after the last record).
// `charset`: the movie's decided set (none: the default rule).
template <class Sink>
Outcome read_movie(reading::Pieces& pieces, Sink& sink, reading::Charset* charset = nullptr) {
  reading::Reading r;
  r.text.charset = charset;
  std::int64_t ms = 0;
  std::int64_t last = 0;  // the last record's time: the viewer shows its end marker then
  detail::Shows<Sink> put{sink};
  bool more = true;
  while (more) {
    std::string_view piece = pieces.next();
    // A failed read ends the run at once: a later read may succeed, past the lost bytes.
    if (pieces.failed()) return Outcome::read_error;
    if (piece.empty()) break;
    // The sink learns the kind before any character arrives.
    const reading::Interpretation line = reading::begin_record(piece, r);
    last = ms;
    sink.record_start(ms, line.kind == reading::Kind::annotation);
    reading::show_first(line, r, put);
    while (reading::record_goes_on(piece)) {
      piece = pieces.next();
      if (pieces.failed()) return Outcome::read_error;
      if (piece.empty()) {
        more = false;  // the input ended inside the record
        break;
      }
      reading::next_piece(piece, r, put);
    }
    reading::record_end(r, put);
    ms += std::max<std::int64_t>(0, reading::pace(r.pb));
    sink.record_end();
    if (sink.failed()) return Outcome::sink_failed;
  }
  if constexpr (requires { sink.movie_end(last); }) sink.movie_end(last);
  return Outcome::done;
}

}  // namespace exporter
