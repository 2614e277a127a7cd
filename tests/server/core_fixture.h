// A configured server core over a temporary data directory with one alias,
// "Sales", whose store holds the table Orders (50 records, every fifth
// deleted, indexes built).
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include "core_harness.h"
#include "server/maintenance.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd::test {

class CoreTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    dir_.Make("data/sales");
    dir_.Make("data/spare");
    ASSERT_TRUE(ParseServerConfig("[Server]\nSecure=1\nDataDir=data\n[Users]\ndemo=secret\n[Aliases]\nSales=sales\n",
                                  dir_.Path(), config_, error))
        << error;
    salesDir_ = config_.Aliases[0].Directory;
    {
      TqdTableStore store(salesDir_, {.Mode = TqdOpenMode::CreateIfMissing});
      int64_t id = store.CreateTable("Orders", *dict_, false);
      FillOrders(store, id, *dict_, 50, 5);
      TqdTaskProgress progress;
      for (int32_t i = 1; i < dict_->IndexCount(); ++i) RunRebuildIndex(store, "Orders", i, progress);
    }
    harness_ = std::make_unique<CoreHarness>(config_);
  }

  TempDir dir_;
  TqdServerConfig config_;
  std::string salesDir_;
  std::unique_ptr<TqdDataDictionary> dict_ = OrdersDictionary();
  // Lets tests hold a task's work; declared before the harness, which
  // waits for the tasks when it goes.
  std::atomic<bool> release_{false};
  std::unique_ptr<CoreHarness> harness_;
};

}  // namespace qd::test
