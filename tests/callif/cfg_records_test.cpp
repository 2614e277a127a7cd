// The session's in-memory configuration records: adding, reading,
// changing and dropping them by path.
#include <gtest/gtest.h>

#include "base/endian.h"
#include "callif/QDTTSess.h"
#include "dict/bde_desc.h"

namespace qd {
namespace {

// Descriptors whose length words are given, and values of as many bytes.
struct CfgContents {
  explicit CfgContents(std::vector<uint16_t> lengths) : descs(lengths.size() * kFieldDescSize, 0) {
    uint16_t offset = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
      uint8_t* desc = &descs[i * kFieldDescSize];
      PutUInt16LE(desc + kFldNumberOffset, uint16_t(i + 1));
      PutUInt16LE(desc + kFldOffsetOffset, offset);
      PutUInt16LE(desc + kFldLengthOffset, lengths[i]);
      offset = uint16_t(offset + lengths[i]);
    }
    for (uint16_t i = 0; i < offset; ++i) values.push_back(uint8_t(i + 1));
  }
  int32_t Count() const { return int32_t(descs.size() / kFieldDescSize); }
  std::vector<uint8_t> descs;
  std::vector<uint8_t> values;
};

TEST(CfgRecordTest, ARecordIsReadBackWithItsDescriptorsAndValues) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  CfgContents contents({3, 5});
  ASSERT_EQ(session.CfgAddRecord(nullptr, "\\DRIVERS\\QD", contents.Count(), contents.descs.data(),
                                 contents.values.data()),
            qdOK);
  int32_t count = 0;
  std::vector<uint8_t> descs(2 * kFieldDescSize + 1, 0xEE);
  std::vector<uint8_t> values(8 + 1, 0xEE);
  EXPECT_EQ(session.CfgGetRecord(nullptr, "\\drivers\\qd", count, descs.data(), values.data()),
            qdOK);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(std::equal(contents.descs.begin(), contents.descs.end(), descs.begin()));
  EXPECT_EQ(descs.back(), 0xEE);
  EXPECT_TRUE(std::equal(contents.values.begin(), contents.values.end(), values.begin()));
  EXPECT_EQ(values.back(), 0xEE);  // the values are what the length words add up to
  // Without buffers only the count comes back.
  EXPECT_EQ(session.CfgGetRecord(nullptr, "\\DRIVERS\\QD", count, nullptr, nullptr), qdOK);
  EXPECT_EQ(count, 2);
}

TEST(CfgRecordTest, AddingAnExistingPathLeavesTheRecordUnchanged) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  CfgContents first({4});
  CfgContents second({2, 2, 2});
  ASSERT_EQ(
      session.CfgAddRecord(nullptr, "P", first.Count(), first.descs.data(), first.values.data()),
      qdOK);
  EXPECT_EQ(
      session.CfgAddRecord(nullptr, "p", second.Count(), second.descs.data(), second.values.data()),
      qdOK);
  EXPECT_EQ(session.CfgRecords().Count(), 1);
  auto* record = dynamic_cast<TttBaseCfgRecord*>(session.CfgRecords().Item(0));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Path(), "P");
  EXPECT_EQ(record->FieldCount(), 1);
  EXPECT_EQ(record->Descs(), first.descs);
  EXPECT_EQ(record->Values(), first.values);
}

TEST(CfgRecordTest, ModifyReplacesTheContentsAndACountBelowOneEmptiesThem) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  CfgContents first({4});
  CfgContents second({1, 6});
  ASSERT_EQ(
      session.CfgAddRecord(nullptr, "P", first.Count(), first.descs.data(), first.values.data()),
      qdOK);
  EXPECT_EQ(session.CfgModifyRecord(nullptr, "P", second.Count(), second.descs.data(),
                                    second.values.data()),
            qdOK);
  auto* record = dynamic_cast<TttBaseCfgRecord*>(session.CfgRecords().Item(0));
  EXPECT_EQ(record->Descs(), second.descs);
  EXPECT_EQ(record->Values(), second.values);

  // Descriptors without values: zero-filled values of the summed lengths.
  EXPECT_EQ(session.CfgModifyRecord(nullptr, "P", second.Count(), second.descs.data(), nullptr),
            qdOK);
  EXPECT_EQ(record->Values(), std::vector<uint8_t>(7, 0));

  for (int32_t count : {0, -3}) {
    EXPECT_EQ(
        session.CfgModifyRecord(nullptr, "P", count, second.descs.data(), second.values.data()),
        qdOK);
    EXPECT_EQ(record->FieldCount(), 0);
    EXPECT_TRUE(record->Descs().empty());
    EXPECT_TRUE(record->Values().empty());
  }
}

TEST(CfgRecordTest, MissingPathsAndUnknownRecords) {
  TttBaseSession session(nullptr, nullptr, "S", nullptr);
  CfgContents contents({2});
  ASSERT_EQ(
      session.CfgAddRecord(nullptr, "KNOWN", contents.Count(), contents.descs.data(), nullptr),
      qdOK);
  int32_t count = 5;
  struct Case {
    const char* path;
    TqdResult result;
  };
  for (const Case& c : {Case{nullptr, qdErrInvalidParam}, Case{"UNKNOWN", qdErrRecNotFound}}) {
    SCOPED_TRACE(c.path == nullptr ? "no path" : c.path);
    count = 5;
    EXPECT_EQ(session.CfgGetRecord(nullptr, c.path, count, nullptr, nullptr), c.result);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(session.CfgModifyRecord(nullptr, c.path, 1, contents.descs.data(), nullptr),
              c.result);
    EXPECT_EQ(session.CfgDropRecord(nullptr, c.path), c.result);
  }
  EXPECT_EQ(session.CfgAddRecord(nullptr, nullptr, 1, contents.descs.data(), nullptr),
            qdErrInvalidParam);
  EXPECT_EQ(session.CfgRecords().Count(), 1);
  EXPECT_EQ(session.CfgDropRecord(nullptr, "known"), qdOK);
  EXPECT_EQ(session.CfgRecords().Count(), 0);
  EXPECT_EQ(session.CfgGetRecord(nullptr, "KNOWN", count, nullptr, nullptr), qdErrRecNotFound);
}

}  // namespace
}  // namespace qd
