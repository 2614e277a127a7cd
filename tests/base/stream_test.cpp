#include <gtest/gtest.h>

#include "base/stream.h"

namespace qd {
namespace {

TEST(MemoryStream, ReadWriteSeek) {
  TqdMemoryStream s;
  s.Write("abcdef", 6);
  EXPECT_EQ(s.Size(), 6u);
  EXPECT_EQ(s.Position(), 6u);
  s.Seek(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4u);
  EXPECT_STREQ(buf, "cdef");
  s.Seek(4);
  EXPECT_FALSE(s.ReadExact(buf, 3));
  EXPECT_EQ(s.Position(), 4u);  // a failed exact read takes nothing
  s.Seek(8);
  s.Write("z", 1);  // the gap is zero-filled
  EXPECT_EQ(s.Size(), 9u);
  EXPECT_EQ(s.Data()[6], 0);
  EXPECT_EQ(s.Remaining(), 0u);
  s.Seek(100);
  EXPECT_EQ(s.Read(buf, 1), 0u);
}

}  // namespace
}  // namespace qd
