// What the jobs send: the dictionary number of each index, the table name as
// the list shows it (cut to its capacity), and nothing at all when the job
// could not have been started.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using C = TqdRebuildControl;
using L = TqdRebuildList;

// GAPS lists only its named indexes: 0, 2 and 5.
struct NumberCase {
  const char* Name;
  TqdJob Job;
  int Picked;
  std::vector<std::string> Requests;
  friend void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.Name; }
};

class IndexNumberTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(IndexNumberTest, SendsTheNumberKeptWithTheEntry) {
  const NumberCase& c = GetParam();
  server.Tables["Sales"] = {"GAPS"};
  server.Indexes["GAPS"] = {{"Seq", 0}, {"ByName", 2}, {"ByDate", 5}};
  Choose(0, 0, c.Picked);
  Mark();

  Run(c.Job);

  std::vector<std::string> requests;
  for (const std::string& entry : Entries("RebuildIndex(")) requests.push_back(entry.substr(0, entry.find('=')));
  EXPECT_EQ(requests, c.Requests);
  EXPECT_TRUE(view.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, IndexNumberTest,
    ::testing::Values(NumberCase{"Selected", TqdJob::SelectedIndex, 2, {"RebuildIndex(GAPS,5)"}},
                      NumberCase{"SelectedFirst", TqdJob::SelectedIndex, 0, {"RebuildIndex(GAPS,0)"}},
                      NumberCase{"Table", TqdJob::Table, -1,
                                 {"RebuildIndex(GAPS,0)", "RebuildIndex(GAPS,2)", "RebuildIndex(GAPS,5)"}},
                      NumberCase{"Alias", TqdJob::Alias, -1,
                                 {"RebuildIndex(GAPS,0)", "RebuildIndex(GAPS,2)", "RebuildIndex(GAPS,5)"}}),
    CaseName());

TEST_F(RebuildWorkflowTest, TableNameIsCutToItsCapacity) {
  std::string longName(300, 'T');
  server.Tables["Sales"] = {longName};
  server.Indexes[longName] = {{"Seq", 0}};
  Choose(0, 0, 0);
  view.Checked = true;
  Mark();

  workflow.RebuildTable();

  std::string cut = longName.substr(0, TqdRebuildWorkflow::kTableNameCapacity);
  EXPECT_TRUE(Logged("PackTable(" + cut + ")="));
  EXPECT_TRUE(Logged("RebuildIndex(" + cut + ",0)="));
  EXPECT_TRUE(view.Errors.empty());
}

// Each state leaves one or more jobs' buttons disabled; a job asked for then
// changes nothing and sends nothing.
struct DisabledCase {
  const char* Name;
  int Alias;
  int Table;
  int Index;
  TqdJob Job;
  friend void PrintTo(const DisabledCase& c, std::ostream* os) { *os << c.Name; }
};

class DisabledJobTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<DisabledCase> {};

TEST_P(DisabledJobTest, DoesNothing) {
  const DisabledCase& c = GetParam();
  if (c.Alias < 0) {
    workflow.Start();
  } else {
    Choose(c.Alias, c.Table, c.Index);
  }
  Mark();

  Run(c.Job);

  EXPECT_TRUE(log.empty()) << log.front();
}

INSTANTIATE_TEST_SUITE_P(Workflow, DisabledJobTest,
                         ::testing::Values(DisabledCase{"IndexBeforeAnyChoice", -1, -1, -1, TqdJob::SelectedIndex},
                                           DisabledCase{"TableBeforeAnyChoice", -1, -1, -1, TqdJob::Table},
                                           DisabledCase{"AliasBeforeAnyChoice", -1, -1, -1, TqdJob::Alias},
                                           DisabledCase{"IndexNotPicked", 0, 0, -1, TqdJob::SelectedIndex},
                                           DisabledCase{"TableWithoutIndexes", 0, 1, -1, TqdJob::Table},
                                           DisabledCase{"AliasWithoutTables", 2, -1, -1, TqdJob::Alias}),
                         CaseName());

// The one pass over pending events at a job's start may hold a pick or a
// click the window queued before it was disabled; the running job ignores it.
TEST_F(RebuildWorkflowTest, OperationsAskedForDuringAJobAreIgnored) {
  Choose(0, 0, 1);
  bool reentered = false;
  view.OnPendingEvents = [&] {
    if (reentered) return;
    reentered = true;
    size_t before = log.size();
    view.SetItemIndex(L::ComboBoxAlias, 1);
    workflow.AliasPicked();
    workflow.TablePicked();
    workflow.IndexPicked();
    workflow.RebuildSelectedIndex();
    workflow.RebuildTable();
    workflow.RebuildAlias();
    workflow.Start();
    EXPECT_EQ(log.size(), before + 1);  // the selection the test made
  };

  workflow.RebuildTable();

  EXPECT_TRUE(reentered);
  EXPECT_EQ(Entries("RebuildIndex(ORDERS,").size(), 3u);
  EXPECT_FALSE(Logged("OpenAlias(Archive)"));
  EXPECT_TRUE(view.Errors.empty());
}

}  // namespace
}  // namespace qd::test
