// Where a store may be opened: only where one exists unless creation is
// asked for, and never through a symbolic link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "dir_snapshot.h"
#include "server/maintenance.h"
#include "server/server_results.h"
#include "server/store_cache.h"
#include "server/task_manager.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd {
namespace {

namespace fs = std::filesystem;

// The code a storage action raises; qdOK when it raises nothing.
TqdResult CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EqdStorageError& e) {
    return e.Code;
  }
  return qdOK;
}

void MakeStoreWithTable(const std::string& dir, const std::string& table) {
  TqdTableStore store(dir, {.Mode = TqdOpenMode::CreateIfMissing});
  auto dict = test::OrdersDictionary();
  test::FillOrders(store, store.CreateTable(table, *dict, false), *dict, 20, 2);
}

TEST(StoreSafety, ADirectoryWithoutAStoreGetsNoFile) {
  test::TempDir dir;
  TqdStoreCache stores;
  EXPECT_EQ(CodeOf([&] { TqdTableStore store(dir.Path()); }), qdErrNoSuchTable);
  EXPECT_EQ(CodeOf([&] { stores.For(dir.Path()); }), qdErrNoSuchTable);
  EXPECT_EQ(stores.Find(dir.Path()), nullptr);
  EXPECT_TRUE(test::SnapshotOf(dir.Path()).empty());

  // Created only when asked for; found from then on, by any cache.
  TqdTableStore& made = stores.ForCreating(dir.Path());
  EXPECT_TRUE(made.ListTables("").empty());
  EXPECT_EQ(stores.Find(dir.Path()), &made);
  TqdStoreCache other;
  EXPECT_NE(other.Find(dir.Path()), nullptr);
  EXPECT_TRUE(fs::is_regular_file(dir.Path() + "/" + kStoreFileName));
}

TEST(StoreSafety, ADirectoryNotInCanonicalFormIsRefused) {
  test::TempDir dir;
  std::string sales = dir.Make("sales");
  MakeStoreWithTable(sales, "Orders");
  for (const std::string& path :
       {sales + "/.", sales + "/../sales", sales + "/", std::string("sales")}) {
    EXPECT_EQ(CodeOf([&] { TqdTableStore store(path); }), qdErrServerFileOpen) << path;
  }
}

// Each case puts a link somewhere on the way to a store, after (or
// before) the store's directory was resolved; every way of opening the
// store through it is refused and the place the link leads to is left
// exactly as it was.
struct LinkCase {
  const char* What;
  // Returns the canonical directory the server resolved, before the link.
  std::function<std::string(const test::TempDir&)> Resolve;
  std::function<void(const test::TempDir&, const std::string&)> PutLink;
};

const LinkCase kLinkCases[] = {
    {"the store file is a link to another store",
     [](const test::TempDir& t) { return t.Make("data/linked"); },
     [](const test::TempDir& t, const std::string& dir) {
       ASSERT_EQ(
           symlink((t.Path() + "/outside/quilldrive.db").c_str(), (dir + "/quilldrive.db").c_str()),
           0);
     }},
    {"the directory was replaced by a link",
     [](const test::TempDir& t) {
       std::string dir = t.Make("data/sales");
       MakeStoreWithTable(dir, "Orders");
       return dir;
     },
     [](const test::TempDir& t, const std::string& dir) {
       fs::rename(dir, dir + ".moved");
       fs::create_directory_symlink(t.Path() + "/outside", dir);
     }},
    {"a directory above it was replaced by a link",
     [](const test::TempDir& t) {
       std::string dir = t.Make("data/sub/sales");
       MakeStoreWithTable(dir, "Orders");
       MakeStoreWithTable(t.Make("outside/sales"), "Outside");
       return dir;
     },
     [](const test::TempDir& t, const std::string&) {
       fs::rename(t.Path() + "/data/sub", t.Path() + "/data/sub.moved");
       fs::create_directory_symlink(t.Path() + "/outside", t.Path() + "/data/sub");
     }},
    {"the empty directory was replaced by a link",
     [](const test::TempDir& t) { return t.Make("data/spare"); },
     [](const test::TempDir& t, const std::string& dir) {
       fs::remove(dir);
       fs::create_directory_symlink(t.Path() + "/outside", dir);
     }},
};

TEST(StoreSafety, NothingIsOpenedThroughALink) {
  for (const LinkCase& c : kLinkCases) {
    SCOPED_TRACE(c.What);
    test::TempDir t;
    MakeStoreWithTable(t.Make("outside"), "Outside");
    const std::string dir = c.Resolve(t);
    // A worker that had the store open before the link came.
    TqdStoreCache warm;
    warm.Find(dir);
    c.PutLink(t, dir);
    const auto before = test::SnapshotOf(t.Path() + "/outside");

    auto dict = test::OrdersDictionary();
    TqdStoreCache cold;
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"open", [&] { TqdTableStore store(dir); }},
        {"create",
         [&] {
           TqdTableStore(dir, {.Mode = TqdOpenMode::CreateIfMissing})
               .CreateTable("New", *dict, false);
         }},
        {"pack as a task",
         [&] {
           TqdTaskManager tasks;
           int32_t n = tasks.Start(0, dir, "Outside", TqdTaskKind::Pack,
                                   [](TqdTableStore& s, TqdTaskProgress& p) { RunPackTable(s, "Outside", p); });
           auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
           while (!tasks.Status(n).Finished && std::chrono::steady_clock::now() < deadline)
             std::this_thread::sleep_for(std::chrono::milliseconds(5));
           TqdTaskStatusRecord status = tasks.Status(n);
           if (status.Result != qdOK) throw EqdStorageError(status.Result, "the task failed");
         }},
        {"worker had it open", [&] { warm.For(dir).CreateTable("New", *dict, false); }},
        {"worker find", [&] { cold.Find(dir); }},
        {"worker create", [&] { cold.ForCreating(dir).CreateTable("New", *dict, false); }},
    };
    for (const auto& [what, action] : actions)
      EXPECT_EQ(CodeOf(action), qdErrServerFileOpen) << what;
    EXPECT_EQ(test::SnapshotOf(t.Path() + "/outside"), before);
  }
}

}  // namespace
}  // namespace qd
