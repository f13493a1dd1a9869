// A movie as one self-contained HTML5 page: its shown text in one <pre> on a dark background,
// in a 16-colour palette with bold and reverse video. Every character is written as text,
// never as markup; the only elements in the body are the <pre> and the writer's own spans.
#pragma once

#include <cstdint>
#include <string_view>

#include "export/look.hpp"
#include "export/output.hpp"
#include "reading/text.hpp"

namespace exporter {

// A sink for read_movie. begin() writes everything up to the <pre>; end() closes the page.
class Html {
 public:
  explicit Html(Output& out) : out_(out) {}

  // `charset`: the name of the set the movie is read in, told in the head.
  void begin(std::string_view title, std::string_view charset = reading::kDefaultCharsetName);
  void put(char32_t c, reading::Style style);
  void end();

  void record_start(std::int64_t /*ms*/, bool /*annotation*/) {}
  void record_end() {}
  bool failed() const { return out_.failed(); }

 private:
  void restyle(Look look);

  Output& out_;
  Look look_;             // of the last character written
  bool started_ = false;  // a character has been written into the <pre>
};

}  // namespace exporter
