// The request records the server reads, against their byte layouts: every
// field at its offset, short records and names with NUL bytes refused, and
// length bytes above a field's capacity cut to it.
#include <gtest/gtest.h>

#include "base/endian.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Record(size_t size) { return Bytes(size, 0); }
void Name(Bytes& b, size_t at, const std::string& text, uint8_t length = 0xFF) {
  b[at] = length == 0xFF ? static_cast<uint8_t>(text.size()) : length;
  std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at + 1));
}

TEST(WireRecords, SizesMatchTheLayouts) {
  static_assert(kTableListRequestSize == 40);
  static_assert(kAddAliasRequestSize == 252);
  static_assert(kOpenDatabaseRequestSize == 222);
  static_assert(kOpenTableRequestSize == 74);
  static_assert(kTableRequestSize == 36);
  static_assert(kRenameTableRequestSize == 68);
  static_assert(kEmptyTableRequestSize == 40);
  static_assert(kDeleteIndexRequestSize == 76);
  static_assert(kReindexRequestSize == 72);
  static_assert(kSwitchToIndexRequestSize == 41);
  static_assert(kRestructureHeaderSize == 37);
  static_assert(kAddIndexRequestSize == 219);
  static_assert(kTaskStatusReplySize == 33);
  static_assert(kTransactionRequestSize == 5);
  SUCCEED();
}

TEST(WireRecords, FieldsAreReadAtTheirOffsets) {
  Bytes reindex = Record(72);
  PutInt32LE(reindex.data(), 7);
  Name(reindex, 4, "Orders");
  Name(reindex, 36, "ByDate");
  PutInt32LE(reindex.data() + 68, 3);
  auto r = ReadReindexRequest(reindex);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->DatabaseId, 7);
  EXPECT_EQ(r->Table, "Orders");
  EXPECT_EQ(r->IndexName, "ByDate");
  EXPECT_EQ(r->IndexNumber, 3);

  const Bytes end = {0x05, 0x04, 0x03, 0x02, 1};  // transaction id, commit
  EXPECT_EQ(ReadTransactionRequest(end), std::make_pair(int32_t{0x02030405}, uint8_t{1}));

  Bytes del = Record(76);
  PutInt32LE(del.data(), 1);
  PutInt32LE(del.data() + 4, 2);
  Name(del, 8, "T");
  Name(del, 40, "I");
  PutInt32LE(del.data() + 72, -5);
  auto d = ReadDeleteIndexRequest(del);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->CursorId, 2);
  EXPECT_EQ(d->Table, "T");
  EXPECT_EQ(d->IndexName, "I");
  EXPECT_EQ(d->IndexId, -5);

  Bytes rename = Record(68);
  Name(rename, 4, "Old");
  Name(rename, 36, "New");
  auto n = ReadRenameTableRequest(rename);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->From, "Old");
  EXPECT_EQ(n->To, "New");

  Bytes restructure = Record(40);
  PutInt32LE(restructure.data(), 9);
  restructure[4] = 1;
  Name(restructure, 5, "Tab");
  restructure[37] = 0xAB;
  auto s = ReadRestructureRequest(restructure);
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->Overwrite);
  EXPECT_EQ(s->Table, "Tab");
  ASSERT_EQ(s->Dictionary.size(), 3u);
  EXPECT_EQ(s->Dictionary[0], 0xAB);

  Bytes alias = Record(252);
  Name(alias, 0, "Sales");
  Name(alias, 32, "/data/sales");
  auto a = ReadAddAliasRequest(alias);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->Path, "/data/sales");

  Bytes list = Record(40);
  Name(list, 4, "*.DB");
  EXPECT_EQ(ReadTableListRequest(list)->Pattern, "*.DB");

  Bytes add = Record(219);
  Name(add, 8, "Orders");
  Name(add, 44, "ByCustomer");
  PutInt32LE(add.data() + 40 + 108, 2);
  PutInt32LE(add.data() + 40 + 112, 4);
  PutInt32LE(add.data() + 40 + 116, 1);
  add[40 + 176] = 1;
  add[40 + 178] = 1;
  auto x = ReadAddIndexRequest(add);
  ASSERT_TRUE(x);
  EXPECT_EQ(x->Name, "ByCustomer");
  EXPECT_EQ(x->FieldNumbers, (std::vector<int32_t>{4, 1}));
  EXPECT_TRUE(x->AllowDuplicates);
  EXPECT_FALSE(x->Ascending);
  EXPECT_TRUE(x->CaseInsensitive);
}

TEST(WireRecords, ShortRecordsAndNulNamesAreRefused) {
  struct Case {
    const char* What;
    size_t Size;
    size_t NameAt;  // where a name with a NUL is put
    std::function<bool(const Bytes&)> Read;
  };
  const Case cases[] = {
      {"id", 4, SIZE_MAX, [](const Bytes& b) { return ReadIdRequest(b).has_value(); }},
      {"table list", 40, 4, [](const Bytes& b) { return ReadTableListRequest(b).has_value(); }},
      {"add alias", 252, 32, [](const Bytes& b) { return ReadAddAliasRequest(b).has_value(); }},
      {"open database", 222, 0, [](const Bytes& b) { return ReadOpenDatabaseRequest(b).has_value(); }},
      {"open table", 74, 36, [](const Bytes& b) { return ReadOpenTableRequest(b).has_value(); }},
      {"table", 36, 4, [](const Bytes& b) { return ReadTableRequest(b).has_value(); }},
      {"rename", 68, 36, [](const Bytes& b) { return ReadRenameTableRequest(b).has_value(); }},
      {"empty", 40, 8, [](const Bytes& b) { return ReadEmptyTableRequest(b).has_value(); }},
      {"delete index", 76, 40, [](const Bytes& b) { return ReadDeleteIndexRequest(b).has_value(); }},
      {"reindex", 72, 36, [](const Bytes& b) { return ReadReindexRequest(b).has_value(); }},
      {"switch to index", 41, 4, [](const Bytes& b) { return ReadSwitchToIndexRequest(b).has_value(); }},
      {"restructure", 37, 5, [](const Bytes& b) { return ReadRestructureRequest(b).has_value(); }},
      {"add index", 219, 44, [](const Bytes& b) { return ReadAddIndexRequest(b).has_value(); }},
      {"transaction", 5, SIZE_MAX, [](const Bytes& b) { return ReadTransactionRequest(b).has_value(); }},
  };
  for (const Case& k : cases) {
    EXPECT_TRUE(k.Read(Record(k.Size))) << k.What;
    EXPECT_FALSE(k.Read(Record(k.Size - 1))) << k.What;
    EXPECT_FALSE(k.Read(Bytes{})) << k.What;
    if (k.NameAt == SIZE_MAX) continue;
    Bytes nul = Record(k.Size);
    Name(nul, k.NameAt, std::string("ab\0cd", 5));
    EXPECT_FALSE(k.Read(nul)) << k.What;
    // A NUL behind the name's length is padding, not part of the name.
    Bytes padded = Record(k.Size);
    Name(padded, k.NameAt, std::string("ab\0cd", 5), 2);
    EXPECT_TRUE(k.Read(padded)) << k.What;
  }
}

TEST(WireRecords, SwitchToIndexFieldsAtTheirOffsets) {
  Bytes request = {0x04, 0x03, 0x02, 0x01, 6, 'B', 'y', 'N', 'a', 'm', 'e'};  // cursor id, index name
  request.resize(36, 0);                                                    // the name's padding
  request.insert(request.end(), {0xFE, 0xFF, 0xFF, 0xFF, 1});               // index id, keep current
  ASSERT_EQ(request.size(), 41u);
  auto s = ReadSwitchToIndexRequest(request);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->CursorId, 0x01020304);
  EXPECT_EQ(s->IndexName, "ByName");
  EXPECT_EQ(s->IndexId, -2);
  EXPECT_TRUE(s->KeepCurrent);

  Bytes byId = Record(41);
  PutInt32LE(byId.data() + 36, 4);
  byId[40] = 0;
  auto i = ReadSwitchToIndexRequest(byId);
  ASSERT_TRUE(i);
  EXPECT_EQ(i->IndexName, "");
  EXPECT_EQ(i->IndexId, 4);
  EXPECT_FALSE(i->KeepCurrent);
}

TEST(WireRecords, LengthBytesAboveTheCapacityAreCut) {
  Bytes table = Record(36);
  table[4] = 200;
  std::fill(table.begin() + 5, table.end(), 'x');
  auto t = ReadTableRequest(table);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Table, std::string(31, 'x'));
}

TEST(WireRecords, TaskStatusReplyBytes) {
  TqdTaskStatusRecord s{true, 12, qdErrKeyViolation, 300, 400, 2, 75, true};
  auto bytes = EncodeTaskStatusReply(s);
  EXPECT_EQ(GetInt32LE(bytes.data()), 12);
  EXPECT_EQ(GetUInt32LE(bytes.data() + 4), qdErrKeyViolation);
  EXPECT_EQ(GetInt64LE(bytes.data() + 8), 300);
  EXPECT_EQ(GetInt32LE(bytes.data() + 16), 400);
  EXPECT_EQ(GetInt32LE(bytes.data() + 20), 75);
  EXPECT_EQ(bytes[24], 2);
  EXPECT_EQ(bytes[28], 1);
  EXPECT_EQ(bytes[32], 1);
  auto unknown = EncodeTaskStatusReply({});
  EXPECT_TRUE(std::all_of(unknown.begin(), unknown.end(), [](uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace qd
