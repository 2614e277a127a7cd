// Polls of one task are paced: a server that answers at once is asked at
// most a hundred times a second, one that holds each poll is not slowed.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using std::chrono::milliseconds;

struct PacingCase {
  const char* Name;
  milliseconds PollTakes;
  const char* Wait;  // the wait before each poll after the first; nullptr: none
  friend void PrintTo(const PacingCase& c, std::ostream* os) { *os << c.Name; }
};

class PacingTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(PacingTest, WaitsOnlyForAServerThatAnswersTooSoon) {
  const PacingCase& c = GetParam();
  Choose(0, 0, 1);
  pollTakes = c.PollTakes;
  server.Scripts["RebuildIndex(ORDERS,1)"] = {Running(5), Running(5), Running(5), Running(5), Done()};
  Mark();
  const auto start = now;

  workflow.RebuildSelectedIndex();

  const std::vector<std::string> polls = Entries("TaskStatus(");
  ASSERT_EQ(polls.size(), 5u);
  const std::vector<std::string> waits = Entries("wait ");
  if (c.Wait == nullptr) {
    EXPECT_TRUE(waits.empty());
  } else {
    EXPECT_EQ(waits, std::vector<std::string>(4, c.Wait));
    // Each wait comes between two polls, never before the first.
    EXPECT_GT(Place("wait "), Place("TaskStatus("));
  }
  // At most one poll in each interval, however fast the server.
  EXPECT_GE(now - start, TqdRebuildWorkflow::kMinPollInterval * 4);
  EXPECT_TRUE(view.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Workflow, PacingTest,
                         ::testing::Values(PacingCase{"AnswersAtOnce", milliseconds(0), "wait 10 ms"},
                                           PacingCase{"AnswersIn4ms", milliseconds(4), "wait 6 ms"},
                                           PacingCase{"AnswersInTheInterval", milliseconds(10), nullptr},
                                           PacingCase{"HoldsThePoll", milliseconds(100), nullptr}),
                         CaseName());

// A finished task is not waited for: the next task's first poll goes at once.
TEST_F(RebuildWorkflowTest, TheFirstPollOfATaskIsNotHeldBack) {
  Choose(0, 0);
  pollTakes = milliseconds(0);
  server.DefaultScript = {Done()};
  Mark();

  workflow.RebuildTable();

  EXPECT_EQ(Entries("TaskStatus(").size(), 3u);
  EXPECT_TRUE(Entries("wait ").empty());
}

}  // namespace
}  // namespace qd::test
