// The cursor requests as the server reads them, from the client's bytes;
// records too short for their fixed part, or for the keys, bookmarks and
// records they announce, are unreadable.
#include <gtest/gtest.h>

#include <vector>

#include "server/bookmark.h"
#include "server/cursor_records.h"
#include "tests/support/byte_list.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

using test::Of;

TEST(CursorRecordsTest, FieldsFromTheClientsBytes) {
  auto read = ReadReadRecordRequest(Of({4, 3, 2, 1, 40, 0, 0, 0, 27, 0, 0, 0, 2}));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->CursorId, 0x01020304);
  EXPECT_EQ(read->RecordLength, 40);
  EXPECT_EQ(read->BookmarkSize, 27);
  EXPECT_EQ(read->Lock, 2);

  const Bytes compareBytes = Of({7, 0, 0, 0, 2, 0, 0, 0, 1, 2, 3, 4});
  auto compare = ReadCompareBookmarksRequest(compareBytes);
  ASSERT_TRUE(compare);
  EXPECT_EQ(compare->First, Of({1, 2}));
  EXPECT_EQ(compare->Second, Of({3, 4}));

  const Bytes keyBytes = Of({7, 0, 0, 0, 2, 1, 1, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 0xA1, 0xA2, 0xA3});
  auto key = ReadSetToKeyRequest(keyBytes);
  ASSERT_TRUE(key);
  EXPECT_EQ(key->Condition, 2);
  EXPECT_TRUE(key->KeyItself);
  EXPECT_EQ(key->FieldCount, 1);
  EXPECT_EQ(key->PartialLength, 5);
  EXPECT_EQ(key->Key, Of({0xA1, 0xA2, 0xA3}));

  const Bytes forKeyBytes =
      Of({7, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 27, 0, 0, 0, 0xA1, 0xA2, 0xA3});
  auto forKey = ReadRecordForKeyRequest(forKeyBytes);
  ASSERT_TRUE(forKey);
  EXPECT_FALSE(forKey->KeyItself);
  EXPECT_EQ(forKey->RecordLength, 40);
  EXPECT_EQ(forKey->BookmarkSize, 27);
  EXPECT_EQ(forKey->Key.size(), 3u);

  const Bytes rangeBytes = Of({7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 4, 0, 0,
                               0, 3, 0, 0, 0, 0, 0xA1, 0xA2, 0xA3});
  auto range = ReadSetRangeRequest(rangeBytes);
  ASSERT_TRUE(range);
  EXPECT_FALSE(range->Low.Key);
  ASSERT_TRUE(range->High.Key);
  EXPECT_EQ(range->High.FieldCount, 1);
  EXPECT_EQ(range->High.PartialLength, 4);
  EXPECT_FALSE(range->High.Inclusive);
  EXPECT_EQ(range->High.Key->size(), 3u);

  const Bytes extractBytes = Of({7, 0, 0, 0, 9, 0, 0, 0, 0, 0xA1, 0xA2});
  auto extract = ReadExtractKeyRequest(extractBytes);
  ASSERT_TRUE(extract && extract->Record);
  EXPECT_EQ(extract->Record->size(), 2u);
  auto current = ReadExtractKeyRequest(Of({7, 0, 0, 0, 9, 0, 0, 0, 1}));
  ASSERT_TRUE(current);
  EXPECT_FALSE(current->Record);
}

TEST(CursorRecordsTest, ShortOrLyingRecordsAreUnreadable) {
  EXPECT_FALSE(ReadReadRecordRequest(Bytes(12)));
  EXPECT_FALSE(ReadReadRecordRequest(Of({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0})));  // length -1
  EXPECT_FALSE(ReadSetToBookmarkRequest(Of({7, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3})));  // one byte short
  EXPECT_FALSE(ReadCompareBookmarksRequest(Of({7, 0, 0, 0, 2, 0, 0, 0, 1, 2, 3})));
  EXPECT_FALSE(ReadSetToBookmarkRequest(Of({7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F})));  // 2 GB announced
  EXPECT_FALSE(ReadSetToKeyRequest(Of({7, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 1})));
  EXPECT_FALSE(ReadRecordForKeyRequest(Bytes(24)));
  Bytes range(31, 0);
  range[13] = 5;  // a low key of 5 bytes that is not there
  EXPECT_FALSE(ReadSetRangeRequest(range));
  EXPECT_FALSE(ReadExtractKeyRequest(Bytes(8)));
}

TEST(CursorRecordsTest, BookmarksRoundTripAndForeignBytesAreRefused) {
  TqdBookmark mark{TqdBookmark::OnRecord, 0x123456789AB, 7};
  Bytes bytes = EncodeBookmark(mark, 27);
  ASSERT_EQ(bytes.size(), 27u);
  auto back = DecodeBookmark(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Where, TqdBookmark::OnRecord);
  EXPECT_EQ(back->Rid, 0x123456789AB);
  EXPECT_EQ(back->Generation, 7u);
  EXPECT_FALSE(DecodeBookmark(Bytes(20, 0)));
  bytes[4] = 3;
  EXPECT_FALSE(DecodeBookmark(bytes));
  EXPECT_FALSE(DecodeBookmark(Bytes(bytes.begin(), bytes.begin() + 19)));
}

}  // namespace
}  // namespace qd
