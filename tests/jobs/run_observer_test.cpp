// The observer both front ends give a job: Stop starts no new task but
// polls the running one to its end, Abandon stops polling at once, "go on
// after a failure" covers a table whose index list cannot be read, and
// every object ends up in the record. Also the status line's words.
#include <gtest/gtest.h>

#include <sstream>

#include "base/result_codes.h"
#include "jobs/run_observer.h"
#include "jobs/run_status.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

class TqdCountingEvents : public TqdRunEvents {
 public:
  void StepBegins(const TqdRebuildStep& step) override { Begun.push_back(WorkingText("Sales", step)); }
  void ObjectEnded(const TqdReportEntry& entry) override { Ended.push_back(entry.Table + " " + entry.Index + " " + entry.State); }
  std::vector<std::string> Begun;
  std::vector<std::string> Ended;
};

class RunObserverTest : public RebuildWorkflowTest {
 protected:
  void Observe(bool keepGoing = false) {
    observer = std::make_unique<TqdRunObserver>(TqdObserverSettings{"Sales", keepGoing, std::nullopt}, record, events,
                                                TqdStopRequests{[this] { return stop; }, [this] { return abandon; }},
                                                [this] { return now; });
    workflow.SetObserver(observer.get());
  }
  std::vector<std::string> Requests() const {
    std::vector<std::string> requests;
    for (const std::string& entry : log)
      if (entry.starts_with("RebuildIndex(") || entry.starts_with("PackTable(")) requests.push_back(entry);
    return requests;
  }

  std::ostringstream err;
  TqdRunRecord record{TqdRunReport{}, "", err};
  TqdCountingEvents events;
  std::unique_ptr<TqdRunObserver> observer;
  bool stop = false;
  bool abandon = false;
};

TEST_F(RunObserverTest, StopLetsTheRunningTaskFinishAndStartsNoOther) {
  Choose(0);
  Observe();
  // Pressed while ORDERS index 1 runs.
  view.OnBetweenPolls = [this] {
    if (events.Begun.size() == 2) stop = true;
  };
  Mark();

  workflow.RebuildAlias();

  EXPECT_EQ(Requests(), (std::vector<std::string>{"RebuildIndex(ORDERS,0)=100", "RebuildIndex(ORDERS,1)=101"}));
  EXPECT_EQ(events.Ended, (std::vector<std::string>{"ORDERS Seq done", "ORDERS ByCustomer done"}));
  EXPECT_EQ(observer->Stopped(), TqdStopReason::Interrupted);
  EXPECT_EQ(observer->Done(), 2);
  // The task's end is shown; the job ends quietly, its closing step run.
  EXPECT_EQ(BarNow(TqdRebuildBar::ProgressGaugeIndex), "100/100");
  EXPECT_EQ(BarNow(TqdRebuildBar::ProgressGaugeTable), "2/3");
  EXPECT_TRUE(view.Errors.empty());
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_EQ(record.Report().Entries.size(), 2u);
}

TEST_F(RunObserverTest, AbandonStopsPollingAtOnce) {
  Choose(0);
  Observe();
  view.OnBetweenPolls = [this] { abandon = !events.Begun.empty(); };
  Mark();

  workflow.RebuildAlias();

  EXPECT_EQ(Entries("TaskStatus(").size(), 1u);
  EXPECT_EQ(events.Ended, std::vector<std::string>{"ORDERS Seq interrupted"});
  EXPECT_EQ(BarNow(TqdRebuildBar::ProgressGaugeIndex), "30/100");
  EXPECT_TRUE(view.Errors.empty());
}

TEST_F(RunObserverTest, AnIndexListThatCannotBeReadIsRecordedAndTheJobGoesOn) {
  Choose(0);
  server.Failures["SelectTable(NOTES)"] = qdErrNetTimeout;
  Observe(true);
  Mark();

  workflow.RebuildAlias();

  EXPECT_EQ(observer->Failures(), 1);
  ASSERT_EQ(record.Report().Entries.size(), 6u);
  const TqdReportEntry& failed = record.Report().Entries[3];
  EXPECT_EQ(failed.Table, "NOTES");
  EXPECT_TRUE(failed.IsIndexList());
  EXPECT_FALSE(failed.IsPack());
  EXPECT_EQ(failed.State, kEntryFailed);
  EXPECT_EQ(failed.Result, qdErrNetTimeout);
  EXPECT_EQ(BarNow(TqdRebuildBar::ProgressGaugeAlias), "3/3");
  EXPECT_TRUE(view.Errors.empty());
}

// A failed index list is never taken for a done pack by a resumed run.
TEST_F(RunObserverTest, AResumedRunDoesNotSkipAfterAFailedIndexList) {
  Choose(0);
  Observe();
  TqdReportEntry listed{.Alias = "Sales", .Table = "NOTES", .Index = kIndexListName, .State = kEntryDone};
  observer->Skip({listed});
  view.Checked = true;
  Mark();

  workflow.RebuildAlias();

  EXPECT_TRUE(Logged("PackTable(NOTES)"));
  EXPECT_EQ(observer->Skipped(), 0);
}

TEST(RunStatusText, SaysWhatTheRunDoesAndHowItEnded) {
  TqdRebuildStep index{.Table = "Customers", .IndexNumber = 2, .IndexName = "ByName", .Ordinal = 3, .Count = 5};
  TqdRebuildStep pack{.Table = "Customers", .Pack = true};
  TqdRebuildStep list{.Table = "Customers", .IndexList = true};
  struct Case {
    std::string Got;
    const char* Want;
  };
  const Case cases[] = {
      {WorkingText("Sales", index), "Sales/Customers: rebuilding ByName, index 3 of 5"},
      {WorkingText("Sales", pack), "Sales/Customers: packing"},
      {DescribeStep("Sales", index), "Sales/Customers index 2 ByName"},
      {DescribeStep("Sales", list), "Sales/Customers index list"},
      {DoneText({12, 0, 0, 34}), "Done: 12 objects in 0:34"},
      {DoneText({1, 2, 3, 3700}), "Done: 1 object in 1:01:40, 2 failed, 3 skipped"},
      {FailedText("Sales/Customers pack", "Quilldrive: x"), "Failed at Sales/Customers pack: Quilldrive: x"},
      {StoppedText({5, 0, 0, 12}, "Orders", 2, 3), "Stopped after 5 objects in 0:12; left: 2 steps of Orders and 3 more tables"},
      {StoppedText({5, 0, 0, 12}, "Orders", 0, 1), "Stopped after 5 objects in 0:12; left: 1 more table"},
      {StoppedText({1, 0, 0, 1}, "Orders", 1, 0), "Stopped after 1 object in 0:01; left: 1 step of Orders"},
      {StoppedText({1, 0, 0, 1}, "Orders", 0, 0), "Stopped after 1 object in 0:01; left: nothing"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Want);
}

}  // namespace
}  // namespace qd::test
