// Record buffers (fields at their offsets, then null bits) and composite
// keys (key fields in key order, then their null bits).
#include <gtest/gtest.h>

#include <vector>

#include "base/string_ids.h"
#include "dict/QDLLDict.h"
#include "tests/dict/dict_test_util.h"

namespace qd {
namespace {

using test::CatchEqd;

using Bytes = std::vector<uint8_t>;

// ID fkInt32 at 0, Name fkShortString(10) at 4, Flag fkBoolean at 15:
// 16 field bytes and one null byte.
std::unique_ptr<TqdDataDictionary> MakeThreeFields() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("ID", "", fkInt32, 10, 0, false);
  d->AddField("Name", "", fkShortString, 10, 0, false);
  d->AddField("Flag", "", fkBoolean, 0, 0, false);
  return d;
}

TEST(RecordBuffer, ClearedRecordIsZeroWithAllNullBitsSet) {
  auto d = MakeThreeFields();
  Bytes record(17, 0x33);
  d->ClearRecord(record.data());
  Bytes expected(16, 0);
  expected.push_back(0xFF);
  EXPECT_EQ(record, expected);
  d->ClearRecord(nullptr);  // nothing to do
  TqdDataDictionary empty;
  Bytes untouched(4, 0x33);
  empty.ClearRecord(untouched.data());
  EXPECT_EQ(untouched, Bytes(4, 0x33));
}

TEST(RecordBuffer, NullBitsForManyFields) {
  TqdDataDictionary d;
  for (int n = 0; n < 10; ++n) d.AddField("F" + std::to_string(n), "", fkUInt8, 3, 0, false);
  EXPECT_EQ(d.RecordSize(), 12);
  Bytes record(12);
  d.ClearRecord(record.data());
  EXPECT_EQ(record[10], 0xFF);
  EXPECT_EQ(record[11], 0xFF);  // unused bits of the last byte are set too
  const uint8_t value = 9;
  d.WriteFieldValue(9, record.data(), &value);
  EXPECT_EQ(record[9], 9);
  EXPECT_EQ(record[11], 0xFD);  // bit 9 = bit 1 of the second null byte
  d.WriteFieldValue(0, record.data(), &value);
  EXPECT_EQ(record[10], 0xFE);
}

// A cleared record of the three fields with ID written.
class RecordWithId : public ::testing::Test {
 protected:
  void SetUp() override {
    d->ClearRecord(record.data());
    d->WriteFieldValue(0, record.data(), id);
  }
  std::unique_ptr<TqdDataDictionary> d = MakeThreeFields();
  Bytes record = Bytes(17);
  const uint8_t id[4] = {1, 2, 3, 4};
};

TEST_F(RecordWithId, WriteAndReadFieldValues) {
  EXPECT_FALSE(d->FieldIsNull(0, record.data()));
  EXPECT_TRUE(d->FieldIsNull(1, record.data()));
  EXPECT_EQ(record[16], 0xFE);
  bool isNull = true;
  uint8_t out[4] = {};
  d->ReadFieldValue(0, record.data(), isNull, out);
  EXPECT_FALSE(isNull);
  EXPECT_EQ(Bytes(out, out + 4), Bytes(id, id + 4));

  // Without a value the field becomes null and its bytes zero.
  d->WriteFieldValue(0, record.data(), nullptr);
  EXPECT_TRUE(d->FieldIsNull(0, record.data()));
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), Bytes(4, 0));
  uint8_t untouched[4] = {9, 9, 9, 9};
  d->ReadFieldValue(0, record.data(), isNull, untouched);
  EXPECT_TRUE(isNull);
  EXPECT_EQ(untouched[0], 9);
}

TEST_F(RecordWithId, WriteFieldNullZeroesEitherWay) {
  for (bool nullWanted : {false, true}) {
    d->WriteFieldValue(0, record.data(), id);
    d->WriteFieldNull(0, record.data(), nullWanted);
    EXPECT_EQ(d->FieldIsNull(0, record.data()), nullWanted);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), Bytes(4, 0));
  }
}

TEST(RecordBuffer, AbsentRecordReadsAsNull) {
  auto d = MakeThreeFields();
  bool isNull = false;
  d->ReadFieldValue(1, nullptr, isNull, nullptr);
  EXPECT_TRUE(isNull);
  EXPECT_TRUE(d->FieldIsNull(2, nullptr));
  d->WriteFieldValue(1, nullptr, nullptr);
  d->WriteFieldNull(1, nullptr, true);
}

TEST(RecordBuffer, HelpersCheckTheFieldNumberFirst) {
  auto d = MakeThreeFields();
  Bytes record(17);
  bool isNull;
  const std::function<void()> calls[] = {
      [&] { d->ReadFieldValue(3, record.data(), isNull, nullptr); },
      [&] { d->FieldIsNull(-1, nullptr); },
      [&] { d->WriteFieldValue(3, nullptr, nullptr); },
      [&] { d->WriteFieldNull(7, record.data(), true); },
      [&] { d->BuildCompositeKey(1, record.data(), record.data()); },
  };
  for (const auto& call : calls) EXPECT_EQ(CatchEqd(call).Code, gsDictItemMissing);
}

TEST(CompositeKey, FieldsInKeyOrderThenNullBits) {
  auto d = MakeThreeFields();
  const int32_t keys[] = {1, 0};  // Name, then ID
  d->AddCompositeIndex("ByName", "", 0, keys, true, true, false);
  ASSERT_EQ(d->IndexKeyLength(1), 16);
  Bytes record(17);
  d->ClearRecord(record.data());
  const uint8_t name[11] = {3, 'a', 'b', 'c'};
  d->WriteFieldValue(1, record.data(), name);
  Bytes key(16, 0x77);
  d->BuildCompositeKey(1, record.data(), key.data());
  // Name present (key bit 0 clear), ID null (key bit 1 set, bytes 0).
  Bytes expected = {3, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFE};
  EXPECT_EQ(key, expected);

  const uint8_t id[4] = {0x10, 0x20, 0x30, 0x40};
  d->WriteFieldValue(0, record.data(), id);
  d->BuildCompositeKey(1, record.data(), key.data());
  expected = {3, 'a', 'b', 'c', 0, 0, 0, 0, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0xFC};
  EXPECT_EQ(key, expected);
}

TEST(CompositeKey, NineKeyFieldsTakeTwoNullBytes) {
  TqdDataDictionary d;
  for (int n = 0; n < 9; ++n) d.AddField("B" + std::to_string(n), "", fkUInt8, 3, 0, false);
  std::vector<int32_t> keys = {8, 7, 6, 5, 4, 3, 2, 1, 0};
  d.AddCompositeIndex("All", "", 0, keys, false, true, false);
  ASSERT_EQ(d.IndexKeyLength(1), 11);
  Bytes record(static_cast<size_t>(d.RecordSize()));
  d.ClearRecord(record.data());
  const uint8_t v = 0xAB;
  d.WriteFieldValue(0, record.data(), &v);  // key field 8
  Bytes key(11);
  d.BuildCompositeKey(1, record.data(), key.data());
  Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xFF, 0xFE};
  EXPECT_EQ(key, expected);
  // An absent record gives an all-null key.
  d.BuildCompositeKey(1, nullptr, key.data());
  expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  EXPECT_EQ(key, expected);
}

TEST(CompositeKey, UserDefinedKeyIsOnlyZeroed) {
  auto d = MakeThreeFields();
  Bytes record(17);
  d->ClearRecord(record.data());
  Bytes key(4, 0x77);
  d->BuildCompositeKey(0, record.data(), key.data());
  EXPECT_EQ(key, Bytes(4, 0));
  EXPECT_EQ(CatchEqd([&] { d->BuildCompositeKey(0, record.data(), nullptr); }).Code, gsDictInvalidParameter);
}

}  // namespace
}  // namespace qd
