// Space given back: a pack shrinks its store, also one made before stores
// had auto-vacuum; a failed task leaves no write-ahead log behind.
#include "server/store_space.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "server/maintenance.h"
#include "server/server_results.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd {
namespace {

constexpr int kRecords = 20000;
constexpr int64_t kIncrementalVacuum = 2;

int64_t SizeOf(const std::string& path) {
  std::error_code error;
  auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<int64_t>(size);
}

// The way stores were made before: WAL first, so auto-vacuum stayed off.
void MakeOldStyleStoreFile(const std::string& dir) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir + "/" + kStoreFileName).c_str(), &db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
            SQLITE_OK);
  EXPECT_EQ(
      sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE old(x)", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
}

int64_t FillWithMostlyDeleted(TqdTableStore& store) {
  auto dict = test::OrdersDictionary();
  int64_t id = store.CreateTable("Orders", *dict, false);
  test::FillOrders(store, id, *dict, kRecords, 0);
  store.Db().Exec("UPDATE " + TqdTableStore::RecordTableName(id) +
                  " SET deleted = 1 WHERE rid % 10 <> 0");
  store.Db().Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  return id;
}

TEST(StoreSpace, APackShrinksTheStore) {
  struct Case {
    const char* What;
    bool OldStyle;
  };
  for (const Case& c : {Case{"new store", false}, Case{"store without auto-vacuum", true}}) {
    SCOPED_TRACE(c.What);
    test::TempDir dir;
    if (c.OldStyle) MakeOldStyleStoreFile(dir.Path());
    TqdTableStore store(dir.Path(), {.Mode = TqdOpenMode::CreateIfMissing});
    EXPECT_EQ(store.Db().QueryInt("PRAGMA auto_vacuum"), c.OldStyle ? 0 : kIncrementalVacuum);
    FillWithMostlyDeleted(store);
    const std::string file = store.FilePath(), wal = file + "-wal";
    const int64_t fileBefore = SizeOf(file), before = fileBefore + SizeOf(wal);

    TqdTaskProgress progress;
    RunPackTable(store, "Orders", progress);
    const int64_t after = SizeOf(file) + SizeOf(wal);
    EXPECT_LT(SizeOf(file) * 2, fileBefore);
    EXPECT_EQ(SizeOf(wal), 0);
    EXPECT_EQ(progress.Reclaimed.load(), before - after);
    EXPECT_EQ(store.Db().QueryInt("PRAGMA auto_vacuum"), kIncrementalVacuum);
    EXPECT_EQ(store.ListTables("Orders")[0].Records, kRecords / 10);
    auto check = store.Db().Prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
  }
}

TEST(StoreSpace, AFailedTaskLeavesNoLog) {
  static_assert(noexcept(ReleaseSpaceAfterFailedTask(std::declval<TqdTableStore&>())));
  test::TempDir dir;
  TqdTableStore store(dir.Path(), {.Mode = TqdOpenMode::CreateIfMissing});
  auto dict = test::OrdersDictionary();
  test::FillOrders(store, store.CreateTable("Orders", *dict, false), *dict, kRecords, 0);
  // A disk that is full a few pages on: the pack's copy cannot fit, and
  // with a small cache its pages spill into the log before it fails.
  store.Db().Exec("PRAGMA cache_size = 8");
  store.Db().Exec("PRAGMA max_page_count = " +
                  std::to_string(store.Db().QueryInt("PRAGMA page_count") + 16));
  TqdTaskProgress progress;
  try {
    RunPackTable(store, "Orders", progress);
    FAIL() << "the pack fitted";
  } catch (const EqdStorageError& e) {
    EXPECT_EQ(e.Code, qdErrServerWrite);
  }
  const std::string wal = store.FilePath() + "-wal";
  EXPECT_GT(SizeOf(wal), 0);
  ReleaseSpaceAfterFailedTask(store);
  EXPECT_EQ(SizeOf(wal), 0);
  EXPECT_EQ(store.ListTables("Orders")[0].Records, kRecords);
}

}  // namespace
}  // namespace qd
