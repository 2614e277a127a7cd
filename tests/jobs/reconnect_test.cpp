// Reconnect: the backend connects afresh, the alias list is filled again
// and the alias and table chosen before are chosen again while the server
// still has them; a failure leaves a window that can try again.
#include <gtest/gtest.h>

#include "base/result_codes.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using C = TqdRebuildControl;
using L = TqdRebuildList;

TEST_F(RebuildWorkflowTest, ReconnectChoosesTheAliasAndTableAgain) {
  Choose(0, 2, 1);  // Sales, PARTS, ByName
  Mark();

  workflow.Reconnect();

  EXPECT_LT(Place("Reconnect"), Place("ListAliasNames"));
  EXPECT_LT(Place("ListAliasNames"), Place("OpenAlias(Sales)"));
  EXPECT_LT(Place("OpenAlias(Sales)"), Place("SelectTable(PARTS)"));
  EXPECT_EQ(view.ItemIndex(L::ComboBoxAlias), 0);
  EXPECT_EQ(view.ItemIndex(L::ComboBoxTable), 2);
  EXPECT_EQ(view.Items(L::ComboBoxIndex), (std::vector<std::string>{"Seq", "ByName"}));
  // No index is chosen, as after a pick of the table.
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexIt));
  EXPECT_TRUE(view.Enabled(C::BitBtnReIndexTable));
  EXPECT_TRUE(view.Errors.empty());
}

TEST_F(RebuildWorkflowTest, ReconnectToAServerWithoutTheAliasChoosesNothing) {
  Choose(1, 0);  // Archive, OLD
  server.Aliases = {"Sales"};
  Mark();

  workflow.Reconnect();

  EXPECT_EQ(view.Items(L::ComboBoxAlias), std::vector<std::string>{"Sales"});
  EXPECT_EQ(view.ItemIndex(L::ComboBoxAlias), -1);
  EXPECT_FALSE(Logged("OpenAlias"));
  EXPECT_FALSE(view.Enabled(C::ComboBoxTable));
}

TEST_F(RebuildWorkflowTest, AFailedReconnectIsShownAndCanBeTriedAgain) {
  Choose(0, 0);
  server.Failures["ListAliasNames"] = qdErrNetServerNotFound;

  workflow.Reconnect();

  ASSERT_EQ(view.Errors.size(), 1u);
  EXPECT_FALSE(view.Enabled(C::ComboBoxAlias));
  EXPECT_FALSE(view.Enabled(C::ComboBoxTable));
  EXPECT_TRUE(view.Items(L::ComboBoxTable).empty());

  server.Failures.clear();
  workflow.Reconnect();
  EXPECT_TRUE(view.Enabled(C::ComboBoxAlias));
  EXPECT_EQ(view.Items(L::ComboBoxAlias).size(), 3u);
}

TEST_F(RebuildWorkflowTest, ReconnectIsIgnoredWhileAJobRuns) {
  Choose(0, 0, 1);
  view.OnBetweenPolls = [this] { workflow.Reconnect(); };
  Mark();

  workflow.RebuildSelectedIndex();

  EXPECT_FALSE(Logged("Reconnect"));
  EXPECT_TRUE(view.Errors.empty());
}

}  // namespace
}  // namespace qd::test
