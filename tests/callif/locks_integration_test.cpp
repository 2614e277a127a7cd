// Record and table locks between two cursors against qd-server: a record
// one cursor holds cannot be locked or changed through the other, a table
// write lock keeps the other's locks and changes out, and a release lets
// them in. A release with nothing locked answers 0.
#include <gtest/gtest.h>

#include "callif/QDClTabl.h"
#include "server/server_results.h"
#include "tests/callif/cursor_fixture.h"

namespace qd {
namespace {

constexpr int32_t kBdeWriteLock = 1, kBdeReadLock = 2;

class LocksTest : public test::CursorServerTest {
 protected:
  void OpenSecond() {
    TQDClientTable* first = table_;
    table_ = LiveObject<TQDClientTable>(OpenTable(db_, "Customers"));
    ASSERT_NE(table_, nullptr);
    other_ = table_;
    table_ = first;
  }
  TQDClientTable* other_ = nullptr;
};

TEST_P(LocksTest, ARecordLockKeepsTheOtherCursorOut) {
  OpenCustomers();
  OpenSecond();
  Switch(1);
  ASSERT_EQ(other_->SwitchToIndex(nullptr, nullptr, 1, false), qdOK);
  EXPECT_EQ(table_->RelRecordLock(false), qdOK);  // nothing locked
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(7).data(), kBdeWriteLock, record_.data()), qdOK);
  std::vector<uint8_t> theirs(record_.size());
  // The other cursor may read the record, but not lock or change it.
  EXPECT_EQ(other_->GetRecordForKey(true, 0, 0, IdKey(7).data(), dbiNOLOCK, theirs.data()), qdOK);
  EXPECT_EQ(other_->GetRecord(kBdeWriteLock, theirs.data(), nullptr), qdErrRecordLocked);
  EXPECT_EQ(other_->ModifyRecord(theirs.data(), false), qdErrRecordLocked);
  EXPECT_EQ(other_->DeleteRecord(nullptr), qdErrRecordLocked);
  // Its holder changes it and lets it go with the change.
  ASSERT_EQ(table_->ModifyRecord(record_.data(), true), qdOK);
  EXPECT_EQ(other_->GetRecord(kBdeWriteLock, theirs.data(), nullptr), qdOK);
  EXPECT_EQ(table_->GetRecord(kBdeWriteLock, record_.data(), nullptr), qdErrRecordLocked);
  EXPECT_EQ(other_->RelRecordLock(true), qdOK);
  EXPECT_EQ(table_->GetRecord(kBdeWriteLock, record_.data(), nullptr), qdOK);
}

TEST_P(LocksTest, ATableWriteLockKeepsTheOthersLocksAndChangesOut) {
  OpenCustomers();
  OpenSecond();
  int32_t locked = -1;
  ASSERT_EQ(table_->AcqTableLock(kBdeWriteLock), qdOK);
  ASSERT_EQ(table_->IsTableLocked(kBdeWriteLock, locked), qdOK);
  EXPECT_EQ(locked, 1);
  ASSERT_EQ(other_->IsTableLocked(kBdeWriteLock, locked), qdOK);
  EXPECT_EQ(locked, 0);
  EXPECT_EQ(other_->AcqTableLock(kBdeReadLock), qdErrTableBusy);
  ASSERT_EQ(other_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);  // reading goes on
  EXPECT_EQ(other_->ModifyRecord(record_.data(), false), qdErrTableBusy);
  EXPECT_EQ(other_->InsertRecord(dbiNOLOCK, record_.data()), qdErrTableBusy);
  ASSERT_EQ(table_->RelTableLock(false, kBdeWriteLock), qdOK);
  EXPECT_EQ(table_->RelTableLock(false, kBdeWriteLock), 10248);
  EXPECT_EQ(other_->AcqTableLock(kBdeReadLock), qdOK);
  EXPECT_EQ(table_->AcqTableLock(kBdeReadLock), qdOK);  // read locks are shared
  EXPECT_EQ(table_->AcqTableLock(kBdeWriteLock), qdErrTableBusy);
  // Closing a cursor lets its locks go.
  ASSERT_EQ(other_->CloseCursor(), qdOK);
  EXPECT_EQ(table_->AcqTableLock(kBdeWriteLock), qdOK);
}

// A table opened to itself is opened nowhere else meanwhile, and another
// client's maintenance of it is refused; closing it lets everyone in.
TEST_P(LocksTest, ATableOpenedExclusivelyIsOpenNowhereElse) {
  db_ = OpenSales();
  hDBICur alone = nullptr, second = nullptr;
  ASSERT_EQ(Engine().OpenTable(db_, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENEXCL, 0, false,
                               nullptr, alone),
            qdOK);
  EXPECT_EQ(Engine().OpenTable(db_, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENSHARED, 0, false,
                               nullptr, second),
            qdErrNoExclusiveAccess);
  EXPECT_EQ(Engine().OpenTable(db_, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENEXCL, 0, false,
                               nullptr, second),
            qdErrNoExclusiveAccess);
  // A clone is the same client's and comes in.
  hDBICur clone = nullptr;
  ASSERT_EQ(Engine().CloseCursor(alone), qdOK);
  ASSERT_EQ(Engine().OpenTable(db_, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENSHARED, 0, false,
                               nullptr, second),
            qdOK);
  EXPECT_EQ(Engine().OpenTable(db_, "Customers", nullptr, nullptr, nullptr, 0, dbiREADWRITE, dbiOPENEXCL, 0, false,
                               nullptr, alone),
            qdErrNoExclusiveAccess);
  EXPECT_EQ(Engine().CloneCursor(second, false, clone), qdOK);
}

// A clone starts where its cursor stood and then goes its own way; a
// cursor on another index can be set to another cursor's record.
TEST_P(LocksTest, ClonesAndCursorsFollowingCursors) {
  OpenCustomers();
  Switch(1);
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(151).data(), dbiNOLOCK, record_.data()), qdOK);
  TttBaseTable* cloned = nullptr;
  ASSERT_EQ(table_->CloneCursor(false, cloned), qdOK);
  auto* clone = dynamic_cast<TQDClientTable*>(cloned);
  ASSERT_NE(clone, nullptr);
  EXPECT_NE(clone->CursorId(), table_->CursorId());
  ASSERT_EQ(clone->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 151);
  ASSERT_EQ(clone->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 152);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 151);

  OpenSecond();
  ASSERT_EQ(other_->SwitchToIndex("ByName", nullptr, 0, false), qdOK);
  ASSERT_EQ(other_->SetToCursor(clone), qdOK);
  ASSERT_EQ(other_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 152);
  TqdEmptyTable foreign(nullptr, "EMPTY", nullptr);
  EXPECT_EQ(other_->SetToCursor(&foreign), qdErrInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(Transports, LocksTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
