// A job that fails part-way: it stops at the failure, its bars stay where
// they were, its closing step runs, and only then is the error shown,
// naming the object the job was on. No exception leaves the workflow.
#include <gtest/gtest.h>

#include <ostream>

#include "base/QDLLExcp.h"
#include "base/result_codes.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using B = TqdRebuildBar;
using C = TqdRebuildControl;

struct FailureCase {
  const char* Name;
  TqdJob Job;
  bool Pack;
  const char* FailingCall;
  std::vector<std::string> Bars;  // index, packed, table, alias
  std::vector<const char*> NotTried;
  const char* Object;
  friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.Name; }
};

class JobFailureTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(JobFailureTest, StopsThereAndGivesTheWindowBack) {
  const FailureCase& c = GetParam();
  Choose(0, 0, 1);
  view.Checked = c.Pack;
  server.Failures[c.FailingCall] = qdErrNetTimeout;
  Mark();

  EXPECT_NO_THROW(Run(c.Job));

  EXPECT_EQ((std::vector<std::string>{BarNow(B::ProgressGaugeIndex), BarNow(B::ProgressBarPacked),
                                      BarNow(B::ProgressGaugeTable), BarNow(B::ProgressGaugeAlias)}),
            c.Bars);
  for (const char* call : c.NotTried) EXPECT_FALSE(Logged(call)) << call;
  // The message table has no text for 11276: the words are the workflow's.
  ASSERT_EQ(EqdDatabaseError::CreateForCode(qdErrNetTimeout).Message(), "Quilldrive:  [$2C0C/11276]");
  std::string message = std::string("Failed at ") + c.Object +
                        ": Quilldrive: no reply from the server, or the connection was lost [$2C0C/11276]";
  EXPECT_EQ(view.Errors, std::vector<std::string>{message});
  EXPECT_EQ(log.back(), "error " + message);
  EXPECT_LT(Place("window 1"), Place("error "));
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_FALSE(view.Busy);
  for (C control : {C::ComboBoxAlias, C::BitBtnReIndexAlias, C::CheckBoxPack})
    EXPECT_TRUE(view.Enabled(control)) << ControlName(control);
}

// Task numbers: each request takes the next from 100.
INSTANTIATE_TEST_SUITE_P(
    Workflow, JobFailureTest,
    ::testing::Values(
        FailureCase{"SelectedIndexRequest", TqdJob::SelectedIndex, false, "RebuildIndex(ORDERS,1)",
                    {"0/100", "0/100", "0/100", "0/100"}, {"TaskStatus"}, "Sales/ORDERS index 1 ByCustomer"},
        FailureCase{"TableSecondIndex", TqdJob::Table, false, "RebuildIndex(ORDERS,1)",
                    {"100/100", "0/100", "1/3", "0/100"}, {"RebuildIndex(ORDERS,2)"}, "Sales/ORDERS index 1 ByCustomer"},
        FailureCase{"TablePoll", TqdJob::Table, false, "TaskStatus(101)", {"100/100", "0/100", "1/3", "0/100"},
                    {"RebuildIndex(ORDERS,2)"}, "Sales/ORDERS index 1 ByCustomer"},
        FailureCase{"TablePack", TqdJob::Table, true, "PackTable(ORDERS)", {"0/100", "0/100", "0/4", "0/100"},
                    {"RebuildIndex"}, "Sales/ORDERS pack"},
        FailureCase{"AliasIndex", TqdJob::Alias, false, "RebuildIndex(ORDERS,2)",
                    {"100/100", "0/100", "2/3", "0/3"}, {"SelectTable(NOTES)", "SelectTable(PARTS)"}, "Sales/ORDERS index 2 ByDate"},
        FailureCase{"AliasIndexList", TqdJob::Alias, false, "SelectTable(PARTS)",
                    {"100/100", "0/100", "0/0", "2/3"}, {"RebuildIndex(PARTS"}, "Sales/PARTS index list"},
        FailureCase{"AliasPack", TqdJob::Alias, true, "PackTable(NOTES)", {"100/100", "0/100", "0/1", "1/3"},
                    {"SelectTable(PARTS)"}, "Sales/NOTES pack"}),
    CaseName());

TEST_F(RebuildWorkflowTest, IndexListThatFailsDuringTheAliasJobStaysDisabled) {
  Choose(0, 0, 1);
  server.Failures["SelectTable(PARTS)"] = qdErrNetTimeout;

  workflow.RebuildAlias();

  EXPECT_FALSE(view.Enabled(C::ComboBoxIndex));
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexTable));
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexIt));
  EXPECT_TRUE(view.Items(TqdRebuildList::ComboBoxIndex).empty());
  EXPECT_EQ(view.ItemIndex(TqdRebuildList::ComboBoxTable), 2);
}

// Not every failure is the server's: whatever a backend throws is shown.
struct ForeignCase {
  const char* Name;
  const char* FailingCall;
  TqdJob Job;
  const char* Object;
  friend void PrintTo(const ForeignCase& c, std::ostream* os) { *os << c.Name; }
};

class ForeignFailureTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<ForeignCase> {};

TEST_P(ForeignFailureTest, IsShownNotThrown) {
  const ForeignCase& c = GetParam();
  Choose(0, 0, 1);
  server.ForeignFailures[c.FailingCall] = "out of handles";

  EXPECT_NO_THROW(Run(c.Job));

  EXPECT_EQ(view.Errors, std::vector<std::string>{std::string("Failed at ") + c.Object + ": out of handles"});
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_FALSE(view.Busy);
}

INSTANTIATE_TEST_SUITE_P(Workflow, ForeignFailureTest,
                         ::testing::Values(ForeignCase{"Request", "RebuildIndex(ORDERS,1)", TqdJob::SelectedIndex,
                                                       "Sales/ORDERS index 1 ByCustomer"},
                                           ForeignCase{"Poll", "TaskStatus(100)", TqdJob::Table, "Sales/ORDERS index 0 Seq"},
                                           ForeignCase{"IndexList", "SelectTable(ORDERS)", TqdJob::Alias,
                                                       "Sales/ORDERS index list"}),
                         CaseName());

TEST_F(RebuildWorkflowTest, ThrownNonExceptionIsShownAsAnUnknownFailure) {
  Choose(0, 0, 1);
  server.OddFailures.insert("RebuildIndex(ORDERS,1)");

  EXPECT_NO_THROW(workflow.RebuildSelectedIndex());

  EXPECT_EQ(view.Errors, std::vector<std::string>{
                             "Failed at Sales/ORDERS index 1 ByCustomer: Quilldrive: unknown failure [no error code]"});
  EXPECT_TRUE(view.WindowEnabled);
}

TEST_F(RebuildWorkflowTest, ListHandlerFailureOfAnyKindIsShown) {
  Choose(0);
  server.ForeignFailures["SelectTable(ORDERS)"] = "out of memory";

  EXPECT_NO_THROW(Pick(TqdRebuildList::ComboBoxTable, 0));

  EXPECT_EQ(view.Errors, std::vector<std::string>{"Sales/ORDERS: out of memory"});
  EXPECT_FALSE(view.Enabled(C::ComboBoxIndex));
}

}  // namespace
}  // namespace qd::test
