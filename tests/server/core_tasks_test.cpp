#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core_fixture.h"
#include "server/server_results.h"

namespace qd {
namespace {

using test::CoreTest;
using test::TableRequest;

class CoreTasksTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    c_ = harness_->LoggedIn();
    db_ = harness_->OpenDatabase(c_, "sales");
  }
  test::RecordedReply Status(int32_t task) { return harness_->Request(c_, msgGetTaskStatus, Int32Reply(task)); }
  // Polls until the task says finished; returns the percentages seen.
  std::vector<int32_t> PollToFinished(int32_t task) {
    std::vector<int32_t> seen;
    for (int i = 0; i < 100000; ++i) {
      auto r = Status(task);
      EXPECT_EQ(r.Data.size(), 33u);
      if (r.Data.size() != 33u) break;
      EXPECT_EQ(r.Data[32], 1);
      seen.push_back(GetInt32LE(r.Data.data() + 20));
      if (r.Data[28] != 0) break;
    }
    return seen;
  }
  TqdCoreConnection c_ = 0;
  int32_t db_ = 0;
};

TEST_F(CoreTasksTest, RebuildAnswersATaskThatFinishes) {
  std::vector<uint8_t> req = TableRequest(db_, "Orders", 72);
  PutInt32LE(req.data() + 68, 2);
  auto r = harness_->Request(c_, msgReindexTable, req);
  ASSERT_EQ(r.Result, 0);
  ASSERT_EQ(r.Data.size(), 4u);
  int32_t task = GetInt32LE(r.Data.data());
  EXPECT_GT(task, 0);
  auto seen = PollToFinished(task);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  auto done = Status(task);
  EXPECT_EQ(GetInt32LE(done.Data.data()), task);
  EXPECT_EQ(GetUInt32LE(done.Data.data() + 4), 0u);  // the work's result
  EXPECT_EQ(GetInt64LE(done.Data.data() + 8), 80);   // rows done
}

TEST_F(CoreTasksTest, RequestsForMissingThingsFailAtOnce) {
  std::vector<uint8_t> req = TableRequest(db_, "Missing", 72);
  EXPECT_EQ(harness_->Request(c_, msgReindexTable, req).Result, qdErrNoSuchTable);
  req = TableRequest(db_, "Orders", 72);
  PutInt32LE(req.data() + 68, 17);
  EXPECT_EQ(harness_->Request(c_, msgReindexTable, req).Result, qdErrNoSuchIndex);
  EXPECT_EQ(harness_->Request(c_, msgPackTable, TableRequest(db_, "Missing")).Result, qdErrNoSuchTable);
  EXPECT_EQ(harness_->Request(c_, msgPackTable, TableRequest(77, "Orders")).Result, qdErrUnknownDB);
}

TEST_F(CoreTasksTest, UnknownTaskIsNotFound) {
  auto r = Status(4242);
  EXPECT_EQ(r.Result, 0);
  ASSERT_EQ(r.Data.size(), 33u);
  EXPECT_TRUE(std::all_of(r.Data.begin(), r.Data.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(CoreTasksTest, PackRunsAndTheTableIsBusyMeanwhile) {
  auto r = harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders"));
  ASSERT_EQ(r.Result, 0);
  int32_t task = GetInt32LE(r.Data.data());
  auto seen = PollToFinished(task);
  EXPECT_EQ(seen.back(), 100);
  TqdTableStore store(salesDir_);
  auto info = store.ListTables("Orders");
  EXPECT_EQ(info[0].Deleted, 0);
  EXPECT_EQ(info[0].Records, 40);
}

TEST_F(CoreTasksTest, AddIndexThroughACursor) {
  std::vector<uint8_t> open(74, 0);
  PutInt32LE(open.data(), db_);
  PutShortString(open.data() + 4, "Orders", 31);
  auto o = harness_->Request(c_, msgOpenTable, open);
  int32_t cursor = GetInt32LE(o.Data.data());
  std::vector<uint8_t> req(219, 0);
  PutInt32LE(req.data(), db_);
  PutInt32LE(req.data() + 4, cursor);
  uint8_t* d = req.data() + 40;
  PutShortString(d + 4, "ByDay", 31);
  PutInt32LE(d + 108, 1);
  PutInt32LE(d + 112, 3);
  d[176] = 1;
  d[177] = 1;
  auto r = harness_->Request(c_, msgAddIndex, req);
  ASSERT_EQ(r.Result, 0);
  PollToFinished(GetInt32LE(r.Data.data()));
  auto again = harness_->Request(c_, msgAddIndex, req);
  EXPECT_EQ(again.Result, qdErrIndexExists);
  PutInt32LE(d + 108, 0);
  EXPECT_EQ(harness_->Request(c_, msgAddIndex, req).Result, 10023);
}

// A status poll that has no news waits until the progress moves (or the
// wait runs out) and is answered from the timer.
TEST_F(CoreTasksTest, RepeatedPollWaitsForProgress) {
  int32_t task = harness_->Core().Tasks().Start(salesDir_, "Orders", TqdTaskKind::Rebuild,
                                                [this](TqdTableStore&, TqdTaskProgress& p) {
                                                  p.Total = 10;
                                                  p.Done = 5;
                                                  while (!release_) std::this_thread::yield();
                                                  p.Done = 10;
                                                });
  // Wait until the task has published its progress.
  int32_t percent = 0;
  for (int i = 0; i < 10000 && percent != 50; ++i) percent = GetInt32LE(Status(task).Data.data() + 20);
  ASSERT_EQ(percent, 50);
  harness_->Core().OnRequest(c_, {msgGetTaskStatus, 0, false, Int32Reply(task)});
  EXPECT_TRUE(harness_->Output().Replies.empty());
  EXPECT_EQ(harness_->Core().WaitingStatusAnswers(), 1u);
  release_ = true;
  auto r = harness_->NextReply();
  ASSERT_EQ(r.Data.size(), 33u);
  EXPECT_EQ(harness_->Core().WaitingStatusAnswers(), 0u);
}

TEST_F(CoreTasksTest, TaskSurvivesItsClient) {
  std::vector<uint8_t> req = TableRequest(db_, "Orders", 72);
  PutInt32LE(req.data() + 68, 1);
  int32_t task = GetInt32LE(harness_->Request(c_, msgReindexTable, req).Data.data());
  harness_->Core().RemoveConnection(c_);
  TqdCoreConnection other = harness_->LoggedIn();
  for (int i = 0; i < 100000; ++i) {
    auto r = harness_->Request(other, msgGetTaskStatus, Int32Reply(task));
    ASSERT_EQ(r.Data[32], 1);
    if (r.Data[28]) break;
  }
}

TEST_F(CoreTasksTest, TableChangesWaitForTasks) {
  harness_->Core().Tasks().Start(salesDir_, "Orders", TqdTaskKind::Pack, [this](TqdTableStore&, TqdTaskProgress&) {
    while (!release_) std::this_thread::yield();
  });
  EXPECT_EQ(harness_->Request(c_, msgDeleteTable, TableRequest(db_, "Orders")).Result, qdErrTableBusy);
  release_ = true;
}

// Each task has a thread of its own, so the unfinished tasks are capped: a
// client asking for work without end cannot make threads without end.
TEST_F(CoreTasksTest, UnfinishedTasksAreCapped) {
  for (size_t n = 0; n < kMaxUnfinishedTasks; ++n) {
    harness_->Core().Tasks().Start(salesDir_, "Other", TqdTaskKind::Pack, [this](TqdTableStore&, TqdTaskProgress&) {
      while (!release_) std::this_thread::yield();
    });
  }
  EXPECT_EQ(harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders")).Result, qdErrDirBusy);
  release_ = true;
  auto pack = harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders"));
  for (int i = 0; i < 1000 && pack.Result == qdErrDirBusy; ++i) {
    // The held tasks finish on their own threads; wait until one has.
    pack = harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders"));
  }
  EXPECT_EQ(pack.Result, 0);
}

}  // namespace
}  // namespace qd
