// A client's transaction against qd-server: its changes are seen by its
// own cursors at once, kept by a commit, and undone by an abort, by
// closing the database and by a detach.
#include <gtest/gtest.h>

#include "callif/QDCLDbas.h"
#include "callif/QDClTabl.h"
#include "dict/QDCLConv.h"
#include "tests/callif/cursor_fixture.h"

namespace qd {
namespace {

constexpr int32_t kCommit = 0;

class TransactionsTest : public test::CursorServerTest {
 protected:
  TQDClientDatabase& Database() { return *LiveObject<TQDClientDatabase>(db_); }
  void Begin() {
    void* transaction = nullptr;
    ASSERT_EQ(Database().BeginTran(0, transaction), qdOK);
  }
  void InsertCustomer(int32_t id) {
    std::vector<uint8_t> r(record_.size());
    table_->InitRecord(r.data());
    ASSERT_EQ(table_->TranslatePut(1, r.data(), &id), qdOK);
    ASSERT_EQ(table_->InsertRecord(dbiNOLOCK, r.data()), qdOK);
  }
  bool Found(int32_t id) {
    return table_->GetRecordForKey(true, 0, 0, IdKey(id).data(), dbiNOLOCK, record_.data()) == qdOK;
  }
};

TEST_P(TransactionsTest, AbortUndoesAndCommitKeeps) {
  OpenCustomers();
  Switch(1);
  for (int32_t endKind : {xendABORT, kCommit}) {
    SCOPED_TRACE(endKind);
    const int32_t id = 5000 + endKind;
    Begin();
    void* again = nullptr;
    EXPECT_EQ(Database().BeginTran(0, again), qdErrActiveTran);
    InsertCustomer(id);
    EXPECT_TRUE(Found(id));  // seen inside the transaction at once
    ASSERT_EQ(Database().EndTran(nullptr, endKind), qdOK);
    EXPECT_EQ(Found(id), endKind == kCommit);
  }
  EXPECT_EQ(Database().EndTran(nullptr, kCommit), qdErrNoActiveTran);
}

TEST_P(TransactionsTest, ClosingTheDatabaseRollsBack) {
  OpenCustomers();
  Switch(1);
  Begin();
  InsertCustomer(6000);
  ASSERT_EQ(Engine().CloseDatabase(nullptr, db_), qdOK);
  OpenCustomers();
  Switch(1);
  EXPECT_FALSE(Found(6000));
  uint32_t count = 0;
  ASSERT_EQ(table_->GetRecordCount(count), qdOK);
  EXPECT_EQ(count, 270u);
}

TEST_P(TransactionsTest, ADetachRollsBack) {
  OpenCustomers();
  Switch(1);
  Begin();
  InsertCustomer(7000);
  StopClientEngine();  // detaches
  OpenCustomers();
  Switch(1);
  EXPECT_FALSE(Found(7000));
}

INSTANTIATE_TEST_SUITE_P(Transports, TransactionsTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
