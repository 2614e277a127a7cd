// Inserting, modifying and deleting records through a client cursor
// against qd-server: every index stays in step with the records (checked
// in the server's own store afterwards), and a key a unique index holds
// already is refused without changing anything.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "callif/QDClTabl.h"
#include "dict/QDCLConv.h"
#include "server/key_encoding.h"
#include "server/path_guard.h"
#include "server/server_results.h"
#include "server/table_store.h"
#include "tests/callif/cursor_fixture.h"

namespace qd {
namespace {

class RecordChangesTest : public test::CursorServerTest {
 protected:
  // Every key table of Customers holds exactly the keys of its live records.
  void ExpectKeysMatchRecords() {
    TqdTableStore store(*CanonicalDirectory(dir_.Path() + "/sales"));
    int64_t id = *store.FindTable("Customers");
    auto dict = store.LoadDictionary(id);
    for (int32_t n = 1; n < dict->IndexCount(); ++n) {
      SCOPED_TRACE(n);
      TqdKeyEncoder encoder(*dict, n);
      std::set<std::pair<std::vector<uint8_t>, int64_t>> expected, stored;
      auto records = store.Db().Prepare("SELECT rid, rec FROM " + TqdTableStore::RecordTableName(id) +
                                        " WHERE deleted = 0");
      while (records.Step()) {
        std::vector<uint8_t> key(encoder.Width());
        encoder.Encode(records.Blob(1).data(), key.data());
        expected.insert({key, records.Int(0)});
      }
      records.Reset();
      auto keys = store.Db().Prepare("SELECT key, rid FROM " + *store.ExistingKeyTable(id, n));
      while (keys.Step()) {
        auto key = keys.Blob(0);
        stored.insert({{key.begin(), key.end()}, keys.Int(1)});
      }
      keys.Reset();
      EXPECT_EQ(stored, expected);
    }
  }
  std::vector<uint8_t> NewCustomer(int32_t id, const std::string& name) {
    std::vector<uint8_t> r(record_.size());
    table_->InitRecord(r.data());
    EXPECT_EQ(table_->TranslatePut(1, r.data(), &id), qdOK);
    uint8_t text[31] = {};
    text[0] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), text + 1);
    EXPECT_EQ(table_->TranslatePut(2, r.data(), text), qdOK);
    return r;
  }
  uint32_t Count() {
    uint32_t count = 0;
    EXPECT_EQ(table_->GetRecordCount(count), qdOK);
    return count;
  }
};

TEST_P(RecordChangesTest, InsertModifyAndDeleteKeepEveryIndexInStep) {
  OpenCustomers();
  Switch(2);  // by name: the cursor follows each record in this order
  auto zed = NewCustomer(1000, "Zed 1000");
  ASSERT_EQ(table_->InsertRecord(dbiNOLOCK, zed.data()), qdOK);
  EXPECT_EQ(Count(), 271u);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 1000);
  EXPECT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdErrEOF);  // "Zed" sorts last

  // Renamed to sort first; the cursor goes with it.
  auto aaron = NewCustomer(1000, "Aaron 1000");
  ASSERT_EQ(table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  ASSERT_EQ(Id(record_), 1000);
  ASSERT_EQ(table_->ModifyRecord(aaron.data(), false), qdOK);
  EXPECT_EQ(table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr), qdErrBOF);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Name(record_), "Aaron 1000");
  ExpectKeysMatchRecords();

  // Deleting leaves the cursor before the record that followed.
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  const int32_t second = Id(record_);
  ASSERT_EQ(table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  std::vector<uint8_t> deleted(record_.size());
  ASSERT_EQ(table_->DeleteRecord(deleted.data()), qdOK);
  EXPECT_EQ(Id(deleted), 1000);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), second);
  EXPECT_EQ(Count(), 270u);
  ExpectKeysMatchRecords();
}

TEST_P(RecordChangesTest, AKeyViolationChangesNothing) {
  OpenCustomers();
  Switch(1);
  auto twin = NewCustomer(7, "Twin of 7");
  EXPECT_EQ(table_->InsertRecord(dbiNOLOCK, twin.data()), qdErrKeyViolation);
  EXPECT_EQ(Count(), 270u);
  // Modifying 8 into a second 7 is refused too, and 8 stays as it was.
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(8).data(), dbiNOLOCK, record_.data()), qdOK);
  const std::string name = Name(record_);
  EXPECT_EQ(table_->ModifyRecord(twin.data(), false), qdErrKeyViolation);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 8);
  EXPECT_EQ(Name(record_), name);
  ExpectKeysMatchRecords();
}

TEST_P(RecordChangesTest, ChangesNeedACurrentRecordOfTheTablesSize) {
  OpenCustomers();
  Switch(1);
  auto someone = NewCustomer(2000, "Someone");
  EXPECT_EQ(table_->ModifyRecord(someone.data(), false), qdErrNoCurrRec);
  EXPECT_EQ(table_->DeleteRecord(nullptr), qdErrNoCurrRec);
  EXPECT_EQ(table_->InsertRecord(dbiNOLOCK, nullptr), qdErrInvalidParam);
  // Appended at the end: the cursor is on it.
  ASSERT_EQ(table_->AppendRecord(someone.data()), qdOK);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 2000);
  ASSERT_EQ(table_->DeleteRecord(nullptr), qdOK);
  EXPECT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdErrNoCurrRec);
}

INSTANTIATE_TEST_SUITE_P(Transports, RecordChangesTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
