// A configured server core over a temporary data directory with one alias,
// "Sales", whose store holds the table Orders (50 records, every fifth
// deleted, indexes built).
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "core_harness.h"
#include "server/maintenance.h"
#include "temp_dir.h"
#include "test_tables.h"

namespace qd::test {

// Holds a task's work until the test opens it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> guard(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

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
  // The harness waits for the tasks when it goes: held ones are let go first.
  void TearDown() override {
    gate_.Open();
    harness_.reset();
  }

  TempDir dir_;
  TqdServerConfig config_;
  std::string salesDir_;
  std::unique_ptr<TqdDataDictionary> dict_ = OrdersDictionary();
  Gate gate_;  // lets tests hold a task's work
  std::unique_ptr<CoreHarness> harness_;
};

}  // namespace qd::test
