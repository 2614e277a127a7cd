// Start-up and the three list handlers: what each fills, clears, enables and
// disables, and what is left when the server fails in the middle.
#include <gtest/gtest.h>

#include <ostream>

#include "base/QDLLExcp.h"
#include "base/result_codes.h"
#include "tests/jobs/workflow_fixture.h"

namespace qd::test {
namespace {

using C = TqdRebuildControl;
using L = TqdRebuildList;

struct StartCase {
  const char* Name;
  std::vector<std::string> Aliases;
  uint16_t FailCode;
  std::vector<std::string> Shown;
  bool AliasListEnabled;
  friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.Name; }
};

class StartTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartTest, FillsTheAliasListFromCreationState) {
  const StartCase& c = GetParam();
  server.Aliases = c.Aliases;
  if (c.FailCode != 0) server.Failures["ListAliasNames"] = c.FailCode;

  EXPECT_NO_THROW(workflow.Start());

  EXPECT_EQ(view.Items(L::ComboBoxAlias), c.Shown);
  EXPECT_EQ(view.ItemIndex(L::ComboBoxAlias), -1);
  EXPECT_EQ(view.Enabled(C::ComboBoxAlias), c.AliasListEnabled);
  for (C control : {C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexIt, C::BitBtnReIndexTable,
                    C::BitBtnReIndexAlias})
    EXPECT_FALSE(view.Enabled(control)) << ControlName(control);
  EXPECT_TRUE(view.Enabled(C::CheckBoxPack));
  for (size_t bar = 0; bar < kRebuildBarCount; ++bar)
    EXPECT_EQ(view.Bar(static_cast<TqdRebuildBar>(bar)), (TqdBarState{0, 100, 0, 1}));
  EXPECT_TRUE(view.WindowEnabled);
  EXPECT_FALSE(view.Busy);
  std::vector<std::string> errors;
  if (c.FailCode != 0) errors.push_back(EqdDatabaseError::CreateForCode(c.FailCode).Message());
  EXPECT_EQ(view.Errors, errors);
}

INSTANTIATE_TEST_SUITE_P(
    Workflow, StartTest,
    ::testing::Values(StartCase{"Aliases", {"Sales", "Archive"}, 0, {"Sales", "Archive"}, true},
                      StartCase{"NoAlias", {}, 0, {}, false},
                      StartCase{"DuplicatesOnce", {"B", "A", "B"}, 0, {"B", "A"}, true},
                      StartCase{"ServerNotFound", {"Sales"}, qdErrNetServerNotFound, {}, false}),
    CaseName());

TEST_F(RebuildWorkflowTest, ShownErrorReadsAsTheComponentsWriteIt) {
  server.Failures["ListAliasNames"] = qdErrNetServerNotFound;
  workflow.Start();
  ASSERT_EQ(view.Errors.size(), 1u);
  EXPECT_TRUE(view.Errors[0].starts_with("Quilldrive: ")) << view.Errors[0];
  EXPECT_TRUE(view.Errors[0].ends_with(" [$2C0E/11278]")) << view.Errors[0];
}

// Each case starts from a full choice (Archive, OLD, its index), so every
// control a handler clears was enabled before.
struct PickCase {
  const char* Name;
  L List;
  int Index;
  const char* FailingCall;
  std::vector<std::string> Calls;
  std::vector<std::string> Tables;
  std::vector<std::string> IndexNames;
  std::vector<C> Enabled;
  friend void PrintTo(const PickCase& c, std::ostream* os) { *os << c.Name; }
};

class PickTest : public RebuildWorkflowTest, public ::testing::WithParamInterface<PickCase> {};

TEST_P(PickTest, SetsListsAndControls) {
  const PickCase& c = GetParam();
  if (c.List == L::ComboBoxAlias) {
    Choose(1, 0, 0);
  } else {
    Choose(0, 0, 0);
  }
  if (c.FailingCall != nullptr) server.Failures[c.FailingCall] = qdErrNetTimeout;
  Mark();

  EXPECT_NO_THROW(Pick(c.List, c.Index));

  std::vector<std::string> calls;
  for (const std::string& entry : log)
    if (entry.find(' ') == std::string::npos) calls.push_back(entry);
  EXPECT_EQ(calls, c.Calls);
  if (c.List != L::ComboBoxIndex) {
    EXPECT_EQ(view.Items(L::ComboBoxTable), c.Tables);
    EXPECT_EQ(view.Items(L::ComboBoxIndex), c.IndexNames);
  }
  std::vector<C> enabled;
  for (size_t n = 0; n < kRebuildControlCount; ++n)
    if (view.Enabled(static_cast<C>(n))) enabled.push_back(static_cast<C>(n));
  EXPECT_EQ(enabled, c.Enabled);
  EXPECT_EQ(view.Errors.size(), c.FailingCall != nullptr ? 1u : 0u);
}

const std::vector<std::string> kSalesTables{"ORDERS", "NOTES", "PARTS"};
const std::vector<std::string> kOrdersIndexes{"Seq", "ByCustomer", "ByDate"};

INSTANTIATE_TEST_SUITE_P(
    Workflow, PickTest,
    ::testing::Values(
        PickCase{"AliasWithTables", L::ComboBoxAlias, 0, nullptr, {"CloseAlias", "OpenAlias(Sales)"}, kSalesTables,
                 {}, {C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"AliasWithoutTables", L::ComboBoxAlias, 2, nullptr, {"CloseAlias", "OpenAlias(Empty)"}, {}, {},
                 {C::ComboBoxAlias, C::CheckBoxPack}},
        PickCase{"NoAlias", L::ComboBoxAlias, -1, nullptr, {"CloseAlias"}, {}, {},
                 {C::ComboBoxAlias, C::CheckBoxPack}},
        PickCase{"AliasFails", L::ComboBoxAlias, 0, "OpenAlias(Sales)", {"CloseAlias", "OpenAlias(Sales)"}, {}, {},
                 {C::ComboBoxAlias, C::CheckBoxPack}},
        PickCase{"TableWithIndexes", L::ComboBoxTable, 0, nullptr, {"SelectTable(ORDERS)"}, kSalesTables,
                 kOrdersIndexes,
                 {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexTable,
                  C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"TableWithoutIndexes", L::ComboBoxTable, 1, nullptr, {"SelectTable(NOTES)"}, kSalesTables, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"NoTable", L::ComboBoxTable, -1, nullptr, {}, kSalesTables, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"TableFails", L::ComboBoxTable, 2, "SelectTable(PARTS)", {"SelectTable(PARTS)"}, kSalesTables, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"Index", L::ComboBoxIndex, 2, nullptr, {}, {}, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexIt, C::BitBtnReIndexTable,
                  C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"NoIndex", L::ComboBoxIndex, -1, nullptr, {}, {}, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexTable,
                  C::BitBtnReIndexAlias, C::CheckBoxPack}},
        PickCase{"IndexPastTheList", L::ComboBoxIndex, 3, nullptr, {}, {}, {},
                 {C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexTable,
                  C::BitBtnReIndexAlias, C::CheckBoxPack}}),
    CaseName());

TEST_F(RebuildWorkflowTest, RepickingTheSameAliasReopensItAndEmptiesTheIndexList) {
  Choose(0, 0, 1);
  Mark();

  Pick(L::ComboBoxAlias, 0);

  EXPECT_EQ(Entries("CloseAlias").size(), 1u);
  EXPECT_EQ(Entries("OpenAlias(Sales)").size(), 1u);
  EXPECT_LT(Place("CloseAlias"), Place("OpenAlias(Sales)"));
  EXPECT_EQ(server.OpenAliasName, "Sales");
  EXPECT_EQ(Entries("items ComboBoxTable"),
            (std::vector<std::string>{"items ComboBoxTable []", "items ComboBoxTable [ORDERS,NOTES,PARTS]"}));
  EXPECT_EQ(view.ItemIndex(L::ComboBoxTable), -1);
  EXPECT_TRUE(view.Items(L::ComboBoxIndex).empty());
  EXPECT_FALSE(view.Enabled(C::ComboBoxIndex));
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexIt));
  EXPECT_FALSE(view.Enabled(C::BitBtnReIndexTable));
}

}  // namespace
}  // namespace qd::test
