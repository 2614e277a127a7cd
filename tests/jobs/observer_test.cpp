// A job with an observer: steps skipped, a job stopped before a step, a
// failed step that the job goes on after, a task left running between two
// polls; and what the observer is told of each step. Without a decision of
// its own the observer changes nothing of the window's job.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>

#include "base/QDLLExcp.h"
#include "base/result_codes.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using B = TqdRebuildBar;

std::string Key(const TqdRebuildStep& step) {
  if (step.IndexList) return "list " + step.Table;
  return step.Pack ? "pack " + step.Table : step.Table + " " + std::to_string(step.IndexNumber) + " " + step.IndexName;
}

// Records what it is told into the shared log and answers as scripted.
class TqdScriptedObserver : public TqdRebuildObserver {
 public:
  explicit TqdScriptedObserver(EventLog& log) : log_(log) {}

  TqdStepDecision BeforeStep(const TqdRebuildStep& step) override {
    log_.push_back("before " + Key(step));
    auto found = Decisions.find(Key(step));
    return found == Decisions.end() ? TqdStepDecision::Run : found->second;
  }
  void StepStarted(const TqdRebuildStep& step, int32_t task) override {
    log_.push_back("started " + Key(step) + "=" + std::to_string(task));
  }
  void StepEnded(const TqdRebuildStep& step, const TqdStepOutcome& outcome) override {
    static const char* const kResults[] = {"done", "failed", "abandoned"};
    log_.push_back("ended " + Key(step) + " " + kResults[static_cast<int>(outcome.Result)] + " task " +
                   std::to_string(outcome.Task) + " code " + std::to_string(outcome.ErrorCode));
    if (!outcome.Message.empty()) Messages.push_back(outcome.Message);
  }
  bool ContinueAfterFailure(const TqdRebuildStep&, const TqdStepOutcome&) override { return KeepGoing; }
  bool AbandonTask(const TqdRebuildStep& step) override { return Abandon.count(Key(step)) != 0; }

  std::map<std::string, TqdStepDecision> Decisions;
  std::set<std::string> Abandon;
  bool KeepGoing = false;
  std::vector<std::string> Messages;

 private:
  EventLog& log_;
};

struct ObserverCase {
  const char* Name;
  std::map<std::string, TqdStepDecision> Decisions;
  const char* FailingCall;  // nullptr: none
  bool KeepGoing;
  const char* Abandoned;  // nullptr: none
  std::vector<std::string> Requests;
  std::vector<std::string> Ended;
  const char* ErrorObject;  // the object the error box names; nullptr: no box
  std::string AliasBar;
  friend void PrintTo(const ObserverCase& c, std::ostream* os) { *os << c.Name; }
};

class ObserverTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<ObserverCase> {
 protected:
  TqdScriptedObserver observer{log};
};

constexpr auto kSkip = TqdStepDecision::Skip;
constexpr auto kStop = TqdStepDecision::Stop;

// "Rebuild alias" with pack on Sales: ORDERS (3 indexes), NOTES (none),
// PARTS (2); each request takes the next task number from 100.
TEST_P(ObserverTest, DecidesWhatTheAliasJobSends) {
  const ObserverCase& c = GetParam();
  Choose(0);
  view.Checked = true;
  observer.Decisions = c.Decisions;
  observer.KeepGoing = c.KeepGoing;
  if (c.FailingCall != nullptr) server.Failures[c.FailingCall] = qdErrNetTimeout;
  if (c.Abandoned != nullptr) observer.Abandon.insert(c.Abandoned);
  workflow.SetObserver(&observer);
  Mark();

  EXPECT_NO_THROW(workflow.RebuildAlias());

  std::vector<std::string> requests;
  for (const std::string& entry : log)
    if (entry.starts_with("RebuildIndex(") || entry.starts_with("PackTable(")) requests.push_back(entry);
  EXPECT_EQ(requests, c.Requests);
  EXPECT_EQ(Entries("ended "), c.Ended);
  std::string message = "Quilldrive: no reply from the server, or the connection was lost [$2C0C/11276]";
  EXPECT_EQ(view.Errors, c.ErrorObject != nullptr
                             ? std::vector<std::string>{std::string("Failed at ") + c.ErrorObject + ": " + message}
                             : std::vector<std::string>{});
  if (c.FailingCall != nullptr) {
    EXPECT_EQ(observer.Messages, std::vector<std::string>{message});
  }
  EXPECT_EQ(BarNow(B::ProgressGaugeAlias), c.AliasBar);
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_FALSE(view.Busy);
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, ObserverTest,
    ::testing::Values(
        ObserverCase{"RunsEverything", {}, nullptr, false, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102",
                      "RebuildIndex(ORDERS,2)=103", "PackTable(NOTES)=104", "PackTable(PARTS)=105",
                      "RebuildIndex(PARTS,0)=106", "RebuildIndex(PARTS,1)=107"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer done task 102 code 0", "ended ORDERS 2 ByDate done task 103 code 0",
                      "ended pack NOTES done task 104 code 0", "ended pack PARTS done task 105 code 0",
                      "ended PARTS 0 Seq done task 106 code 0", "ended PARTS 1 ByName done task 107 code 0"},
                     nullptr, "3/3"},
        ObserverCase{"SkipsWhatItIsTold",
                     {{"pack ORDERS", kSkip}, {"ORDERS 1 ByCustomer", kSkip}, {"pack NOTES", kSkip},
                      {"PARTS 0 Seq", kSkip}},
                     nullptr, false, nullptr,
                     {"RebuildIndex(ORDERS,0)=100", "RebuildIndex(ORDERS,2)=101", "PackTable(PARTS)=102",
                      "RebuildIndex(PARTS,1)=103"},
                     {"ended ORDERS 0 Seq done task 100 code 0", "ended ORDERS 2 ByDate done task 101 code 0",
                      "ended pack PARTS done task 102 code 0", "ended PARTS 1 ByName done task 103 code 0"},
                     nullptr, "3/3"},
        ObserverCase{"StopsBeforeAStepQuietly", {{"pack PARTS", kStop}}, nullptr, false, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102",
                      "RebuildIndex(ORDERS,2)=103", "PackTable(NOTES)=104"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer done task 102 code 0", "ended ORDERS 2 ByDate done task 103 code 0",
                      "ended pack NOTES done task 104 code 0"},
                     nullptr, "2/3"},
        ObserverCase{"GoesOnAfterAFailedStep", {}, "RebuildIndex(ORDERS,1)", true, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)",
                      "RebuildIndex(ORDERS,2)=102", "PackTable(NOTES)=103", "PackTable(PARTS)=104",
                      "RebuildIndex(PARTS,0)=105", "RebuildIndex(PARTS,1)=106"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer failed task -1 code 11276",
                      "ended ORDERS 2 ByDate done task 102 code 0", "ended pack NOTES done task 103 code 0",
                      "ended pack PARTS done task 104 code 0", "ended PARTS 0 Seq done task 105 code 0",
                      "ended PARTS 1 ByName done task 106 code 0"},
                     nullptr, "3/3"},
        ObserverCase{"AFailedPollEndsTheJobAsTheWindowDoes", {}, "TaskStatus(102)", false, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer failed task 102 code 11276"},
                     "Sales/ORDERS index 1 ByCustomer", "0/3"},
        ObserverCase{"LeavesARunningTaskAndStops", {}, nullptr, false, "ORDERS 1 ByCustomer",
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer abandoned task 102 code 0"},
                     nullptr, "0/3"},
        // A table whose index list cannot be read is that table's failure.
        ObserverCase{"GoesOnAfterAnIndexListThatFailed", {}, "SelectTable(NOTES)", true, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102",
                      "RebuildIndex(ORDERS,2)=103", "PackTable(PARTS)=104", "RebuildIndex(PARTS,0)=105",
                      "RebuildIndex(PARTS,1)=106"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer done task 102 code 0", "ended ORDERS 2 ByDate done task 103 code 0",
                      "ended list NOTES failed task -1 code 11276", "ended pack PARTS done task 104 code 0",
                      "ended PARTS 0 Seq done task 105 code 0", "ended PARTS 1 ByName done task 106 code 0"},
                     nullptr, "3/3"},
        ObserverCase{"AnIndexListThatFailedEndsTheJobAsTheWindowDoes", {}, "SelectTable(NOTES)", false, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102",
                      "RebuildIndex(ORDERS,2)=103"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer done task 102 code 0", "ended ORDERS 2 ByDate done task 103 code 0",
                      "ended list NOTES failed task -1 code 11276"},
                     "Sales/NOTES index list", "1/3"},
        // Stopped between two tables, the next table is not even picked.
        ObserverCase{"StopsBeforeTheNextTable", {{"list NOTES", kStop}}, nullptr, false, nullptr,
                     {"PackTable(ORDERS)=100", "RebuildIndex(ORDERS,0)=101", "RebuildIndex(ORDERS,1)=102",
                      "RebuildIndex(ORDERS,2)=103"},
                     {"ended pack ORDERS done task 100 code 0", "ended ORDERS 0 Seq done task 101 code 0",
                      "ended ORDERS 1 ByCustomer done task 102 code 0", "ended ORDERS 2 ByDate done task 103 code 0"},
                     nullptr, "1/3"}),
    CaseName());

// The task left running is polled once, and never again.
TEST_F(RebuildWorkflowTest, AnAbandonedTaskIsNotPolledAgain) {
  TqdScriptedObserver observer{log};
  Choose(0, 0, 1);
  observer.Abandon.insert("ORDERS 1 ByCustomer");
  workflow.SetObserver(&observer);
  Mark();

  workflow.RebuildSelectedIndex();

  EXPECT_EQ(Entries("TaskStatus("), std::vector<std::string>{"TaskStatus(100)"});
  EXPECT_TRUE(view.Errors.empty());
  EXPECT_EQ(BarNow(B::ProgressGaugeIndex), "30/100");
}

// A failure that is not the server's reaches the observer with its message.
TEST_F(RebuildWorkflowTest, ObserverHearsOfAnyFailure) {
  TqdScriptedObserver observer{log};
  Choose(0, 0, 1);
  server.OddFailures.insert("RebuildIndex(ORDERS,1)");
  workflow.SetObserver(&observer);

  workflow.RebuildSelectedIndex();

  EXPECT_EQ(observer.Messages, std::vector<std::string>{"Quilldrive: unknown failure [no error code]"});
  EXPECT_EQ(view.Errors, std::vector<std::string>{"Failed at Sales/ORDERS index 1 ByCustomer: " + observer.Messages[0]});
}

}  // namespace
}  // namespace qd::test
