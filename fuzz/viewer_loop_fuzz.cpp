// Runs the viewer's whole main loop on a movie and a script of keys, both taken from the
// input, against a scripted terminal: seeks across long records, the end marker, resizes,
// typed-ahead keys, and a measured size that the file does not keep. Checks what the user
// is shown, not only that nothing crashes: every seek report's numbers, the offsets on the
// status line, the cursor, and that the loop ends once the keys run out with q.
#include <algorithm>
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "reading/pieces.hpp"
#include "viewer/grid.hpp"
#include "viewer/play.hpp"

// Last: it defines check(), a name no header may see.
#include "fuzz/check.hpp"

namespace {

// Script bytes: most are keys as typed; a few stand for what is not a key.
struct ScriptedTerminal {
  std::string_view script;
  std::string_view movie;  // the file's bytes as they are
  int rows_now = 6;
  int cols_now = 30;
  viewer::Clock::time_point clock{};
  int frames = 0;

  viewer::Clock::time_point now() {
    clock += std::chrono::milliseconds(7);
    return clock;
  }

  void frame(const viewer::Grid& grid, const viewer::Status& st, bool /*place_cursor*/) {
    ++frames;
    // Offsets shown are never beyond what the file holds.
    check(st.offset >= 0 && st.offset <= static_cast<std::int64_t>(movie.size()));
    check(st.speed >= reading::kMinSpeed && st.speed <= reading::kMaxSpeed);
    check(grid.cursor_row() >= 0 && grid.cursor_row() < grid.rows());
    check(grid.cursor_col() >= 0 && grid.cursor_col() < grid.cols());
  }

  int key(int /*wait_ms*/) {
    if (script.empty()) return 'q';
    const auto c = static_cast<unsigned char>(script.front());
    script.remove_prefix(1);
    switch (c) {
      case 0x01: return viewer::kNoKey;
      case 0x02:
        // A new size from the next byte; below three rows of terminal, no text rows.
        if (!script.empty()) {
          const auto b = static_cast<unsigned char>(script.front());
          script.remove_prefix(1);
          rows_now = b % 12 - 2;
          cols_now = 1 + b % 97;
        }
        return viewer::kResized;
      case 0x03: return 0x109;  // a function key
      default: return c;
    }
  }

  int text_rows() const { return rows_now; }
  int cols() const { return cols_now; }

  void seeked(std::int64_t from, std::int64_t target, std::int64_t landing) const {
    const auto length = static_cast<std::int64_t>(movie.size());
    check(target >= 0);
    check(from >= 0 && from <= length);
    // Landing: just after a newline, or at the end of what the file holds.
    check(landing >= std::min(target, length) && landing <= length);
    check(landing == length ||
          (landing > 0 && movie[static_cast<std::size_t>(landing) - 1] == '\n'));
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // Byte 0: the script's length (kept short: at the end every key replays a pass); byte 1:
  // how far the measured size is off the file's; byte 2: the longest piece a read gives,
  // small so that long records come in many pieces.
  const std::size_t keys = std::min<std::size_t>(data[0] % 48, size - 3);
  const int size_error = static_cast<int>(data[1] % 16) - 8;
  const std::size_t piece_limit = 8 + std::size_t{data[2]} * 4;
  const std::string_view script(reinterpret_cast<const char*>(data) + 3, keys);
  const std::string_view movie(reinterpret_cast<const char*>(data) + 3 + keys, size - 3 - keys);

  // A movie that grew or shrank since it was measured.
  const std::int64_t measured = std::max<std::int64_t>(
      0, static_cast<std::int64_t>(movie.size()) + std::int64_t{size_error} * 7);
  ScriptedTerminal term{script, movie};
  reading::Pieces pieces(movie, piece_limit);
  viewer::Grid grid(term.rows_now, term.cols_now);
  const int status = viewer::Player(pieces, measured, grid, term).run();
  check(status == viewer::kExitQuit);
  return 0;
}
