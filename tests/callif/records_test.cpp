// Exact bytes of the call interface's request records against their byte
// tables, written out field by field here (never through the encoders' own
// helpers), and the reply decoders on replies made by hand.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "callif/request_records.h"
#include "open_table_sample.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

// Builds an expected record one field at a time.
class Expect {
 public:
  Expect& Int32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
    return *this;
  }
  Expect& Byte(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  // A short string field: the length byte, the text, zeros up to the
  // capacity. The text must already be what the record should hold.
  Expect& Str(const std::string& text, size_t capacity) {
    EXPECT_LE(text.size(), capacity) << "the expected text is longer than its field";
    bytes_.push_back(static_cast<uint8_t>(text.size()));
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.resize(bytes_.size() + capacity - text.size(), 0);
    return *this;
  }
  Expect& Zeros(size_t n) {
    bytes_.resize(bytes_.size() + n, 0);
    return *this;
  }
  operator Bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

template <size_t N>
Bytes Of(const TqdRecord<N>& record) {
  return Bytes(record.begin(), record.end());
}

const std::string kLong40(40, 'n');
const std::string kCut31(31, 'n');

TEST(CallRecordSizes, MatchTheByteTables) {
  static_assert(kOpenDatabaseSize == 222);
  static_assert(kAddAliasSize == 252);
  static_assert(kTableListSize == 40);
  static_assert(kTableRequestSize == 36);
  static_assert(kOpenTableSize == 74);
  static_assert(kSwitchToIndexSize == 41);
  static_assert(kRestructureHeaderSize == 37);
  static_assert(kRenameTableSize == 68);
  static_assert(kEmptyTableSize == 40);
  static_assert(kDeleteIndexSize == 76);
  static_assert(kReindexSize == 72);
  static_assert(kIndexDescriptorSize == 179);
  static_assert(kAddIndexSize == 219);
  static_assert(kTransactionSize == 5);
  static_assert(kTaskStatusReplySize == 33);
  static_assert(kAliasRowSize == 252);
  static_assert(kTableRowSize == 48);
  SUCCEED();
}

TEST(CallRecords, Int32RecordIsLittleEndian) {
  EXPECT_EQ(Of(EncodeInt32Record(0x01020304)), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(Of(EncodeInt32Record(-1)), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

// Open database (261): the wire's mode flags are 1 exactly for the BDE's 0
// (read-write, shared).
TEST(CallRecords, OpenDatabaseModesAndPath) {
  struct Case {
    int32_t OpenMode, ShareMode;
    uint8_t OpenFlag, ShareFlag;
  };
  const Case cases[] = {{0, 0, 1, 1}, {1, 1, 0, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}, {2, -1, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(Of(EncodeOpenDatabase("C:\\DATA", c.OpenMode, c.ShareMode)),
              Bytes(Expect().Str("C:\\DATA", 219).Byte(c.OpenFlag).Byte(c.ShareFlag)))
        << c.OpenMode << "/" << c.ShareMode;
  }
  EXPECT_EQ(Of(EncodeOpenDatabase(std::string(300, 'p'), 0, 0)),
            Bytes(Expect().Str(std::string(219, 'p'), 219).Byte(1).Byte(1)));
  EXPECT_EQ(Of(EncodeOpenDatabase("", 1, 1)), Bytes(Expect().Zeros(222)));
}

TEST(CallRecords, AddAliasNameAndPath) {
  EXPECT_EQ(Of(EncodeAddAlias("Sales", "/srv/sales")), Bytes(Expect().Str("Sales", 31).Str("/srv/sales", 219)));
  EXPECT_EQ(Of(EncodeAddAlias(kLong40, std::string(250, 'p'))),
            Bytes(Expect().Str(kCut31, 31).Str(std::string(219, 'p'), 219)));
}

TEST(CallRecords, TableListDatabaseAndWildcard) {
  EXPECT_EQ(Of(EncodeTableList(0x0A0B0C0D, "*.DAT")), (Bytes(Expect().Int32(0x0A0B0C0D).Str("*.DAT", 35))));
  EXPECT_EQ(Of(EncodeTableList(-1, "")), Bytes(Expect().Int32(0xFFFFFFFF).Zeros(36)));
  EXPECT_EQ(Of(EncodeTableList(7, std::string(36, 'w'))), Bytes(Expect().Int32(7).Str(std::string(35, 'w'), 35)));
}

// Get dictionary (1299), delete table (1301) and pack (769) share one record.
TEST(CallRecords, TableRequestDatabaseAndName) {
  EXPECT_EQ(Of(EncodeTableRequest(0x11223344, "ORDERS")), Bytes(Expect().Int32(0x11223344).Str("ORDERS", 31)));
  EXPECT_EQ(Of(EncodeTableRequest(2, kLong40)), Bytes(Expect().Int32(2).Str(kCut31, 31)));
}

TEST(CallRecords, OpenTableEveryField) {
  struct Case {
    int32_t OpenMode, ShareMode;
    uint8_t OpenFlag, ShareFlag;
  };
  const Case cases[] = {{0, 0, 1, 1}, {1, 1, 0, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}, {3, 2, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(Of(EncodeOpenTable(5, "Orders", "ByName", 2, c.OpenMode, c.ShareMode)),
              Bytes(Expect().Int32(5).Str("Orders", 31).Str("ByName", 31).Int32(2).Byte(c.OpenFlag).Byte(c.ShareFlag)))
        << c.OpenMode << "/" << c.ShareMode;
  }
  EXPECT_EQ(Of(EncodeOpenTable(-1, kLong40, std::string(33, 'i'), -2, 1, 1)),
            Bytes(Expect().Int32(0xFFFFFFFF).Str(kCut31, 31).Str(std::string(31, 'i'), 31).Int32(0xFFFFFFFE).Zeros(2)));
}

TEST(CallRecords, SwitchToIndexEveryField) {
  EXPECT_EQ(Of(EncodeSwitchToIndex(0x01020304, "ByName", 3, true)),
            Bytes(Expect().Int32(0x01020304).Str("ByName", 31).Int32(3).Byte(1)));
  EXPECT_EQ(Of(EncodeSwitchToIndex(9, "", 0x7FFF, false)), Bytes(Expect().Int32(9).Zeros(32).Int32(0x7FFF).Byte(0)));
  EXPECT_EQ(Of(EncodeSwitchToIndex(9, kLong40, 1, true)), Bytes(Expect().Int32(9).Str(kCut31, 31).Int32(1).Byte(1)));
}

TEST(CallRecords, RestructureHeader) {
  EXPECT_EQ(Of(EncodeRestructureHeader(4, true, "New")), Bytes(Expect().Int32(4).Byte(1).Str("New", 31)));
  EXPECT_EQ(Of(EncodeRestructureHeader(4, false, kLong40)), Bytes(Expect().Int32(4).Byte(0).Str(kCut31, 31)));
}

TEST(CallRecords, RenameTableOldAndNewName) {
  EXPECT_EQ(Of(EncodeRenameTable(3, "Old", "New")), Bytes(Expect().Int32(3).Str("Old", 31).Str("New", 31)));
  EXPECT_EQ(Of(EncodeRenameTable(3, kLong40, std::string(50, 'm'))),
            Bytes(Expect().Int32(3).Str(kCut31, 31).Str(std::string(31, 'm'), 31)));
}

TEST(CallRecords, EmptyTableDatabaseCursorAndName) {
  EXPECT_EQ(Of(EncodeEmptyTable(3, 0x0102, "Orders")), Bytes(Expect().Int32(3).Int32(0x0102).Str("Orders", 31)));
  EXPECT_EQ(Of(EncodeEmptyTable(3, 0, "")), Bytes(Expect().Int32(3).Zeros(36)));
  EXPECT_EQ(Of(EncodeEmptyTable(3, 8, kLong40)), Bytes(Expect().Int32(3).Int32(8).Str(kCut31, 31)));
}

TEST(CallRecords, DeleteIndexEveryField) {
  EXPECT_EQ(Of(EncodeDeleteIndex(3, 8, "Orders", "ByName", 2)),
            Bytes(Expect().Int32(3).Int32(8).Str("Orders", 31).Str("ByName", 31).Int32(2)));
  EXPECT_EQ(Of(EncodeDeleteIndex(3, 0, kLong40, kLong40, -1)),
            Bytes(Expect().Int32(3).Int32(0).Str(kCut31, 31).Str(kCut31, 31).Int32(0xFFFFFFFF)));
}

// The rebuild request's index name is always empty: the number decides.
TEST(CallRecords, ReindexSendsAnEmptyIndexName) {
  EXPECT_EQ(Of(EncodeReindex(6, "ORDERS", 4)), Bytes(Expect().Int32(6).Str("ORDERS", 31).Zeros(32).Int32(4)));
  EXPECT_EQ(Of(EncodeReindex(6, kLong40, -7)), Bytes(Expect().Int32(6).Str(kCut31, 31).Zeros(32).Int32(0xFFFFFFF9)));
}

TEST(CallRecords, TransactionRecords) {
  EXPECT_EQ(Of(EncodeBeginTran(0x0A0B0C0D, 1)), (Bytes{0x0D, 0x0C, 0x0B, 0x0A, 1}));
  EXPECT_EQ(Of(EncodeBeginTran(2, 0)), (Bytes{2, 0, 0, 0, 0}));
  EXPECT_EQ(Of(EncodeEndTran(77, true)), (Bytes{77, 0, 0, 0, 1}));
  EXPECT_EQ(Of(EncodeEndTran(77, false)), (Bytes{77, 0, 0, 0, 0}));
}

// The expected descriptor of an index with `count` key fields taken from
// `fields`, as the byte table lays it out.
Bytes ExpectedDescriptor(const std::string& name, const std::vector<uint32_t>& fields, uint8_t dups, uint8_t asc,
                         uint8_t nocase) {
  Expect e;
  e.Int32(0).Str(name, 31).Zeros(64).Int32(0).Int32(0).Int32(static_cast<uint32_t>(fields.size()));
  for (uint32_t f : fields) e.Int32(f);
  e.Zeros(4 * (16 - fields.size()));
  return e.Byte(dups).Byte(asc).Byte(nocase);
}

TqdNewIndex NewIndex(std::string name, int32_t count, bool dups, bool asc, bool nocase) {
  TqdNewIndex index;
  index.Name = std::move(name);
  index.KeyFieldCount = count;
  for (size_t i = 0; i < index.KeyFields.size(); ++i) index.KeyFields[i] = static_cast<int32_t>(100 + i);
  index.AllowDuplicates = dups;
  index.Ascending = asc;
  index.CaseInsensitive = nocase;
  return index;
}

std::vector<uint32_t> FieldsFrom100(size_t count) {
  std::vector<uint32_t> fields;
  for (uint32_t i = 0; i < count; ++i) fields.push_back(100 + i);
  return fields;
}

// Only as many key-field numbers as the count are set; a count above 16 is
// clamped, one below 0 sends none.
TEST(CallRecords, IndexDescriptorKeyFieldsAndFlags) {
  struct Case {
    const char* What;
    TqdNewIndex Index;
    Bytes Expected;
  };
  const Case cases[] = {
      {"two fields", NewIndex("ByName", 2, true, true, false), ExpectedDescriptor("ByName", {100, 101}, 1, 1, 0)},
      {"none", NewIndex("Empty", 0, false, false, true), ExpectedDescriptor("Empty", {}, 0, 0, 1)},
      {"sixteen", NewIndex("All", 16, true, false, true), ExpectedDescriptor("All", FieldsFrom100(16), 1, 0, 1)},
      {"seventeen", NewIndex("Over", 17, false, true, false), ExpectedDescriptor("Over", FieldsFrom100(16), 0, 1, 0)},
      {"huge", NewIndex("Huge", 1 << 30, true, true, true), ExpectedDescriptor("Huge", FieldsFrom100(16), 1, 1, 1)},
      {"negative", NewIndex("Neg", -3, true, true, false), ExpectedDescriptor("Neg", {}, 1, 1, 0)},
      {"long name", NewIndex(kLong40, 1, true, true, false), ExpectedDescriptor(kCut31, {100}, 1, 1, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(Of(EncodeIndexDescriptor(c.Index)), c.Expected) << c.What;
}

// The add-index request's table name is always empty: the cursor decides.
TEST(CallRecords, AddIndexWrapsTheDescriptor) {
  const auto descriptor = EncodeIndexDescriptor(NewIndex("ByDay", 1, true, true, false));
  Bytes expected = Expect().Int32(0x0102).Int32(0x0304).Zeros(32);
  Bytes d = ExpectedDescriptor("ByDay", {100}, 1, 1, 0);
  expected.insert(expected.end(), d.begin(), d.end());
  EXPECT_EQ(Of(EncodeAddIndex(0x0102, 0x0304, descriptor)), expected);
}

Bytes TaskStatusReplyBytes(uint8_t percent, uint8_t finished, uint8_t found) {
  Bytes reply(33, 0);
  for (size_t i = 0; i < 32; ++i) reply[i] = static_cast<uint8_t>(0xA0 + i);  // carried bytes
  reply[20] = percent;
  reply[21] = reply[22] = reply[23] = 0;
  reply[28] = finished;
  reply[32] = found;
  return reply;
}

TEST(CallReplies, TaskStatusReply) {
  const Bytes reply = TaskStatusReplyBytes(42, 1, 1);
  auto r = DecodeTaskStatusReply(reply);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->Found);
  EXPECT_EQ(r->Status.PercentDone(), 42);
  EXPECT_TRUE(r->Status.Finished());
  EXPECT_EQ(Bytes(r->Status.Bytes.begin(), r->Status.Bytes.end()), Bytes(reply.begin(), reply.begin() + 32));

  struct Case {
    uint8_t Finished, Found;
    bool WantFinished, WantFound;
  };
  const Case cases[] = {{0, 1, false, true}, {7, 2, true, true}, {1, 0, true, false}, {0, 0, false, false}};
  for (const Case& c : cases) {
    auto s = DecodeTaskStatusReply(TaskStatusReplyBytes(0, c.Finished, c.Found));
    ASSERT_TRUE(s);
    EXPECT_EQ(s->Status.Finished(), c.WantFinished) << int(c.Finished);
    EXPECT_EQ(s->Found, c.WantFound) << int(c.Found);
  }
  Bytes negative = TaskStatusReplyBytes(0, 0, 1);
  negative[20] = negative[21] = negative[22] = negative[23] = 0xFF;
  EXPECT_EQ(DecodeTaskStatusReply(negative)->Status.PercentDone(), -1);
  EXPECT_FALSE(DecodeTaskStatusReply(std::span(reply).first(32)));
}

// A decoded row in one line, so that rows of either kind share a table.
using RowText = std::function<std::optional<std::string>(std::span<const uint8_t>)>;

std::optional<std::string> AliasText(std::span<const uint8_t> row) {
  auto r = DecodeAliasRow(row);
  if (!r) return std::nullopt;
  return std::string(r->Name) + "|" + std::string(r->Path);
}

std::optional<std::string> TableText(std::span<const uint8_t> row) {
  auto r = DecodeTableRow(row);
  if (!r) return std::nullopt;
  return std::string(r->Name) + "|" + std::string(r->Extension) + "|" + std::to_string(r->Size);
}

// Length bytes above a field's capacity are cut to it; the eight trailing
// bytes of a table row are not read; one byte short is no row.
TEST(CallReplies, CatalogueRows) {
  Bytes wildAlias(252, 'x');
  wildAlias[0] = 0xFF;
  wildAlias[32] = 0xFF;
  Bytes wildTable(48, 'y');
  wildTable[0] = 200;
  wildTable[32] = 9;
  struct Case {
    const char* What;
    Bytes Row;
    RowText Decode;
    std::string Expected;
  };
  const Case cases[] = {
      {"alias", Expect().Str("Sales", 31).Str("/srv/sales", 219), AliasText, "Sales|/srv/sales"},
      {"alias beyond capacity", wildAlias, AliasText, std::string(31, 'x') + "|" + std::string(219, 'x')},
      {"table", Expect().Str("ORDERS", 31).Str("DAT", 3).Int32(0x01020304).Int32(0xDEADBEEF).Int32(0xFEEDFACE),
       TableText, "ORDERS|DAT|16909060"},
      {"table beyond capacity", wildTable, TableText, std::string(31, 'y') + "|yyy|2038004089"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.Decode(c.Row), c.Expected) << c.What;
    EXPECT_EQ(c.Decode(std::span(c.Row).first(c.Row.size() - 1)), std::nullopt) << c.What;
  }
}

TEST(CallReplies, OpenTableReplyReadsCursorDictionaryAndIndex) {
  const Bytes reply = test::OpenTableReply(0x00C0FFEE, 3);
  TqdMemoryStream stream(reply);
  stream.Seek(reply.size());  // the decoder reads from the start whatever the position
  TqdDataDictionary dict;
  auto r = DecodeOpenTableReply(stream, dict);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->CursorId, 0x00C0FFEE);
  EXPECT_EQ(r->IndexId, 3);
  ASSERT_EQ(dict.FieldCount(), 4);
  EXPECT_EQ(dict.FieldDesc(2).Name.View(), "Amount");
  ASSERT_EQ(dict.IndexCount(), 5);
  EXPECT_EQ(dict.IndexName(3), "ByAmountDesc");
  EXPECT_FALSE(dict.IndexDesc(3).Ascending);
  EXPECT_EQ(test::DictionaryBytes(dict), test::DictionaryBytes(*test::OrdersDictionary()));
}

}  // namespace
}  // namespace qd
