// The lenient reading of a movie, record by record: each record is handed over in the pieces
// one read gives (a record of any length is read whole), interpreted by its first piece, and
// what it shows goes to `put(char32_t, Style)` (see text.hpp). The viewer and the exporters
// share it, so that a page or a cast shows what the screen shows.
#pragma once

#include <string_view>

#include "reading/interpret.hpp"
#include "reading/text.hpp"

namespace reading {

// Shown before an annotation's text, in the program's own look.
inline constexpr std::string_view kAnnotationPrefix = "##==> ";

// Lives for the whole run.
struct Reading {
  Playback pb;
  TextState text;
  Kind kind = Kind::other;    // of the record being read
  bool showing = false;       // its text goes on (no zero byte met yet)
  bool before_space = false;  // an annotation whose first space is still to come
};

// A piece ends its record when it ends with the record's newline.
constexpr bool record_goes_on(std::string_view piece) {
  return !piece.empty() && piece.back() != '\n';
}

// The first (or only) piece of a record, interpreted: sets the delay, the command word and
// the kind. A writer that must know the kind before the record's characters (the cast's
// marker) calls this, then show_first.
inline Interpretation begin_record(std::string_view piece, Reading& r) {
  const Interpretation line = interpret(piece, r.pb);
  r.kind = line.kind;
  r.showing = false;
  r.before_space = false;
  return line;
}

// Shows the text or the annotation of a first piece that begin_record interpreted.
template <class Put>
void show_first(const Interpretation& line, Reading& r, Put&& put) {
  switch (line.kind) {
    case Kind::line:
    case Kind::prompt:
      text_piece(line.text, r.text, put);
      r.showing = !line.text_ended;
      break;
    case Kind::annotation: {
      Style mark = r.text.pen;
      mark.reverse = true;
      // A writer that treats the annotation's text apart from its mark takes the mark whole.
      if constexpr (requires { put.mark(kAnnotationPrefix, mark); }) {
        put.mark(kAnnotationPrefix, mark);
      } else {
        put_ascii(kAnnotationPrefix, mark, put);
      }
      annotation_piece(line.annotation, r.text, put);
      r.showing = !line.text_ended;
      r.before_space = !line.annotation_spaced;
      break;
    }
    default: break;
  }
}

// The first (or only) piece of a record: interpreted, then shown.
template <class Put>
Interpretation first_piece(std::string_view piece, Reading& r, Put&& put) {
  const Interpretation line = begin_record(piece, r);
  show_first(line, r, put);
  return line;
}

// A later piece of the same record.
template <class Put>
void next_piece(std::string_view piece, Reading& r, Put&& put) {
  if (!r.showing) return;
  const Interpretation more = continuation(piece, r.kind);
  r.showing = !more.text_ended;
  std::string_view text = more.text;
  if (r.kind == Kind::annotation) {
    if (r.before_space) {
      const std::size_t space = text.find(' ');
      if (space == std::string_view::npos) return;
      r.before_space = false;
      text.remove_prefix(space + 1);
    }
    annotation_piece(text, r.text, put);
  } else {
    text_piece(text, r.text, put);
  }
}

// The record is complete.
template <class Put>
void record_end(Reading& r, Put&& put) {
  if (r.kind == Kind::line || r.kind == Kind::prompt || r.kind == Kind::annotation) {
    text_end(r.text, r.kind, put);
  }
  r.showing = false;
  r.before_space = false;
}

}  // namespace reading
