// Feeds arbitrary movie bytes through interpretation, pacing and rendering, cut into
// records and pieces the way the viewer reads them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "reading/interpret.hpp"
#include "viewer/render.hpp"

namespace {

WINDOW* text_window() {
  static WINDOW* win = [] {
    FILE* out = std::fopen("/dev/null", "w");
    FILE* in = std::fopen("/dev/null", "r");
    if (out == nullptr || in == nullptr || newterm("xterm-256color", out, in) == nullptr) {
      std::abort();
    }
    start_color();
    viewer::setup_colours();
    WINDOW* w = newwin(22, 80, 0, 0);
    scrollok(w, TRUE);
    return w;
  }();
  return win;
}

void check(bool ok) {
  if (!ok) __builtin_trap();
}

bool within(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

// One read: up to `limit` bytes, through the first newline if it comes sooner.
std::size_t read_length(const std::uint8_t* data, std::size_t size, std::size_t limit) {
  const std::size_t n = size < limit ? size : limit;
  const void* nl = std::memchr(data, '\n', n);
  return nl == nullptr ? n
                       : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nl) - data) + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  WINDOW* win = text_window();
  wclear(win);
  wattrset(win, A_NORMAL);

  // The first byte picks the read size: the viewer's own, or a small one so that records
  // come in many pieces and escapes are cut.
  const std::size_t limit = data[0] % 16 == 0 ? reading::kLineBufferSize - 1 : 1 + data[0] % 16;
  ++data;
  --size;

  reading::Playback pb;
  viewer::RenderState st;
  bool in_record = false;  // the last piece did not end its record
  bool drawing = false;    // ... and it was of a line or prompt whose text goes on
  reading::Kind kind = reading::Kind::other;

  while (size > 0) {
    const std::size_t n = read_length(data, size, limit);
    // An exact copy, so that a read past the piece is caught.
    const std::unique_ptr<char[]> piece(new char[n]);
    std::memcpy(piece.get(), data, n);
    const std::string_view bytes(piece.get(), n);
    data += n;
    size -= n;
    const bool ends_record = bytes.back() == '\n';

    if (!in_record) {
      const reading::Line line = reading::interpret(bytes, pb);
      check(within(line.text, bytes) && within(line.annotation, bytes));
      check(std::memchr(pb.command.data(), '\0', pb.command.size()) != nullptr);
      if (line.kind == reading::Kind::annotation) viewer::draw_annotation(win, line.annotation);

      for (const int speed : {0, 1, 5, 6, 20}) {
        reading::Playback at = pb;
        at.speed = speed;
        const std::int32_t timeout = reading::pace(at);
        check(at.raw_delay == pb.delay && at.delay == timeout);
        check(speed != 0 || timeout == -1);
      }
      pb.speed = reading::clamp_speed(static_cast<int>(static_cast<unsigned char>(bytes[0])) - 100);
      reading::pace(pb);

      kind = line.kind;
      if (!line.text.empty()) viewer::draw_text(win, line.text, st);
      drawing = (kind == reading::Kind::line || kind == reading::Kind::prompt) && !line.text_ended;
    } else if (drawing) {
      const reading::Line line = reading::continuation(bytes, kind);
      check(within(line.text, bytes));
      viewer::draw_text(win, line.text, st);
      drawing = !line.text_ended;
    }

    in_record = !ends_record;
    if (!in_record) viewer::end_text(win, st);
  }
  viewer::end_text(win, st);
  return 0;
}
