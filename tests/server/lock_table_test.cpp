// The lock rules of the server's cursors, step by step.
#include "server/lock_table.h"

#include <gtest/gtest.h>

#include "server/server_results.h"

namespace qd {
namespace {

const TqdLockOwner kA{1, 10}, kA2{1, 11}, kB{2, 20};
const std::string kT = "dir\0T";

TEST(LockTableTest, TableLocks) {
  struct Step {
    const char* What;
    TqdLockOwner Owner;
    uint8_t Type;
    TqdResult Result;
  } steps[] = {
      {"a reads", kA, kReadLock, qdOK},
      {"b reads beside", kB, kReadLock, qdOK},
      {"a cannot write while b reads", kA, kWriteLock, qdErrTableBusy},
      {"a reads again", kA, kReadLock, qdOK},
      {"another cursor of a's connection is another owner", kA2, kWriteLock, qdErrTableBusy},
      {"an unknown type", kA, 3, qdErrInvalidParam},
  };
  TqdLockTable locks;
  for (const Step& s : steps) EXPECT_EQ(locks.LockTable(kT, s.Owner, s.Type), s.Result) << s.What;
  EXPECT_EQ(locks.TableLocks(kT, kA, kReadLock), 2);
  EXPECT_EQ(locks.MayChange(kT, kA, std::nullopt), qdErrTableBusy);  // b's read lock keeps a out
  EXPECT_EQ(locks.UnlockTable(kT, kB, false, kReadLock), qdOK);
  EXPECT_EQ(locks.UnlockTable(kT, kB, false, kReadLock), 10248);
  EXPECT_EQ(locks.MayChange(kT, kA, std::nullopt), qdOK);
  EXPECT_EQ(locks.MayChange(kT, kB, std::nullopt), qdErrTableBusy);
  EXPECT_EQ(locks.UnlockTable(kT, kA, false, kReadLock), qdOK);
  EXPECT_EQ(locks.LockTable(kT, kA, kWriteLock), qdOK);  // one read take left, its own
  EXPECT_EQ(locks.LockTable(kT, kB, kReadLock), qdErrTableBusy);
  EXPECT_TRUE(locks.LockedByOthers(kT, kB.Connection));
  EXPECT_FALSE(locks.LockedByOthers(kT, kA.Connection));
  EXPECT_EQ(locks.UnlockTable(kT, kA, true, 0), qdOK);
  EXPECT_EQ(locks.TableLocks(kT, kA, kReadLock), 0);
  EXPECT_EQ(locks.LockTable(kT, kB, kWriteLock), qdOK);
}

TEST(LockTableTest, RecordLocks) {
  TqdLockTable locks;
  EXPECT_EQ(locks.LockRecord(kT, 5, kA), qdOK);
  EXPECT_EQ(locks.LockRecord(kT, 5, kA), qdOK);  // again by its holder
  EXPECT_EQ(locks.LockRecord(kT, 5, kB), qdErrRecordLocked);
  EXPECT_EQ(locks.LockRecord(kT, 6, kB), qdOK);
  EXPECT_EQ(locks.MayChange(kT, kB, 5), qdErrRecordLocked);
  EXPECT_EQ(locks.MayChange(kT, kB, 6), qdOK);
  EXPECT_EQ(locks.MayChange(kT, kB, std::nullopt), qdOK);  // an insert: no record lock stands in its way
  locks.UnlockRecord(kT, 5, kB);  // not b's: stays
  EXPECT_TRUE(locks.HoldsRecord(kT, 5, kA));
  locks.ForgetCursor(kA);
  EXPECT_EQ(locks.LockRecord(kT, 5, kB), qdOK);
  locks.ForgetRecords(kT);  // a pack renumbered them
  EXPECT_FALSE(locks.HoldsRecord(kT, 5, kB));
  EXPECT_EQ(locks.LockRecord(kT, 7, kA2), qdOK);
  EXPECT_EQ(locks.LockTable(kT, kA, kReadLock), qdOK);
  locks.ForgetConnection(kA.Connection);
  EXPECT_FALSE(locks.LockedByOthers(kT, kB.Connection));
}

}  // namespace
}  // namespace qd
