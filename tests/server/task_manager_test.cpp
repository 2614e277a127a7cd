// The task manager while tasks end as fast as they start and the serving
// thread reaps them all the time: every start still answers its own number.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "server/task_manager.h"
#include "temp_dir.h"

namespace qd {
namespace {

TEST(TaskManagerTest, StartAnswersItsNumberWhileTheReaperRuns) {
  test::TempDir dir;
  TqdTaskManager tasks;
  std::atomic<bool> stop{false};
  std::thread reaper([&] {
    while (!stop) tasks.Reap();
  });
  for (int32_t i = 1; i <= 3000; ++i) {
    // A task with nothing to do may be reaped before Start returns.
    int32_t n = tasks.Start(0, dir.Path(), "T", TqdTaskKind::Rebuild, [](TqdTableStore&, TqdTaskProgress&) {},
                            {1000, 1000});
    ASSERT_EQ(n, i);
  }
  stop = true;
  reaper.join();
  EXPECT_TRUE(tasks.Status(3000).Found);
}

}  // namespace
}  // namespace qd
