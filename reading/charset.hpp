// A movie's character set, decided once from a sample of its text and then used by every
// reading of it. Most movies are UTF-8 or windows-1252 (the default rule, see decode.hpp); a
// movie of a MUD that sends another set (GB18030, Big5, KOI8-R...) is decoded through iconv.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace reading {

// The sample: at most this many bytes from the start of the movie, and gathering stops
// once this many bytes beyond ASCII were found in its text.
inline constexpr std::size_t kSampleBytes = std::size_t{256} * 1024;
inline constexpr std::size_t kSampleNonAscii = std::size_t{16} * 1024;
// Bytes of a character held while it is not yet whole: twice the most one takes in any set
// read (four, in GB18030 and EUC-TW), so that the converter, not this limit, tells when a
// sequence cannot be decoded; one still open past it is undecodable.
inline constexpr std::size_t kHeldMax = 8;

// What one conversion did: `used` bytes became `chars` characters, then it stopped because
// the output was full (ok), at an undecodable byte (invalid), or at a character whose bytes
// are not all there yet (incomplete: the rest of the input).
struct Converted {
  enum Stop { ok, invalid, incomplete };
  std::size_t used = 0;
  std::size_t chars = 0;
  Stop stop = ok;
};

// The name of the default rule, as the page and the cast tell it.
inline constexpr std::string_view kDefaultCharsetName = "UTF-8/windows-1252";

// A decided set. The default one is the default rule; a named one holds its converter.
class Charset {
 public:
  Charset() = default;
  // One of the recognised sets by its detector name (the man pages list them); the default rule
  // when the name is not one of them or this system's iconv does not have it.
  static Charset named(std::string_view detector_name);

  bool is_default() const { return cd_ == nullptr; }
  // The set's name, as the page and the cast name it.
  std::string_view name() const;
  // Whether every character takes one byte (KOI8-R, windows-1251...), as against the
  // double-byte sets of East Asia.
  bool single_byte() const { return single_byte_; }

  // Converts `bytes` from the start of a character into at most `max` characters. Only for
  // a named set.
  Converted convert(const unsigned char* bytes, std::size_t n, char32_t* out,
                    std::size_t max) const;

 private:
  struct Close {
    void operator()(void* cd) const;
  };
  std::unique_ptr<void, Close> cd_;  // the iconv descriptor
  std::string_view name_;
  bool single_byte_ = false;
};

// What was learnt from a sample's text.
struct Evidence {
  std::size_t non_ascii = 0;  // bytes beyond ASCII gathered (telnet commands not counted)
  bool valid_utf8 = true;     // every such byte is part of a valid UTF-8 sequence
  bool c1 = false;            // some are 0x80..0x9F, which ISO-8859 sets do not use
  std::string_view detected;  // the detector's answer ("" for none)
};

// Reads the text of the records in `movie_start` (keywords, counts, escapes and telnet
// commands left out) and asks the detector about it.
Evidence examine(std::string_view movie_start);

// The decision: the default rule for ASCII, valid UTF-8, a western or unknown answer, or too
// little evidence; otherwise the named set.
Charset decide(const Evidence& evidence);

// The start of a movie read from a descriptor, held so that reading goes on from it (a pipe
// is read once), and the set decided from it.
class Sample {
 public:
  // Reads up to kSampleBytes from `fd`; a read error ends the sample. A converter must then
  // stop: the error may not come again at the next read, and what it hid would be lost.
  explicit Sample(int fd);
  std::string_view bytes() const { return {buf_.get(), size_}; }
  Charset& charset() { return charset_; }
  bool failed() const { return failed_; }

 private:
  std::unique_ptr<char[]> buf_;
  std::size_t size_ = 0;
  bool failed_ = false;
  Charset charset_;
};

}  // namespace reading
