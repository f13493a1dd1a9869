// Feeds arbitrary movie bytes through the viewer's reading (interpretation, pacing, escape and
// character decoding) into its own cells, cut into records and pieces the way they are read,
// and checks that a record cut anywhere shows what it shows whole, in the default rule or in a
// named character set; the set's detection reads the same bytes.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "reading/charset.hpp"
#include "reading/record.hpp"
#include "viewer/grid.hpp"

// Last: it defines check(), a name no header may see.
#include "fuzz/check.hpp"

namespace {

bool within(std::string_view part, std::string_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

struct Put {
  viewer::Grid* grid;
  void operator()(char32_t c, reading::Style style) const { grid->put(c, style); }
  void ascii(std::string_view run, reading::Style style) const { grid->put_ascii(run, style); }
};

bool same(const viewer::Grid& a, const viewer::Grid& b) {
  if (a.cursor_row() != b.cursor_row() || a.cursor_col() != b.cursor_col()) return false;
  for (int y = 0; y < a.rows(); ++y) {
    for (int x = 0; x < a.cols(); ++x) {
      if (!(a.row(y)[x] == b.row(y)[x])) return false;
    }
  }
  return true;
}

// Today's rule and a few named sets, each opened once: a double-byte set with one-byte and
// four-byte characters, one whose trail bytes can be ASCII, and a single-byte one.
reading::Charset* charset(unsigned pick) {
  static reading::Charset sets[] = {
      reading::Charset{},
      reading::Charset::named("GB18030"),
      reading::Charset::named("SHIFT_JIS"),
      reading::Charset::named("KOI8-R"),
  };
  return &sets[pick % 4];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_CTYPE, "C.UTF-8");  // wide and combining characters take their widths
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // The first bytes pick the size of the later pieces, the character set and the window's
  // size.
  const std::size_t step = 1 + data[0] % 64;
  reading::Charset* set = charset(data[0] / 64);
  const int rows = 1 + data[1] % 8;
  const int cols = 1 + data[2] % 40;
  data += 3;
  size -= 3;
  const reading::Charset decided =
      reading::decide(reading::examine({reinterpret_cast<const char*>(data), size}));
  check(!decided.name().empty());

  viewer::Grid cut(rows, cols);
  viewer::Grid whole(rows, cols);
  reading::Reading in_pieces;
  reading::Reading at_once;
  in_pieces.text.charset = set;
  at_once.text.charset = set;
  unsigned records = 0;

  while (size > 0) {
    const void* nl = std::memchr(data, '\n', size);
    const std::size_t n =
        nl == nullptr ? size
                      : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nl) - data) + 1;
    // An exact copy, so that a read past the record is caught.
    const std::unique_ptr<char[]> copy(new char[n]);
    std::memcpy(copy.get(), data, n);
    const std::string_view record(copy.get(), n);
    data += n;
    size -= n;

    const reading::Interpretation line = reading::first_piece(record, at_once, Put{&whole});
    check(within(line.text, record) && within(line.annotation, record));
    check(std::memchr(at_once.pb.command.data(), '\0', at_once.pb.command.size()) != nullptr);
    reading::record_end(at_once, Put{&whole});
    std::size_t word = 0;
    reading::decode_text(at_once.pb.command.data(), set, [&](char32_t) { ++word; });
    check(word <= reading::kCommandWordMax);

    // The same record in pieces: a first one as long as a read gives, then small ones.
    std::string_view rest = record;
    std::string_view piece = rest.substr(0, std::min<std::size_t>(rest.size(), 999));
    rest.remove_prefix(piece.size());
    reading::first_piece(piece, in_pieces, Put{&cut});
    while (!rest.empty()) {
      piece = rest.substr(0, std::min(rest.size(), step));
      rest.remove_prefix(piece.size());
      reading::next_piece(piece, in_pieces, Put{&cut});
    }
    reading::record_end(in_pieces, Put{&cut});
    // Every record's cells at the end of the input, and now and then on the way.
    if (++records % 16 == 0 || size == 0) check(same(cut, whole));
    check(in_pieces.text.pen == at_once.text.pen);

    for (const int speed : {0, 1, 5, 6, 20}) {
      reading::Playback at = at_once.pb;
      at.speed = speed;
      const std::int32_t timeout = reading::pace(at);
      check(at.raw_delay == at_once.pb.delay && at.delay == timeout);
      check(speed != 0 || timeout == -1);
    }
    reading::pace(at_once.pb);
    reading::pace(in_pieces.pb);
    check(whole.cursor_row() >= 0 && whole.cursor_row() < rows);
    check(whole.cursor_col() >= 0 && whole.cursor_col() < cols);
  }
  return 0;
}
