// The exact bytes of the cursor requests a client table sends.
#include <gtest/gtest.h>

#include <vector>

#include "callif/cursor_requests.h"
#include "tests/support/byte_list.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

using test::Of;

TEST(CursorRequestsTest, ExactBytes) {
  const Bytes key = Of({0xA1, 0xA2, 0xA3});
  const Bytes bm1 = Of({1, 2}), bm2 = Of({3, 4});
  auto read = EncodeReadRecord(0x01020304, 40, 27, 2);
  struct Case {
    const char* Name;
    Bytes Got, Expected;
  } cases[] = {
      {"read", Bytes(read.begin(), read.end()),
       Of({4, 3, 2, 1, 40, 0, 0, 0, 27, 0, 0, 0, 2})},
      {"get bookmark", EncodeBookmarkRequest(7, 2), Of({7, 0, 0, 0, 2, 0, 0, 0})},
      {"set to bookmark", EncodeBookmarkRequest(7, 2, {bm1}), Of({7, 0, 0, 0, 2, 0, 0, 0, 1, 2})},
      {"compare bookmarks", EncodeBookmarkRequest(7, 2, {bm1, bm2}), Of({7, 0, 0, 0, 2, 0, 0, 0, 1, 2, 3, 4})},
      {"set to key", EncodeSetToKey(7, 2, true, 1, 5, key),
       Of({7, 0, 0, 0, 2, 1, 1, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 0xA1, 0xA2, 0xA3})},
      {"record for key", EncodeRecordForKey(7, false, 2, 0, 40, 27, key),
       Of({7, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 27, 0, 0, 0, 0xA1, 0xA2, 0xA3})},
      {"range with both ends",
       EncodeSetRange(7, true, {1, 0, key.data(), 3, true}, {2, 4, key.data(), 3, false}),
       Of({7, 0, 0, 0, 1,                                       // id, key itself
           1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1,              // low
           2, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 0,              // high
           0xA1, 0xA2, 0xA3, 0xA1, 0xA2, 0xA3})},
      {"range open at the low end", EncodeSetRange(7, false, {0, 0, nullptr, 3, true}, {1, 0, key.data(), 3, true}),
       Of({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 1,
           0xA1, 0xA2, 0xA3})},
      {"extract key of a record", EncodeExtractKey(7, 9, key), Of({7, 0, 0, 0, 9, 0, 0, 0, 0, 0xA1, 0xA2, 0xA3})},
      {"extract key of the current record", EncodeExtractKey(7, 9, {}), Of({7, 0, 0, 0, 9, 0, 0, 0, 1})},
      {"insert or modify", EncodeWriteRecord(7, 27, 1, key),
       Of({7, 0, 0, 0, 3, 0, 0, 0, 27, 0, 0, 0, 1, 0xA1, 0xA2, 0xA3})},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Expected) << c.Name;
  auto del = EncodeTwoWords(7, 40);  // delete: cursor, record length
  EXPECT_EQ(Bytes(del.begin(), del.end()), Of({7, 0, 0, 0, 40, 0, 0, 0}));
  auto follow = EncodeTwoWords(9, 7);  // set to cursor: source, then this cursor
  EXPECT_EQ(Bytes(follow.begin(), follow.end()), Of({9, 0, 0, 0, 7, 0, 0, 0}));
  auto lock = EncodeLockRequest(7, 2);
  EXPECT_EQ(Bytes(lock.begin(), lock.end()), Of({7, 0, 0, 0, 2}));
  auto release = EncodeRelTableLock(7, true, 1);
  EXPECT_EQ(Bytes(release.begin(), release.end()), Of({7, 0, 0, 0, 1, 1}));
  EXPECT_EQ(EncodeBlobRequest(7, 3, {10, 4}, Of({0xA1})), Of({7, 0, 0, 0, 3, 0, 0, 0, 10, 0, 0, 0, 4, 0, 0, 0, 0xA1}));
  EXPECT_EQ(read.size(), kReadRecordSize);
  EXPECT_EQ(EncodeSetToKey(1, 0, true, 0, 0, {}).size(), kSetToKeyHeadSize);
  EXPECT_EQ(EncodeRecordForKey(1, true, 0, 0, 0, 0, {}).size(), kRecordForKeyHeadSize);
  EXPECT_EQ(EncodeSetRange(1, true, {}, {}).size(), kSetRangeHeadSize);
}

}  // namespace
}  // namespace qd
