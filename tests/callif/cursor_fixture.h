// A client cursor on the demo table Customers of a qd-server (300 records,
// every tenth deleted: Id 1..300 without 10, 20, ...), with the helpers the
// cursor tests share.
// Thread rules: the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "tests/callif/server_fixture.h"

namespace qd::test {

class CursorServerTest : public CallifServerTest {
 protected:
  void OpenCustomers() {
    db_ = OpenSales();
    cursor_ = OpenTable(db_, "Customers");
    table_ = LiveObject<TQDClientTable>(cursor_);
    ASSERT_NE(table_, nullptr);
    record_.assign(static_cast<size_t>(table_->RecordLength()), 0);
  }
  const TqdDataDictionary& Dict() { return table_->Dictionary(); }
  int32_t Id(const std::vector<uint8_t>& r) { return GetInt32LE(r.data() + Dict().FieldDesc(0).Offset); }
  std::string Name(const std::vector<uint8_t>& r) {
    return GetShortString(r.data() + Dict().FieldDesc(1).Offset, 30);
  }
  void Switch(int16_t index) { ASSERT_EQ(table_->SwitchToIndex(nullptr, nullptr, index, false), qdOK); }
  // Every record from here on, forward or back.
  std::vector<std::vector<uint8_t>> Walk(bool forward) {
    std::vector<std::vector<uint8_t>> rows;
    auto step = [&] {
      return forward ? table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr)
                     : table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr);
    };
    while (step() == qdOK) rows.push_back(record_);
    EXPECT_EQ(table_->Result(), forward ? qdErrEOF : qdErrBOF);
    return rows;
  }
  std::vector<int32_t> Ids(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<int32_t> ids;
    for (const auto& r : rows) ids.push_back(Id(r));
    return ids;
  }
  // The index's composite key of a record holding `id` in field 0.
  std::vector<uint8_t> IdKey(int32_t id) {
    std::vector<uint8_t> r(record_.size());
    table_->InitRecord(r.data());
    EXPECT_EQ(table_->TranslatePut(1, r.data(), &id), qdOK);
    std::vector<uint8_t> key(static_cast<size_t>(table_->KeyLength()));
    EXPECT_EQ(table_->ExtractKey(r.data(), key.data()), qdOK);
    return key;
  }
  std::vector<uint8_t> NameKey(const std::string& text) {
    std::vector<uint8_t> key(static_cast<size_t>(table_->KeyLength()), 0);
    PutShortString(key.data(), text, 30);
    return key;  // the null flag byte after the field stays clear
  }

  hDBIDb db_ = nullptr;
  hDBICur cursor_ = nullptr;
  TQDClientTable* table_ = nullptr;
  std::vector<uint8_t> record_;
};

inline std::vector<int32_t> LiveIds(int32_t from, int32_t to) {
  std::vector<int32_t> ids;
  for (int32_t i = from; i <= to; ++i)
    if (i % 10 != 0) ids.push_back(i);
  return ids;
}

}  // namespace qd::test
