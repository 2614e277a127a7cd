// The four bars through each job, with and without the pack: maxima, steps
// and where each ends. Every task answers 30 %, 70 %, then finished.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>

#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using B = TqdRebuildBar;
using C = TqdRebuildControl;
using L = TqdRebuildList;
using Steps = std::vector<std::string>;

struct BarCase {
  const char* Name;
  TqdJob Job;
  bool Pack;
  Steps Index;
  Steps Packed;
  Steps Table;
  Steps Alias;
  friend void PrintTo(const BarCase& c, std::ostream* os) { *os << c.Name; }
};

class BarTableTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<BarCase> {};

// Sales, ORDERS (3 indexes) and its index 1 are chosen before each job.
TEST_P(BarTableTest, BarsFollowTheJob) {
  const BarCase& c = GetParam();
  Choose(0, 0, 1);
  view.Checked = c.Pack;
  Mark();

  Run(c.Job);

  EXPECT_EQ(BarSteps(B::ProgressGaugeIndex), c.Index);
  EXPECT_EQ(BarSteps(B::ProgressBarPacked), c.Packed);
  EXPECT_EQ(BarSteps(B::ProgressGaugeTable), c.Table);
  EXPECT_EQ(BarSteps(B::ProgressGaugeAlias), c.Alias);
  EXPECT_TRUE(view.Errors.empty());
}

const Steps kOneIndex{"0/100", "30/100", "70/100", "100/100"};
const Steps kUntouched{"0/100"};
// Each rebuilt index runs 30, 70, then its maximum.
Steps IndexRuns(int count) {
  Steps steps{"0/100"};
  for (int n = 0; n < count; ++n) steps.insert(steps.end(), {"30/100", "70/100", "100/100"});
  return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, BarTableTest,
    ::testing::Values(
        BarCase{"SelectedIndex", TqdJob::SelectedIndex, false, kOneIndex, kUntouched, kUntouched, kUntouched},
        BarCase{"SelectedIndexNeverPacks", TqdJob::SelectedIndex, true, kOneIndex, kUntouched, kUntouched,
                kUntouched},
        BarCase{"Table", TqdJob::Table, false, IndexRuns(3), kUntouched, {"0/100", "0/3", "1/3", "2/3", "3/3"},
                kUntouched},
        // A finished pack leaves its bar at the end.
        BarCase{"TablePacked", TqdJob::Table, true, IndexRuns(3), {"0/100", "30/100", "70/100", "100/100"},
                {"0/100", "0/3", "0/4", "1/4", "2/4", "3/4", "4/4"}, kUntouched},
        // ORDERS (3 indexes), NOTES (none), PARTS (2).
        BarCase{"Alias", TqdJob::Alias, false, IndexRuns(5), kUntouched,
                {"0/100", "0/3", "1/3", "2/3", "3/3", "0/3", "0/0", "0/2", "1/2", "2/2"},
                {"0/100", "0/3", "1/3", "2/3", "3/3"}},
        BarCase{"AliasPacked", TqdJob::Alias, true, IndexRuns(5),
                {"0/100", "30/100", "70/100", "100/100", "0/100", "30/100", "70/100", "100/100", "0/100", "30/100",
                 "70/100", "100/100"},
                {"0/100", "0/3", "0/4", "1/4", "2/4", "3/4", "4/4", "0/4", "0/0", "0/1", "1/1", "0/1", "0/2",
                 "0/3", "1/3", "2/3", "3/3"},
                {"0/100", "0/3", "1/3", "2/3", "3/3"}}),
    CaseName());

TEST_F(RebuildWorkflowTest, PackedTableOfThreeIndexesStandsAtOneAfterThePack) {
  Choose(0, 0);
  view.Checked = true;
  Mark();

  workflow.RebuildTable();

  size_t firstIndex = Place("RebuildIndex(ORDERS,0)");
  ASSERT_LT(Place("PackTable(ORDERS)"), firstIndex);
  std::string before;
  for (size_t i = 0; i < firstIndex; ++i)
    if (log[i].starts_with("bar ProgressGaugeTable ")) before = log[i];
  EXPECT_EQ(before, "bar ProgressGaugeTable 1/4");
  EXPECT_EQ(BarNow(B::ProgressGaugeTable), "4/4");
}

TEST_F(RebuildWorkflowTest, TableWithoutIndexesIsPackedDuringTheAliasJob) {
  Choose(0);
  view.Checked = true;
  Mark();

  workflow.RebuildAlias();

  size_t from = Place("SelectTable(NOTES)");
  size_t to = Place("SelectTable(PARTS)");
  ASSERT_LT(from, to);
  std::vector<std::string> notes;
  for (size_t i = from; i < to; ++i)
    if (log[i].starts_with("bar ProgressGaugeTable ") || log[i].find('(') != std::string::npos)
      notes.push_back(log[i]);
  EXPECT_EQ(notes, (std::vector<std::string>{"SelectTable(NOTES)", "bar ProgressGaugeTable 0/4",
                                             "bar ProgressGaugeTable 0/0", "bar ProgressGaugeTable 0/1",
                                             "PackTable(NOTES)=104", "TaskStatus(104)", "TaskStatus(104)",
                                             "TaskStatus(104)", "bar ProgressGaugeTable 1/1",
                                             "bar ProgressGaugeTable 1/1"}));
}

TEST_F(RebuildWorkflowTest, AliasJobLeavesTheLastTableChosen) {
  Choose(0, 0, 1);
  workflow.RebuildAlias();

  EXPECT_EQ(view.ItemIndex(L::ComboBoxTable), 2);
  EXPECT_EQ(view.Items(L::ComboBoxIndex), (std::vector<std::string>{"Seq", "ByName"}));
  EXPECT_EQ(view.ItemIndex(L::ComboBoxIndex), -1);
  for (C control : {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexTable,
                    C::BitBtnReIndexAlias, C::CheckBoxPack})
    EXPECT_TRUE(view.Enabled(control)) << ControlName(control);
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexIt));
}

// Each job disables only its own controls, and gives them back.
struct HeldCase {
  const char* Name;
  TqdJob Job;
  std::vector<C> Held;
  friend void PrintTo(const HeldCase& c, std::ostream* os) { *os << c.Name; }
};

class HeldControlsTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldControlsTest, DisablesWindowAndItsControlsUntilItEnds) {
  const HeldCase& c = GetParam();
  Choose(0, 0, 1);
  std::vector<C> disabledDuringJob;
  bool windowDisabled = false;
  bool busy = false;
  view.OnPendingEvents = [&] {
    windowDisabled = !view.WindowEnabled;
    busy = view.Busy;
    for (size_t n = 0; n < kRebuildControlCount; ++n)
      if (!view.Enabled(static_cast<C>(n))) disabledDuringJob.push_back(static_cast<C>(n));
  };

  Run(c.Job);

  EXPECT_TRUE(windowDisabled);
  EXPECT_TRUE(busy);
  EXPECT_EQ(disabledDuringJob, c.Held);
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_FALSE(view.Busy);
  for (C control : c.Held) EXPECT_TRUE(view.Enabled(control)) << ControlName(control);
  EXPECT_EQ(std::count(log.begin(), log.end(), "pump"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, HeldControlsTest,
    ::testing::Values(HeldCase{"SelectedIndex", TqdJob::SelectedIndex,
                               {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexIt,
                                C::BitBtnReIndexTable, C::BitBtnReIndexAlias, C::CheckBoxPack}},
                      HeldCase{"Table", TqdJob::Table,
                               {C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexTable, C::BitBtnReIndexAlias,
                                C::CheckBoxPack}},
                      HeldCase{"Alias", TqdJob::Alias, {C::ComboBoxAlias, C::BitBtnReIndexAlias, C::CheckBoxPack}}),
    CaseName());

}  // namespace
}  // namespace qd::test
