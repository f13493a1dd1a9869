#include "reading/pieces.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace reading {
namespace {

TEST(Pieces, ARecordCutByTheBufferComesWithItsKeyword) {
  // A record that starts near the end of one buffer is read on before it is handed out.
  char path[] = "/tmp/pieces_testXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string movie(kPieceBufferSize - 3, 'x');
  movie += "\nsleep 1234\n";
  movie += std::string(kPieceBufferSize + 10, 'y');  // longer than the buffer: two pieces
  ASSERT_EQ(write(fd, movie.data(), movie.size()), static_cast<ssize_t>(movie.size()));
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  Pieces pieces(fd);
  EXPECT_EQ(pieces.next().size(), kPieceBufferSize - 2);
  EXPECT_EQ(pieces.next(), "sleep 1234\n");
  EXPECT_EQ(pieces.offset(), static_cast<std::int64_t>(kPieceBufferSize + 9));
  EXPECT_EQ(pieces.next().size(), kPieceBufferSize);
  EXPECT_EQ(pieces.next().size(), 10u);
  EXPECT_TRUE(pieces.next().empty());
  EXPECT_FALSE(pieces.failed());
  EXPECT_EQ(pieces.offset(), static_cast<std::int64_t>(movie.size()));
  ASSERT_TRUE(pieces.seek(kPieceBufferSize - 2));
  EXPECT_EQ(pieces.next(), "sleep 1234\n");
  close(fd);
  unlink(path);
}

}  // namespace
}  // namespace reading
