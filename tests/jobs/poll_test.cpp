// The poll loop: back to back until finished, repaints between polls, task
// -1 never asked for, a failed task never shown as done.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>

#include "base/QDLLExcp.h"
#include "base/result_codes.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using B = TqdRebuildBar;
using C = TqdRebuildControl;

// Events are served once with input at the job's start, then before each
// step and between two polls (where the disabled window takes only Stop and
// closing).
TEST_F(RebuildWorkflowTest, PollsServeEventsBeforeEachStepAndBetweenPolls) {
  Choose(0, 0, 1);
  server.Scripts["RebuildIndex(ORDERS,1)"] = {Running(10), Running(20), Running(40), Done()};
  Mark();

  workflow.RebuildSelectedIndex();

  std::vector<std::string> loop;
  for (size_t i = Place("pump"); i < log.size(); ++i)
    if (log[i].starts_with("pump") || log[i].find('(') != std::string::npos ||
        log[i].starts_with("bar ProgressGaugeIndex") || log[i].starts_with("window"))
      loop.push_back(log[i]);
  EXPECT_EQ(loop, (std::vector<std::string>{
                      "pump", "pump non-input", "RebuildIndex(ORDERS,1)=100",
                      "TaskStatus(100)", "bar ProgressGaugeIndex 10/100", "pump non-input",
                      "TaskStatus(100)", "bar ProgressGaugeIndex 20/100", "pump non-input",
                      "TaskStatus(100)", "bar ProgressGaugeIndex 40/100", "pump non-input",
                      "TaskStatus(100)", "bar ProgressGaugeIndex 100/100", "window 1"}));
  EXPECT_LT(Place("window 0"), Place("pump"));
}

// A request that answers no task (-1) is finished at once: the index bar
// and the packed bar go to their maximum.
struct NoTaskCase {
  const char* Name;
  TqdJob Job;
  bool Pack;
  const char* Request;
  std::vector<std::string> Bars;  // index, packed, table at the end
  friend void PrintTo(const NoTaskCase& c, std::ostream* os) { *os << c.Name; }
};

class NoTaskTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<NoTaskCase> {};

TEST_P(NoTaskTest, FinishedAtTheFirstPollWithoutAsking) {
  const NoTaskCase& c = GetParam();
  Choose(0, 0, 1);
  view.Checked = c.Pack;
  server.TaskOf[c.Request] = kNoRebuildTask;
  Mark();

  Run(c.Job);

  EXPECT_FALSE(Logged("TaskStatus(-1)"));
  EXPECT_TRUE(Logged(std::string(c.Request) + "=-1"));
  EXPECT_EQ((std::vector<std::string>{BarNow(B::ProgressGaugeIndex), BarNow(B::ProgressBarPacked),
                                      BarNow(B::ProgressGaugeTable)}),
            c.Bars);
  EXPECT_TRUE(view.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, NoTaskTest,
    ::testing::Values(
        NoTaskCase{"SelectedIndex", TqdJob::SelectedIndex, false, "RebuildIndex(ORDERS,1)",
                   {"100/100", "0/100", "0/100"}},
        NoTaskCase{"Pack", TqdJob::Table, true, "PackTable(ORDERS)", {"100/100", "100/100", "4/4"}},
        NoTaskCase{"IndexOfTable", TqdJob::Table, false, "RebuildIndex(ORDERS,2)", {"100/100", "0/100", "3/3"}}),
    CaseName());

// The server answers the status of a task that failed with the failure's
// code: the job stops there, and no bar shows the task as done.
struct FailedTaskCase {
  const char* Name;
  bool Pack;
  const char* Request;
  std::vector<TqdStatusAnswer> Script;
  std::vector<std::string> Bars;  // index, packed, table
  const char* NotTried;
  const char* Object;
  friend void PrintTo(const FailedTaskCase& c, std::ostream* os) { *os << c.Name; }
};

class FailedTaskTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<FailedTaskCase> {};

TEST_P(FailedTaskTest, StopsWithTheTasksError) {
  const FailedTaskCase& c = GetParam();
  Choose(0, 0);
  view.Checked = c.Pack;
  server.Scripts[c.Request] = c.Script;
  Mark();

  workflow.RebuildTable();

  EXPECT_EQ((std::vector<std::string>{BarNow(B::ProgressGaugeIndex), BarNow(B::ProgressBarPacked),
                                      BarNow(B::ProgressGaugeTable)}),
            c.Bars);
  EXPECT_FALSE(Logged(c.NotTried));
  EXPECT_EQ(view.Errors, (std::vector<std::string>{std::string("Failed at ") + c.Object + ": " +
                                                   EqdDatabaseError::CreateForCode(qdErrServerWrite).Message()}));
  EXPECT_TRUE(view.WindowEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, FailedTaskTest,
    ::testing::Values(
        FailedTaskCase{"IndexMidway", false, "RebuildIndex(ORDERS,1)", {Running(40), Failed(qdErrServerWrite)},
                       {"40/100", "0/100", "1/3"}, "RebuildIndex(ORDERS,2)", "Sales/ORDERS index 1 ByCustomer"},
        FailedTaskCase{"IndexAtOnce", false, "RebuildIndex(ORDERS,0)", {Failed(qdErrServerWrite)},
                       {"0/100", "0/100", "0/3"}, "RebuildIndex(ORDERS,1)", "Sales/ORDERS index 0 Seq"},
        FailedTaskCase{"Pack", true, "PackTable(ORDERS)", {Running(55), Failed(qdErrServerWrite)},
                       {"0/100", "55/100", "0/4"}, "RebuildIndex(ORDERS,0)", "Sales/ORDERS pack"}),
    CaseName());

TEST_F(RebuildWorkflowTest, PercentagesOutsideTheRangeStayOnTheBar) {
  Choose(0, 0, 1);
  server.Scripts["RebuildIndex(ORDERS,1)"] = {Running(150), Running(-5), Done()};
  Mark();

  workflow.RebuildSelectedIndex();

  EXPECT_EQ(BarSteps(B::ProgressGaugeIndex), (std::vector<std::string>{"0/100", "100/100", "0/100", "100/100"}));
}

}  // namespace
}  // namespace qd::test
