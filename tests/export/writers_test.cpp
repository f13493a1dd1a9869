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
  html.end(static_cast<std::int64_t>(movie.size()));
  EXPECT_TRUE(out.flush());
  const std::size_t begin = page.find("<pre>") + 5;
  return page.substr(begin, page.rfind("</pre>") - begin);
}

// The whole page of a movie: its size is taken as `size`.
std::string page_of(std::string_view movie, std::int64_t size, std::string_view title = "m") {
  std::string page;
  Output out(to_string, &page);
  Html html(out);
  html.begin(title);
  EXPECT_EQ(read_into(movie, html), Outcome::done);
  html.end(size);
  EXPECT_FALSE(html.failed());
  EXPECT_TRUE(out.flush());
  return page;
}

// What comes after the <pre>.
std::string heading_of(std::string_view movie, std::int64_t size = 0) {
  const std::string page = page_of(movie, size);
  return page.substr(page.rfind("</pre>\n") + 7);
}

// The cast's events, the header left out.
std::string events_of(std::string_view movie, std::int64_t width = kMinWidth) {
  std::string cast;
  Output out(to_string, &cast);
  Cast writer(out);
  writer.begin(width, "m");
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
       "<span class=\"c4\">x\n<a id=\"chapter-1\"></a></span><span class=\"c4 r\">##==&gt; "
       "note\n</span>"},
      {"#7\nline after\n", "<a id=\"chapter-1\"></a><span class=\"r\">##==&gt; </span>after\n"},
      {"line <script>alert(\"x\")</script> & 'q'\n",
       "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;q&#39;\n"},
      {"#1 <img src=x onerror=alert(1)>\n",
       "<a id=\"chapter-1\"></a><span class=\"r\">##==&gt; &lt;img src=x onerror=alert(1)&gt;\n"
       "</span>"},
      {"line \x01\x7f|\xc2\x85|\xef\xbf\xbe|\t|\r\n", "^A^?|~E|\xef\xbf\xbd|      |\n"},
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
  html.end(0);
  ASSERT_TRUE(out.flush());
  EXPECT_NE(page.find("<title>&lt;b&gt;&amp;&quot;&#39;^G\xc3\xa9.movie</title>"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("<h1>&lt;b&gt;&amp;&quot;&#39;^G\xc3\xa9.movie</h1>"), std::string::npos);
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>\n"));
  EXPECT_TRUE(
      page.ends_with("<pre></pre>\n<header>\n<h1>&lt;b&gt;&amp;&quot;&#39;^G\xc3\xa9.movie"
                     "</h1>\n<p>Length 0:00:00 at normal speed, size 0 bytes</p>\n"
                     "</header>\n</body>\n</html>\n"))
      << page;
}

TEST(Html, ClockTimeAndByteSize) {
  const struct {
    std::int64_t ms;
    std::string_view shows;
  } times[] = {{0, "0:00:00"},
               {999, "0:00:00"},
               {1000, "0:00:01"},
               {59999, "0:00:59"},
               {60000, "0:01:00"},
               {3599999, "0:59:59"},
               {3600000, "1:00:00"},
               {36000000, "10:00:00"},
               {-5, "0:00:00"},
               {360000000000, "100000:00:00"},
               {INT64_MAX, "2562047788015:12:55"}};
  for (const auto& t : times) EXPECT_EQ(clock_time(t.ms).view(), t.shows) << t.ms;
  const struct {
    std::int64_t bytes;
    std::string_view shows;
  } sizes[] = {{0, "0 bytes"},
               {1, "1 byte"},
               {999, "999 bytes"},
               {1000, "1.0 kB"},
               {1099, "1.0 kB"},
               {1100, "1.1 kB"},
               {999999, "999.9 kB"},
               {1000000, "1.0 MB"},
               {209715200, "209.7 MB"},
               {1073741824, "1.0 GB"},
               {999999999999, "999.9 GB"},
               {1000000000000, "1.0 TB"},
               {INT64_MAX, "9223372.0 TB"}};
  for (const auto& s : sizes) EXPECT_EQ(byte_size(s.bytes).view(), s.shows) << s.bytes;
}

TEST(Html, HeadingGivesLengthSizeAndChapters) {
  // The length is the time of the last record: the viewer does not pause after it.
  EXPECT_EQ(heading_of("line a\nsleep 61500\nline b\nsleep 9000\n", 1234567),
            "<header>\n<h1>m</h1>\n<p>Length 0:01:01 at normal speed, size 1.2 MB</p>\n"
            "</header>\n</body>\n</html>\n");
  // Each annotation: an empty anchor where it starts, and a list item at its time with its
  // text as shown, escaped, without the mark or the line end.
  const std::string_view movie =
      "line \x1b[31mred\n"
      "#20 First <b>&amp;\x07\r\n"
      "#5\n"
      "sleep 3600000\n"
      "#1 \xe9t\xe9\n";
  EXPECT_EQ(pre_of(movie),
            "<span class=\"c1\">red\n<a id=\"chapter-1\"></a></span><span class=\"c1 r\">"
            "##==&gt; First &lt;b&gt;&amp;amp;^G\n<a id=\"chapter-2\"></a><a id=\"chapter-3\"></a>"
            "##==&gt; ##==&gt; \xc3\xa9t\xc3\xa9\n</span>");
  EXPECT_EQ(heading_of(movie, 5),
            "<header>\n<h1>m</h1>\n<p>Length 1:00:02 at normal speed, size 5 bytes</p>\n"
            "<nav>\n<h2>Chapters</h2>\n<ol>\n"
            "<li><a href=\"#chapter-1\"><span class=\"at\">0:00:00</span>"
            "First &lt;b&gt;&amp;amp;^G</a></li>\n"
            "<li><a href=\"#chapter-2\"><span class=\"at\">0:00:02</span></a></li>\n"
            "<li><a href=\"#chapter-3\"><span class=\"at\">1:00:02</span>\xc3\xa9t\xc3\xa9"
            "</a></li>\n"
            "</ol>\n</nav>\n</header>\n</body>\n</html>\n");
}

TEST(Html, ChaptersBeyondMemoryAreKeptInOrder) {
  // More items than the spool's memory holds: the rest waits in a temporary file.
  std::string movie;
  const int count = 20000;
  for (int i = 1; i <= count; ++i) movie += "#1 note " + std::to_string(i) + "\n";
  const std::string heading = heading_of(movie);
  std::size_t at = 0;
  for (int i = 1; i <= count; ++i) {
    const std::string n = std::to_string(i);
    const std::string item = "<li><a href=\"#chapter-" + n + "\"><span class=\"at\">" +
                             std::string(clock_time(std::int64_t{100} * (i - 1)).view()) +
                             "</span>note " + n + "</a></li>\n";
    at = heading.find(item, at);
    ASSERT_NE(at, std::string::npos) << item;
  }
  EXPECT_TRUE(heading.ends_with("</a></li>\n</ol>\n</nav>\n</header>\n</body>\n</html>\n"));
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
            "[2147487.949000, \"o\", \"\\u001b[0mf\\r\\n\"]\n"
            "[2147487.949000, \"o\", \"\"]\n"s);
}

TEST(Cast, OwnEscapesForEachLookAndAResetAtTheEnd) {
  const Case cases[] = {
      {"line \x1b[31mred\x1b[0m plain\n",
       "[0.000000, \"o\", \"\\u001b[0;31mred\\u001b[0m plain\\r\\n\"]\n"
       "[0.000000, \"o\", \"\"]\n"},
      {"line \x1b[92mg\x1b[38mx\x1b[3200my\x1b[0m\n",
       "[0.000000, \"o\", \"\\u001b[0;1;32mg\\u001b[0;1;90mx\\u001b[0;1;37my\\r\\n\"]\n"
       "[0.000000, \"o\", \"\\u001b[0m\"]\n"},
      // The movie's own escapes never pass; the look they leave on is ended.
      {"line \x1b[4;5m\x1b[915mon\n#1 \x1b[2J\n",
       "[0.000000, \"o\", \"\\u001b[0;1;97mon\\r\\n\"]\n"
       "[0.000000, \"m\", \"^[[2J\"]\n"
       "[0.000000, \"o\", \"\\u001b[0;1;7;97m##==> ^[[2J\\r\\n\"]\n"
       "[0.000000, \"o\", \"\\u001b[0m\"]\n"},
      {"line \"q\" \\ \a\xc2\x9b\xe2\x80\xa8\r\n",
       "[0.000000, \"o\", \"\\\"q\\\" \\\\ ^G~[\xe2\x80\xa8\\r\\n\"]\n"
       "[0.000000, \"o\", \"\"]\n"},
      {"sleep 10\nfoo\n", "[0.010000, \"o\", \"\"]\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(events_of(c.movie), c.shows) << c.movie;
}

// A quote or a backslash, wherever it falls in the words the writer reads, is escaped.
TEST(Cast, QuotesAndBackslashesEscapedWhereverTheyFall) {
  for (const char b : {'"', '\\', '!', ']'}) {
    for (std::size_t at = 0; at < 17; at += 2) {
      std::string text(17, 'a');
      text[at] = b;
      std::string shown(17, 'a');
      shown.replace(at, 1, b == '"' ? "\\\"" : b == '\\' ? "\\\\" : std::string(1, b));
      EXPECT_EQ(events_of("line " + text + "\n"),
                "[0.000000, \"o\", \"" + shown + "\\r\\n\"]\n[0.000000, \"o\", \"\"]\n")
          << b << " at " << at;
    }
  }
}

TEST(Cast, ALongAnnotationCutsOnlyItsLabel) {
  const std::string text(kLabelMax + 10, 'x');
  const std::string events = events_of("#1 " + text + "\n");
  const std::string marker = "[0.000000, \"m\", \"" + std::string(kLabelMax, 'x') + "\"]\n";
  // Its rows wrap at the cast's 80 columns.
  std::string rows = "##==> " + text;
  for (std::size_t at = kMinWidth; at < rows.size(); at += kMinWidth + 4) rows.insert(at, "\\r\\n");
  const std::string output = "[0.000000, \"o\", \"\\u001b[0;7m" + rows + "\\r\\n\"]\n";
  // Compared whole, but not printed whole.
  EXPECT_TRUE(events == marker + output + "[0.000000, \"o\", \"\\u001b[0m\"]\n")
      << events.substr(0, 40) << "..." << events.substr(events.size() - 80);
}

TEST(Cast, HeaderWidthHeldBetween80And160) {
  const struct {
    std::int64_t widest;
    std::string_view width;
  } cases[] = {{0, "80"}, {132, "132"}, {100000, "160"}};
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

TEST(Writers, BidiControlsLeftOutOfNamesChaptersAndLabels) {
  // A name that would read "aexe.mov" in a browser, and a chapter and label reordered alike.
  const std::string_view name = "a\u202evom.exe\u2066\u2069";
  const std::string_view movie = "#1 x\u202ay\u2067z\u202c\n";
  std::string page;
  Output page_out(to_string, &page);
  Html html(page_out);
  html.begin(name);
  EXPECT_EQ(read_into(movie, html), Outcome::done);
  html.end(0);
  ASSERT_TRUE(page_out.flush());
  EXPECT_NE(page.find("<title>avom.exe</title>"), std::string::npos) << page;
  EXPECT_NE(page.find("<h1>avom.exe</h1>"), std::string::npos) << page;
  EXPECT_NE(page.find("</span>xyz</a></li>"), std::string::npos) << page;

  std::string cast;
  Output cast_out(to_string, &cast);
  Cast writer(cast_out);
  writer.begin(kMinWidth, name);
  EXPECT_EQ(read_into(movie, writer), Outcome::done);
  writer.end();
  ASSERT_TRUE(cast_out.flush());
  EXPECT_NE(cast.find("\"title\": \"avom.exe\""), std::string::npos) << cast;
  EXPECT_NE(cast.find("\"m\", \"xyz\"]"), std::string::npos) << cast;
  for (const std::string_view bidi :
       {"\u202a"sv, "\u202c"sv, "\u202e"sv, "\u2066"sv, "\u2067"sv, "\u2069"sv}) {
    EXPECT_EQ(page.find(bidi), std::string::npos);
    EXPECT_EQ(cast.find(bidi), std::string::npos);
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
      {"line \a\r|\n", 2},            // "^G", then "|" over "^"
      {"line abc\b\b\n", 3},          // the furthest column reached
      {"line \xe4\xb8\xad\xe6\x96\x87"
       "e\xcc\x81\n",
       5},                                                     // wide characters, a combining mark
      {"line \xe2\x9a\xa1\xe2\x9c\x85\xf0\x9f\x9a\x80\n", 6},  // emoji drawn two wide
      {"line \xe0\xa4\x95\xe0\xa4\x83\n", 2},                  // a spacing mark
      {"#3 note\n", 10},                                       // "##==> note"
      {"line \x1b[31mab\x1b[0m\nline unended", 7},
  };
  for (const auto& c : cases) {
    Width width;
    EXPECT_EQ(read_into(c.movie, width), Outcome::done);
    EXPECT_EQ(width.widest(), c.widest) << c.movie;
  }
}

// Each line as the viewer leaves it at its end: a return goes to the line's start, a
// backspace one column back, what follows writes over them and the newline clears the rest.
TEST(Html, LinesShowAsTheViewerLeavesThem) {
  const Case cases[] = {
      {"line cr\rmid\n", "mid\n"},
      {"line abcdef\rxy\n", "xy\n"},
      {"line abc\b\bX\n", "aX\n"},
      {"line \b\bab\x01\n", "ab^A\n"},  // no step back from the line's start
      {"prompt HP> \nline \rX\n", "X\n"},
      {"prompt abcdef\rxy", "xycdef"},  // the movie's end clears nothing
      {"line two\r\x1b[0m\nline three\r\r\n", "two\nthree\n"},
      {"line a\tb\n", "a       b\n"},  // a tab is the blanks curses puts
      {"#1 \tx\n", "<a id=\"chapter-1\"></a><span class=\"r\">##==&gt;   x\n</span>"},
      // An annotation's anchor goes at the start of its line, which a return still reaches.
      {"prompt abc\n#1 \rm\n", "<a id=\"chapter-1\"></a><span class=\"r\">m\n</span>"},
      {"prompt a\x1b[31m\tb\x1b[0m\rX", "X<span class=\"c1\">       b</span>"},
      // Wide characters take two cells; a backspace onto the right half of one leaves it
      // whole and what follows goes after it.
      {"line \xe6\x97\xa5\xe6\x9c\xac\b\xe8\xaa\x9e\n",
       "<span class=\"w\">\xe6\x97\xa5</span><span class=\"w\">\xe6\x9c\xac</span>"
       "<span class=\"w\">\xe8\xaa\x9e</span>\n"},
      {"line \xe6\x97\xa5\xe6\x9c\xac\b\b\xe8\xaa\x9e\n",
       "<span class=\"w\">\xe6\x97\xa5</span><span class=\"w\">\xe8\xaa\x9e</span>\n"},
      {"line \xe6\x97\xa5\xe6\x9c\xac\b\n",
       "<span class=\"w\">\xe6\x97\xa5</span><span class=\"w\">\xe6\x9c\xac</span>\n"},
      // Curses' own column, from which a tab's stop is taken, then runs one behind.
      {"line ab\xe6\x97\xa5\be\tZ\n", "ab<span class=\"w\">\xe6\x97\xa5</span>e    Z\n"},
      {"line ab\xe6\x97\xa5\b\xe8\xaa\x9e\tZ\n",
       "ab<span class=\"w\">\xe6\x97\xa5</span><span class=\"w\">\xe8\xaa\x9e</span>   Z\n"},
      {"line \xe6\x97\xa5x\rab\n", "ab\n"},
      {"line \xe6\x97\xa5x\ra\b\b\n", "\n\n"},  // the parser's own newline, then the line's
      {"line \xe6\x97\xa5x\ra\n", "a\n"},
      {"prompt \xe6\x97\xa5x\ra", "a x"},  // the right half left alone becomes a blank
      // Combining marks go on the cell before: none over a wide character.
      {"line e\xcc\x81\xe6\x97\xa5\xcc\x81\n", "e\xcc\x81<span class=\"w\">\xe6\x97\xa5</span>\n"},
      // Bidirectional controls never reach the page: the text stays in its order.
      {"line a\xe2\x80\xae"
       "b\xe2\x81\xa6"
       "c\xe2\x80\xac\xe2\x81\xa9\n",
       "abc\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(pre_of(c.movie), c.shows) << c.movie;
}

// A line of printable ASCII is held as its bytes until something writes over it: what it
// held then keeps each character's look, and a line too long to hold keeps its start.
TEST(Html, PlainLinesWrittenOverKeepTheirLooks) {
  const std::string full(kLineCells, 'x');
  const struct {
    std::string movie;
    std::string shows;
  } cases[] = {
      {"prompt \x1b[31mab\x1b[0mcd\rX", "X<span class=\"c1\">b</span>cd"},
      {"prompt a\x1b[32m<b\b&\x1b[0m\xc3\xa9", "a<span class=\"c2\">&lt;&amp;</span>\xc3\xa9"},
      {"line " + full + "yz\r\x1b[31mQ\n", full + "<span class=\"c1\">Q\n</span>"},
      {"line " + full + "\n", full + "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(pre_of(c.movie), c.shows) << c.movie.substr(0, 40);
}

// Each printable byte, wherever it falls in the words the writer reads, is escaped if it
// must be and left alone if not.
TEST(Html, EveryPrintableByteEscapedWhereverItFalls) {
  for (char b = 0x20; b < 0x7F; ++b) {
    const std::string_view as = b == '&'    ? "&amp;"
                                : b == '<'  ? "&lt;"
                                : b == '>'  ? "&gt;"
                                : b == '"'  ? "&quot;"
                                : b == '\'' ? "&#39;"
                                            : std::string_view(&b, 1);
    for (std::size_t at = 0; at < 17; at += 3) {
      std::string text(17, 'a');
      text[at] = b;
      std::string shown(17, 'a');
      shown.replace(at, 1, as);
      EXPECT_EQ(pre_of("line " + text + "\n"), shown + "\n") << b << " at " << at;
    }
  }
}

// The cast lays the text out as curses does on a terminal of its width, so that a player
// shows the viewer's screen.
TEST(Cast, RowsAsCursesLaysThemOut) {
  const std::string x79(79, 'x');
  const std::string x80(80, 'x');
  const std::string x75(75, 'x');
  const struct {
    std::string movie;
    std::string output;  // of the first event
  } cases[] = {
      {"line cr\rmid\n", "cr\\rmid\\r\\n"},
      {"line abcdef\rxy\n", "abcdef\\rxy\\u001b[K\\r\\n"},
      {"line \x1b[31mabc\b\b\n", "\\u001b[0;31mabc\\b\\b\\u001b[0m\\u001b[K\\r\\n"},
      {"line \r\b\ba\n", "a\\r\\n"},
      // A tab is blanks in the pen: an annotation's bar has no gap.
      {"#1 \tx\n", "\\u001b[0;7m##==>   x\\r\\n"},
      {"line " + x75 + "\tb\n", x75 + "\\r\\nb\\r\\n"},
      // Rows wrap at the width; a line that fills one leaves an empty row after it.
      {"line " + x80 + "yz\n", x80 + "\\r\\nyz\\r\\n"},
      {"line " + x80 + "\n", x80 + "\\r\\n\\r\\n"},
      {"line " + x79 + "\xe4\xb8\xad\n", x79 + " \\r\\n\xe4\xb8\xad\\r\\n"},
      {"line ab\xe6\x97\xa5\bX\n", "ab\xe6\x97\xa5\\b\\u001b[CX\\r\\n"},
      {"line ab\xe6\x97\xa5\be\tZ\n", "ab\xe6\x97\xa5\\b\\u001b[Ce    Z\\r\\n"},
      // A newline on the right half of a wide character leaves it whole.
      {"line \xe6\x97\xa5\xe6\x9c\xac\b\n", "\xe6\x97\xa5\xe6\x9c\xac\\b\\r\\n"},
      {"line \xe6\x97\xa5\xe6\x9c\xac\b\b\b\n",
       "\xe6\x97\xa5\xe6\x9c\xac\\b\\b\\b\\u001b[C\\u001b[K\\r\\n"},
      {"line e\xcc\x81\xe6\x97\xa5\xcc\x81\n", "e\xcc\x81\xe6\x97\xa5\\r\\n"},
      {"line a\xe2\x80\xae"
       "b\xe2\x81\xa6"
       "c\n",
       "abc\\r\\n"},
  };
  for (const auto& c : cases) {
    const std::string events = events_of(c.movie);
    const std::size_t start = events.find("\"o\"") - 11;
    EXPECT_EQ(events.substr(start, events.find('\n', start) + 1 - start),
              "[0.000000, \"o\", \"" + c.output + "\"]\n")
        << c.movie;
  }
  // A wider cast wraps further on.
  EXPECT_EQ(events_of("line " + x80 + "yz\n", 100),
            "[0.000000, \"o\", \"" + x80 + "yz\\r\\n\"]\n[0.000000, \"o\", \"\"]\n");
}

// The last event is where the viewer reaches its end marker, whatever look is on.
TEST(Cast, EndsWhereTheViewerReachesItsEnd) {
  EXPECT_EQ(events_of("line b\nsleep 60000\nsleep 1\n"),
            "[0.000000, \"o\", \"b\\r\\n\"]\n[60.000000, \"o\", \"\"]\n");
  EXPECT_EQ(events_of("line \x1b[31mb\nsleep 60000\nsleep 1\n"),
            "[0.000000, \"o\", \"\\u001b[0;31mb\\r\\n\"]\n[60.000000, \"o\", \"\\u001b[0m\"]\n");
  EXPECT_EQ(events_of(""), "[0.000000, \"o\", \"\"]\n");
}

TEST(Width, NarrowestUsualWidthHoldingNearlyEveryLine) {
  const auto lines = [](int count, std::size_t columns) {
    std::string movie;
    for (int i = 0; i < count; ++i) movie += "line " + std::string(columns, 'x') + "\n";
    return movie;
  };
  const struct {
    std::string movie;
    std::int64_t width;
  } cases[] = {
      {"", 80},
      {lines(50, 79), 80},
      {lines(50, 80), 80},
      {lines(50, 81), 100},
      {lines(50, 130), 132},
      {lines(50, 500), 160},
      {lines(99, 40) + lines(1, 300), 80},   // one line in a hundred wraps
      {lines(98, 40) + lines(2, 300), 160},  // two do not
      {lines(20, 40) + lines(1, 300), 80},   // nor does one in a short movie
      {lines(60, 40) + lines(1, 300), 80},
      {lines(1, 300), 80},
      {lines(20, 40) + lines(2, 300), 160},
      {lines(99, 40) + lines(1, 300) + "line \n\n", 80},  // empty lines count for nothing
      // The furthest column counts.
      {"line " + std::string(150, 'x') + "\rab\nline " + std::string(150, 'x') + "\rab\n", 160},
  };
  for (const auto& c : cases) {
    Width width;
    EXPECT_EQ(read_into(c.movie, width), Outcome::done);
    EXPECT_EQ(width.cast_width(), c.width) << c.movie.size();
  }
}

}  // namespace
}  // namespace exporter
