#include <gtest/gtest.h>


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
  // A task of `owner` that publishes done/total and then waits for the
  // gate; it ends without moving its percentage again.
  int32_t HeldTask(const std::string& table, int64_t total = 0, int64_t done = 0, TqdCoreConnection owner = 0) {
    return harness_->Core().Tasks().Start(owner, salesDir_, table, TqdTaskKind::Rebuild,
                                          [this, total, done](TqdTableStore&, TqdTaskProgress& p) {
                                            p.Total = total;
                                            p.Advance(done);
                                            gate_.Wait();
                                          });
  }
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
  EXPECT_EQ(harness_->Request(c_, msgAddIndex, req).Result, qdErrInvalidIndexDesc);
}

// A status poll that has no news waits until the progress moves (or the
// wait runs out).
TEST_F(CoreTasksTest, RepeatedPollWaitsForProgress) {
  int32_t task = HeldTask("Orders", 10, 5);
  ASSERT_TRUE(harness_->PumpUntil([&] { return GetInt32LE(Status(task).Data.data() + 20) == 50; }));
  harness_->Core().OnRequest(c_, {msgGetTaskStatus, 0, false, Int32Reply(task)});
  EXPECT_TRUE(harness_->Output().Replies.empty());
  EXPECT_EQ(harness_->Core().WaitingStatusAnswers(), 1u);
  gate_.Open();
  auto r = harness_->NextReply();
  ASSERT_EQ(r.Data.size(), 33u);
  EXPECT_EQ(harness_->Core().WaitingStatusAnswers(), 0u);
}

// The end of a task reaches a waiting poll at once, from the task's own
// thread, not on the next tick of the timer.
TEST_F(CoreTasksTest, AWaitingPollIsAnsweredWhenTheTaskEnds) {
  int32_t task = HeldTask("Orders", 10, 5);
  ASSERT_TRUE(harness_->PumpUntil([&] { return GetInt32LE(Status(task).Data.data() + 20) == 50; }));
  harness_->Core().OnRequest(c_, {msgGetTaskStatus, 0, false, Int32Reply(task)});
  ASSERT_EQ(harness_->Core().WaitingStatusAnswers(), 1u);
  gate_.Open();
  ASSERT_TRUE(harness_->PumpUntil([&] { return !harness_->Output().Replies.empty(); }, std::chrono::seconds(10),
                                  /*timer=*/false));
  auto r = harness_->NextReply();
  EXPECT_EQ(r.Data[kFinishedOffset], 1);
  EXPECT_EQ(GetInt32LE(r.Data.data() + kPercentDoneOffset), 100);
}

// A task that failed says so with its code: the client's check raises it
// instead of showing a full bar.
TEST_F(CoreTasksTest, AFailedTaskAnswersItsFailure) {
  int32_t task = harness_->Core().Tasks().Start(c_, salesDir_, "Orders", TqdTaskKind::Rebuild,
                                                [](TqdTableStore&, TqdTaskProgress&) {
                                                  throw EqdStorageError(qdErrKeyViolation, "duplicate key");
                                                });
  test::RecordedReply r;
  ASSERT_TRUE(harness_->PumpUntil([&] {
    r = Status(task);
    return r.Data.size() == 33u && r.Data[kFinishedOffset] != 0;
  }));
  EXPECT_EQ(r.Result, qdErrKeyViolation);
  EXPECT_EQ(GetUInt32LE(r.Data.data() + 4), qdErrKeyViolation);
}

TEST_F(CoreTasksTest, TaskSurvivesItsClient) {
  std::vector<uint8_t> req = TableRequest(db_, "Orders", 72);
  PutInt32LE(req.data() + 68, 1);
  int32_t task = GetInt32LE(harness_->Request(c_, msgReindexTable, req).Data.data());
  harness_->Core().RemoveConnection(c_);
  TqdCoreConnection other = harness_->LoggedIn();
  test::RecordedReply r;
  ASSERT_TRUE(harness_->PumpUntil([&] {
    r = harness_->Request(other, msgGetTaskStatus, Int32Reply(task));
    return r.Data.size() == 33u && r.Data[kFinishedOffset] != 0;
  }));
  EXPECT_EQ(r.Result, 0);
  EXPECT_EQ(GetInt32LE(r.Data.data() + kPercentDoneOffset), 100);
}

TEST_F(CoreTasksTest, TableChangesWaitForTasks) {
  HeldTask("Orders");
  EXPECT_EQ(harness_->Request(c_, msgDeleteTable, TableRequest(db_, "Orders")).Result, qdErrTableBusy);
}

// Each task has a thread of its own, so the unfinished tasks are capped, in
// all and for each client: a client asking for work without end cannot make
// threads without end, nor keep others from starting theirs.
TEST_F(CoreTasksTest, UnfinishedTasksAreCapped) {
  for (size_t n = 0; n < kMaxTasksPerClient; ++n) HeldTask("Other", 0, 0, c_);
  EXPECT_EQ(harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders")).Result, qdErrDirBusy);
  TqdCoreConnection other = harness_->LoggedIn();
  int32_t otherDb = harness_->OpenDatabase(other, "sales");
  EXPECT_EQ(harness_->Request(other, msgPackTable, TableRequest(otherDb, "Orders")).Result, 0);
  for (size_t n = kMaxTasksPerClient + 1; n < kMaxUnfinishedTasks; ++n) HeldTask("Other", 0, 0, 0);
  EXPECT_EQ(harness_->Request(other, msgPackTable, TableRequest(otherDb, "Orders")).Result, qdErrDirBusy);
  gate_.Open();
  ASSERT_TRUE(harness_->PumpUntil(
      [&] { return harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders")).Result == 0; }));
}

// A task's thread is joined as soon as the task ends: instant tasks without
// end do not pile up threads until the results are forgotten.
TEST_F(CoreTasksTest, ThreadsOfEndedTasksAreJoined) {
  std::vector<uint8_t> req = TableRequest(db_, "Orders", 72);  // index 0: nothing to do
  for (int i = 0; i < 200; ++i) {
    // Past the cap of tasks per client, wait for the earlier ones to end.
    ASSERT_TRUE(harness_->PumpUntil([&] { return harness_->Request(c_, msgReindexTable, req).Result == 0; })) << i;
  }
  ASSERT_TRUE(harness_->PumpUntil([&] { return harness_->Core().Tasks().Threads() == 0; }));
  auto last = Status(200);
  EXPECT_EQ(last.Data[kFinishedOffset], 1);  // the results are still there
  EXPECT_EQ(GetInt32LE(last.Data.data()), 200);
}

// Each task that ends is logged with what it did and how.
TEST_F(CoreTasksTest, EndedTasksAreLogged) {
  auto r = harness_->Request(c_, msgPackTable, TableRequest(db_, "Orders"));
  ASSERT_EQ(r.Result, 0);
  // The client's login was logged before: the task's line is the one after it.
  auto taskLine = [&]() -> const std::string* {
    for (const std::string& line : harness_->Log)
      if (line.find("task 1 ") != std::string::npos) return &line;
    return nullptr;
  };
  ASSERT_TRUE(harness_->PumpUntil([&] { return taskLine() != nullptr; }));
  const std::string line = *taskLine();
  EXPECT_NE(line.find("task 1 (pack of Orders in " + salesDir_ + ") finished"), std::string::npos) << line;
  EXPECT_NE(line.find("bytes given back"), std::string::npos) << line;
}

}  // namespace
}  // namespace qd
