// Stopping the stores of a server that shuts down: a busy wait gives up, a
// running statement is interrupted, and no store opens any more.
#include "server/stop_signal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "server/server_results.h"
#include "server/store_cache.h"
#include "server/task_manager.h"
#include "temp_dir.h"

namespace qd {
namespace {

using namespace std::chrono_literals;

// Far below the waits that the stop cuts short (minutes), far above what a
// stopped store takes on a busy machine.
constexpr auto kDeadline = 60s;

bool WaitUntil(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Runs `work` on a thread of its own; the code it raised, qdOK for none.
std::future<TqdResult> Launch(std::function<void()> work) {
  return std::async(std::launch::async, [work = std::move(work)]() -> TqdResult {
    try {
      work();
    } catch (const EqdStorageError& e) {
      return e.Code;
    }
    return qdOK;
  });
}

class StopSignalTest : public testing::Test {
 protected:
  void StopFromAnotherThread() {
    std::thread([this] { stop_.Stop(); }).join();
  }

  test::TempDir dir_;
  TqdTableStore store_{dir_.Path(), {.Mode = TqdOpenMode::CreateIfMissing}};
  TqdStopSignal stop_;
};

TEST_F(StopSignalTest, AWaitForAnotherWritersLockGivesUp) {
  TqdTableStore waiter(dir_.Path(), {.BusyMs = kTaskBusyMs, .Stop = &stop_});
  store_.Db().Exec("BEGIN IMMEDIATE");
  auto result = Launch([&] { TqdTransaction txn(waiter.Db()); });
  // Declared after the future: on any way out the lock goes first, so that
  // the waiter can end.
  struct Release {
    TqdTableStore& Holder;
    ~Release() { Holder.Db().Exec("ROLLBACK"); }
  } release{store_};

  ASSERT_TRUE(WaitUntil([&] { return stop_.Waiters() > 0; }))
      << "the writer never waited on the signal";
  StopFromAnotherThread();
  ASSERT_EQ(result.wait_for(kDeadline), std::future_status::ready);
  EXPECT_EQ(result.get(), qdErrDirBusy);
}

TEST_F(StopSignalTest, ARunningStatementIsInterrupted) {
  TqdTableStore worker(dir_.Path(), {.Stop = &stop_});
  std::atomic<bool> started{false};
  auto result = Launch([&] {
    started = true;
    // Minutes of counting unless it is stopped.
    worker.Db().QueryInt(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 100000000000) "
        "SELECT COUNT(*) FROM c");
  });
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
  StopFromAnotherThread();
  bool ended = result.wait_for(kDeadline) == std::future_status::ready;
  if (!ended) worker.Db().Interrupt();  // let the thread end before failing
  ASSERT_TRUE(ended);
  EXPECT_EQ(result.get(), qdErrServerUnexpected);
}

TEST_F(StopSignalTest, NoStoreOpensAfterTheStop) {
  // A store closed before the stop is not touched by it.
  { TqdTableStore closed(dir_.Path(), {.Stop = &stop_}); }
  StopFromAnotherThread();
  EXPECT_TRUE(stop_.Stopped());
  try {
    TqdTableStore late(dir_.Path(), {.Stop = &stop_});
    ADD_FAILURE() << "a store opened after the stop";
  } catch (const EqdStorageError& e) {
    EXPECT_EQ(e.Code, qdErrServerUnexpected);
  }
  TqdStoreCache stores(&stop_);
  EXPECT_THROW(stores.For(dir_.Path()), EqdStorageError);
  stop_.Stop();  // a second stop is harmless
}

}  // namespace
}  // namespace qd
