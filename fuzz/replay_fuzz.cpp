// Plays arbitrary movie bytes through the replay record loop in text mode, over in-memory
// streams, and checks the transcript against a plain model of the format: every line and
// prompt whole however long, sleeps dropped, the run stopped at the first bad record. Counts
// are checked against the C library's reading, held to 32 bits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "replay/records.hpp"

// Last: it defines check(), a name no header may see.
#include "fuzz/check.hpp"

namespace {

struct Expected {
  std::string out;
  int status = 0;
};

Expected model(std::string_view movie) {
  Expected e;
  while (!movie.empty()) {
    const std::size_t nl = movie.find('\n');
    std::string_view record = movie.substr(0, nl);
    movie.remove_prefix(nl == std::string_view::npos ? movie.size() : nl + 1);
    record = record.substr(0, record.find('\0'));
    if (record.starts_with("sleep ")) continue;
    if (record.starts_with("line ")) {
      e.out.append(record.substr(5)).push_back('\n');
    } else if (record.starts_with("prompt ")) {
      e.out.append(record.substr(7));
    } else {
      e.status = 1;
      return e;
    }
  }
  e.out.push_back('\n');
  return e;
}

// The whole count must be what the C library reads, held to 32 bits rather than undefined
// beyond them; and the same count fed a byte at a time must agree.
void check_count(std::string_view text) {
  const std::string terminated(text);
  const long wide = std::strtol(terminated.c_str(), nullptr, 10);
  check(replay::to_count(text) == std::clamp<long>(wide, INT32_MIN, INT32_MAX));
  replay::Count pieces;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (pieces.feed(text.substr(i, 1))) break;
  }
  check(pieces.value() == replay::to_count(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view movie(reinterpret_cast<const char*>(data), size);
  check_count(movie.substr(0, 64));

  std::string copy(movie);
  std::FILE* in = size > 0 ? fmemopen(copy.data(), copy.size(), "r") : std::tmpfile();
  char* out_buf = nullptr;
  std::size_t out_len = 0;
  char* err_buf = nullptr;
  std::size_t err_len = 0;
  std::FILE* out = open_memstream(&out_buf, &out_len);
  std::FILE* err = open_memstream(&err_buf, &err_len);
  if (in == nullptr || out == nullptr || err == nullptr) std::abort();

  const int status = replay::play(in, out, replay::Mode::text, err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);

  const Expected want = model(movie);
  const std::string_view got(out_buf, out_len);
  const std::string_view report(err_buf, err_len);
  check(status == want.status);
  if (want.status == 0) {
    check(got == want.out);
    check(report.empty());
  } else {
    // What was written before the bad record stays written; nothing after it.
    check(got == std::string_view(want.out));
    check(report.starts_with("Syntax error in line:\n"));
  }
  std::free(out_buf);
  std::free(err_buf);
  return 0;
}
