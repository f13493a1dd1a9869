#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "export/cast.hpp"
#include "export/html.hpp"
#include "export/movie.hpp"
#include "export/output.hpp"
#include "export/width.hpp"
#include "reading/pieces.hpp"

namespace exporter {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

bool to_string(void* context, std::string_view bytes) {
  static_cast<std::string*>(context)->append(bytes);
  return true;
}

// A movie in a scratch file, read as the programs read it.
class Movie {
 public:
  explicit Movie(std::string_view bytes) : file_(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::fflush(file_);
    std::rewind(file_);
  }
  ~Movie() { std::fclose(file_); }
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;
  int fd() const { return fileno(file_); }

 private:
  std::FILE* file_;
};

template <class Sink>
Outcome read_into(std::string_view movie, Sink& sink) {
  const Movie m(movie);
  reading::Pieces pieces(m.fd());
  return read_movie(pieces, sink);
}

// What the page's <pre> holds, markup included.
std::string pre_of(std::string_view movie) {
  std::string page;
  Output out(to_string, &page);
  Html html(out);
  html.begin("m");
  EXPECT_EQ(read_into(movie, html), Outcome::done);
  html.end();
  EXPECT_TRUE(out.flush());
  const std::size_t begin = page.find("<pre>") + 5;
  return page.substr(begin, page.rfind("</pre>") - begin);
}

// The cast's events, the header left out.
std::string events_of(std::string_view movie) {
  std::string cast;
  Output out(to_string, &cast);
  Cast writer(out);
  writer.begin(0, "m");
  EXPECT_EQ(read_into(movie, writer), Outcome::done);
  writer.end();
  EXPECT_TRUE(out.flush());
  return cast.substr(cast.find('\n') + 1);
}

struct Case {
  std::string_view movie;
  std::string_view shows;
};

TEST(Html, ShownTextInSpansWhereTheLookChanges) {
  const Case cases[] = {
      {"line a\nprompt b> \nline c\nsleep 5\n", "a\nb&gt; c\n"},
      {"line \x1b[31mred\x1b[0m plain\n", "<span class=\"c1\">red</span> plain\n"},
      {"line \x1b[92mgreen\x1b[1mstill\n", "<span class=\"c2 b\">greenstill\n</span>"},
      {"line \x1b[31ma\x1b[30mb\x1b[mc\n", "<span class=\"c1\">abc\n</span>"},
      // Pairs beyond the palette look like white: no new span between them.
      {"line \x1b[37ma\x1b[3200mb\x1b[3255mc\x1b[0m\n", "<span class=\"c7\">abc</span>\n"},
      {"line \x1b[39m\x1b[915mbright\x1b[0m\n", "<span class=\"c15 b\">bright</span>\n"},
      {"line \x1b[34mx\n#1 note\r\n",
       "<span class=\"c4\">x\n</span><span class=\"c4 r\">##==&gt; note\n</span>"},
      {"#7\nline after\n", "<span class=\"r\">##==&gt; </span>after\n"},
      {"line <script>alert(\"x\")</script> & 'q'\n",
       "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;q&#39;\n"},
      {"#1 <img src=x onerror=alert(1)>\n",
       "<span class=\"r\">##==&gt; &lt;img src=x onerror=alert(1)&gt;\n</span>"},
      {"line \x01\b\x7f|a\rb|\xc2\x85|\xef\xbf\xbe|\t|\r\n", "^A^H^?|a^Mb|~E|\xef\xbf\xbd|\t|\n"},
      {"line caf\xe9 \xe2\x82\xac \x80\n", "caf\xc3\xa9 \xe2\x82\xac \xe2\x82\xac\n"},
      {"line cut\0 <b>\nline next\n"sv, "cutnext\n"},
      // A parser drops the newline just after <pre>; the page keeps the movie's own.
      {"line \nline a\n", "\n\na\n"},
      {"line \x1b[31m\nline a\n", "<span class=\"c1\">\na\n</span>"},
  };
  for (const Case& c : cases) EXPECT_EQ(pre_of(c.movie), c.shows) << c.movie;
}

TEST(Html, TitleIsEscapedAndPageIsWhole) {
  std::string page;
  Output out(to_string, &page);
  Html html(out);
  html.begin("<b>&\"'\x07\xe9.movie");
  html.end();
  ASSERT_TRUE(out.flush());
  EXPECT_NE(page.find("<title>&lt;b&gt;&amp;&quot;&#39;^G\xc3\xa9.movie</title>"),
            std::string::npos)
      << page;
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n"));
  EXPECT_TRUE(page.ends_with("<pre></pre>\n</body>\n</html>\n"));
}

TEST(Cast, EventsFollowThePacingAtNormalSpeed) {
  // A sleep pauses its count, an annotation its count in tenths; a record that sets no
  // pause keeps the one before it; a negative pause (a wait for a key) counts as none.
  const std::string_view movie =
      "line a\n"
      "sleep 1500\n"
      "line b\n"
      "#20 note\n"
      "line c\n"
      "sleep 300\n"
      "look\n"
      "line d\n"
      "sleep -5\n"
      "line e\n"
      "sleep 2\n"
      "#x\n"
      "prompt p>\n"
      "#-3 wait\n"
      "sleep 2147483647\n"
      "line f\n";
  EXPECT_EQ(events_of(movie),
            "[0.000000, \"o\", \"a\\r\\n\"]\n"
            "[1.500000, \"o\", \"b\\r\\n\"]\n"
            "[1.500000, \"m\", \"note\"]\n"
            "[1.500000, \"o\", \"\\u001b[0;7m##==> note\\r\\n\"]\n"
            "[3.500000, \"o\", \"\\u001b[0mc\\r\\n\"]\n"
            "[4.100000, \"o\", \"d\\r\\n\"]\n"
            "[4.100000, \"o\", \"e\\r\\n\"]\n"
            "[4.102000, \"m\", \"\"]\n"
            "[4.102000, \"o\", \"\\u001b[0;7m##==> \"]\n"
            "[4.302000, \"o\", \"\\u001b[0mp>\"]\n"
            "[4.302000, \"m\", \"wait\"]\n"
            "[4.302000, \"o\", \"\\u001b[0;7m##==> wait\\r\\n\"]\n"
            "[2147487.949000, \"o\", \"\\u001b[0mf\\r\\n\"]\n"s);
}

TEST(Cast, OwnEscapesForEachLookAndAResetAtTheEnd) {
  const Case cases[] = {
      {"line \x1b[31mred\x1b[0m plain\n",
       "[0.000000, \"o\", \"\\u001b[0;31mred\\u001b[0m plain\\r\\n\"]\n"},
      {"line \x1b[92mg\x1b[38mx\x1b[3200my\x1b[0m\n",
       "[0.000000, \"o\", \"\\u001b[0;1;32mg\\u001b[0;1;90mx\\u001b[0;1;37my\\u001b[0m\\r\\n\"]\n"},
      // The movie's own escapes never pass; the look they leave on is ended.
      {"line \x1b[4;5m\x1b[915mon\n#1 \x1b[2J\n",
       "[0.000000, \"o\", \"\\u001b[0;1;97mon\\r\\n\"]\n"
       "[0.000000, \"m\", \"^[[2J\"]\n"
       "[0.000000, \"o\", \"\\u001b[0;1;7;97m##==> ^[[2J\\r\\n\"]\n"
       "[0.000000, \"o\", \"\\u001b[0m\"]\n"},
      {"line \"q\" \\ \t\a\r\xc2\x9b\xe2\x80\xa8\r\n",
       "[0.000000, \"o\", \"\\\"q\\\" \\\\ \\t^G^M~[\xe2\x80\xa8\\r\\n\"]\n"},
      {"sleep 10\nfoo\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(events_of(c.movie), c.shows) << c.movie;
}

TEST(Cast, ALongAnnotationCutsOnlyItsLabel) {
  const std::string text(kLabelMax + 10, 'x');
  const std::string events = events_of("#1 " + text + "\n");
  const std::string marker = "[0.000000, \"m\", \"" + std::string(kLabelMax, 'x') + "\"]\n";
  const std::string output = "[0.000000, \"o\", \"\\u001b[0;7m##==> " + text + "\\r\\n\"]\n";
  // Compared whole, but not printed whole.
  EXPECT_TRUE(events == marker + output + "[0.000000, \"o\", \"\\u001b[0m\"]\n")
      << events.substr(0, 40) << "..." << events.substr(events.size() - 80);
}

TEST(Cast, HeaderWidthHeldBetween80And240) {
  const struct {
    std::int64_t widest;
    std::string_view width;
  } cases[] = {{0, "80"}, {80, "80"}, {81, "81"}, {240, "240"}, {100000, "240"}};
  for (const auto& c : cases) {
    std::string cast;
    Output out(to_string, &cast);
    Cast writer(out);
    writer.begin(c.widest, "a \"b\"\\\x01.movie");
    ASSERT_TRUE(out.flush());
    EXPECT_EQ(cast, "{\"version\": 2, \"width\": "s + std::string(c.width) +
                        ", \"height\": 24, \"title\": \"a \\\"b\\\"\\\\^A.movie\", "
                        "\"env\": {\"MOVIE_CHARSET\": \"UTF-8/windows-1252\"}}\n");
  }
}

TEST(Width, WidestShownLineInColumns) {
  const struct {
    std::string_view movie;
    std::int64_t widest;
  } cases[] = {
      {"", 0},
      {"line abc\nline abcdef\nline ab\n", 6},
      {"prompt abc\nline def\n", 6},  // a prompt's line goes on
      {"line a\tb\n", 9},             // a tab to the next multiple of 8
      {"line \a\r|\n", 5},            // "^G^M|"
      {"line \xe4\xb8\xad\xe6\x96\x87"
       "e\xcc\x81\n",
       5},                // wide characters, a combining mark
      {"#3 note\n", 10},  // "##==> note"
      {"line \x1b[31mab\x1b[0m\nline unended", 7},
  };
  for (const auto& c : cases) {
    Width width;
    EXPECT_EQ(read_into(c.movie, width), Outcome::done);
    EXPECT_EQ(width.widest(), c.widest) << c.movie;
  }
}

}  // namespace
}  // namespace exporter
