#include <gtest/gtest.h>

#include <algorithm>

#include "base/endian.h"
#include "server/maintenance.h"
#include "server/request_pool.h"
#include "server/server_results.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd {
namespace {

class StorageTest : public testing::Test {
 protected:
  test::TempDir dir_;
  TqdTableStore store_{dir_.Path(), {.Mode = TqdOpenMode::CreateIfMissing}};
  std::unique_ptr<TqdDataDictionary> dict_ = test::OrdersDictionary();
};

// A worker keeps its stores open, but no more than a bounded number: a
// client going through many directories cannot use up the descriptors.
TEST_F(StorageTest, AWorkerKeepsBoundedlyManyStoresOpen) {
  TqdStoreCache stores;
  for (size_t n = 0; n < 2 * kMaxOpenStores + 1; ++n) {
    TqdTableStore& store = stores.ForCreating(dir_.Make("d" + std::to_string(n)));
    EXPECT_TRUE(store.ListTables("").empty());
    EXPECT_LE(stores.OpenCount(), kMaxOpenStores);
  }
  // The store asked for last stays usable and is the same object again.
  TqdTableStore& last = stores.For(dir_.Path() + "/d" + std::to_string(2 * kMaxOpenStores));
  EXPECT_EQ(&last, &stores.For(dir_.Path() + "/d" + std::to_string(2 * kMaxOpenStores)));
}

TEST_F(StorageTest, CreatesListsAndFindsTables) {
  store_.CreateTable("Orders", *dict_, false);
  store_.CreateTable("Archive", *dict_, false);
  auto tables = store_.ListTables("");
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].Name, "Archive");
  EXPECT_EQ(tables[1].Extension, "QDD");
  EXPECT_EQ(store_.ListTables("ord*").size(), 1u);
  EXPECT_EQ(store_.ListTables("*.qdd").size(), 2u);
  EXPECT_EQ(store_.ListTables("x*").size(), 0u);
  EXPECT_TRUE(store_.FindTable("ORDERS").has_value());
  EXPECT_FALSE(store_.FindTable("Missing").has_value());
}

TEST_F(StorageTest, StoresTheDictionaryInStreamForm) {
  int64_t id = store_.CreateTable("Orders", *dict_, false);
  TqdMemoryStream expected;
  dict_->SaveToStream(expected);
  auto bytes = store_.DictionaryBytes(id);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.Bytes().begin(), expected.Bytes().end()));
  EXPECT_EQ(store_.LoadDictionary(id)->IndexCount(), 5);
}

TEST_F(StorageTest, RefusesAnExistingTableUnlessOverwriting) {
  int64_t first = store_.CreateTable("Orders", *dict_, false);
  test::FillOrders(store_, first, *dict_, 5, 0);
  try {
    store_.CreateTable("orders", *dict_, false);
    FAIL();
  } catch (const EqdStorageError& e) {
    EXPECT_EQ(e.Code, qdErrTableExists);
  }
  int64_t second = store_.CreateTable("Orders", *dict_, true);
  EXPECT_EQ(store_.ListTables("")[0].Records, 0);
  EXPECT_NE(first, second);
}

struct FailureCase {
  const char* What;
  std::function<void(TqdTableStore&)> Run;
  TqdResult Code;
};

TEST_F(StorageTest, FailuresCarryTheirCodes) {
  store_.CreateTable("Orders", *dict_, false);
  store_.CreateTable("Other", *dict_, false);
  const FailureCase cases[] = {
      {"delete missing", [](TqdTableStore& s) { s.DeleteTable("Nope"); }, qdErrNoSuchTable},
      {"rename missing", [](TqdTableStore& s) { s.RenameTable("Nope", "X"); }, qdErrNoSuchTable},
      {"rename onto other", [](TqdTableStore& s) { s.RenameTable("Orders", "other"); }, qdErrTableExists},
      {"empty missing", [](TqdTableStore& s) { s.EmptyTable("Nope"); }, qdErrNoSuchTable},
      {"delete index 0", [](TqdTableStore& s) { s.DeleteIndex("Orders", 0); }, qdErrNoSuchIndex},
      {"delete index 9", [](TqdTableStore& s) { s.DeleteIndex("Orders", 9); }, qdErrNoSuchIndex},
  };
  for (const auto& c : cases) {
    try {
      c.Run(store_);
      ADD_FAILURE() << c.What;
    } catch (const EqdStorageError& e) {
      EXPECT_EQ(e.Code, c.Code) << c.What;
    }
  }
}

TEST_F(StorageTest, RenameEmptyAndDelete) {
  int64_t id = store_.CreateTable("Orders", *dict_, false);
  test::FillOrders(store_, id, *dict_, 10, 3);
  store_.RenameTable("Orders", "Sales");
  EXPECT_FALSE(store_.FindTable("Orders"));
  auto info = store_.ListTables("Sales");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].Records, 7);
  EXPECT_EQ(info[0].Deleted, 3);
  store_.EmptyTable("sales");
  EXPECT_EQ(store_.ListTables("Sales")[0].Records + store_.ListTables("Sales")[0].Deleted, 0);
  store_.DeleteTable("Sales");
  EXPECT_TRUE(store_.ListTables("").empty());
}

TEST_F(StorageTest, DeleteIndexRenumbersTheRest) {
  int64_t id = store_.CreateTable("Orders", *dict_, false);
  test::FillOrders(store_, id, *dict_, 20, 0);
  TqdTaskProgress progress;
  RunRebuildIndex(store_, "Orders", 3, progress);
  store_.DeleteIndex("Orders", 2);
  auto dict = store_.LoadDictionary(id);
  ASSERT_EQ(dict->IndexCount(), 4);
  EXPECT_EQ(dict->IndexName(2), "ByAmountDesc");
  // The keys of the old index 3 now belong to index 2.
  auto ids = test::IdsInIndexOrder(store_, id, 2);
  ASSERT_EQ(ids.size(), 20u);
  EXPECT_EQ(ids.front(), 20);
}

}  // namespace
}  // namespace qd
