// Start-up and the bodies of the three list handlers: what each clears,
// asks the server for and enables. They throw; the public operations and the
// alias job decide what a failure ends. A failed fill skips the enabling
// step, so a list that was cleared stays disabled.
// Thread rules: the user-interface thread only.
#include <algorithm>

#include "jobs/rebuild_workflow.h"

namespace qd {
namespace {

using C = TqdRebuildControl;
using L = TqdRebuildList;

// The server's order, each name once.
std::vector<std::string> WithoutDuplicates(const std::vector<std::string>& names) {
  std::vector<std::string> kept;
  for (const std::string& name : names)
    if (std::find(kept.begin(), kept.end(), name) == kept.end()) kept.push_back(name);
  return kept;
}

}  // namespace

void TqdRebuildWorkflow::ShowCreationState() {
  for (L list : {L::ComboBoxAlias, L::ComboBoxTable, L::ComboBoxIndex}) ClearList(list);
  for (C control : {C::BitBtnReIndexIt, C::BitBtnReIndexTable, C::BitBtnReIndexAlias}) SetEnabled(control, false);
  SetEnabled(C::CheckBoxPack, true);
  for (size_t bar = 0; bar < kRebuildBarCount; ++bar) {
    bars_[bar] = TqdBarState{};
    ShowBar(static_cast<TqdRebuildBar>(bar));
  }
  view_.SetBusyCursor(false);
  view_.SetWindowEnabled(true);
}

void TqdRebuildWorkflow::FillAliases() {
  aliases_ = WithoutDuplicates(backend_.ListAliasNames());
  view_.SetItems(L::ComboBoxAlias, aliases_);
  SetEnabled(C::ComboBoxAlias, !aliases_.empty());
}

void TqdRebuildWorkflow::PickAlias() {
  backend_.CloseAlias();
  ClearList(L::ComboBoxTable);
  ClearList(L::ComboBoxIndex);
  for (C control : {C::BitBtnReIndexIt, C::BitBtnReIndexTable, C::BitBtnReIndexAlias}) SetEnabled(control, false);
  std::optional<size_t> alias = Selected(L::ComboBoxAlias, aliases_.size());
  if (!alias) return;
  tables_ = backend_.OpenAlias(aliases_[*alias]);
  view_.SetItems(L::ComboBoxTable, tables_);
  SetEnabled(C::ComboBoxTable, !tables_.empty());
  SetEnabled(C::BitBtnReIndexAlias, !tables_.empty());
}

void TqdRebuildWorkflow::PickTable() {
  ClearList(L::ComboBoxIndex);
  SetEnabled(C::BitBtnReIndexIt, false);
  SetEnabled(C::BitBtnReIndexTable, false);
  std::optional<size_t> table = Selected(L::ComboBoxTable, tables_.size());
  if (!table) return;
  indexes_ = backend_.SelectTable(tables_[*table]);
  std::vector<std::string> names;
  for (const TqdIndexEntry& entry : indexes_) names.push_back(entry.Name);
  view_.SetItems(L::ComboBoxIndex, names);
  SetEnabled(C::ComboBoxIndex, !indexes_.empty());
  SetEnabled(C::BitBtnReIndexTable, !indexes_.empty());
}

// Emptied and disabled, with what the workflow keeps of it.
void TqdRebuildWorkflow::ClearList(TqdRebuildList list) {
  if (list == L::ComboBoxAlias) aliases_.clear();
  if (list == L::ComboBoxTable) tables_.clear();
  if (list == L::ComboBoxIndex) indexes_.clear();
  view_.SetItems(list, {});
  SetEnabled(ListControl(list), false);
}

std::optional<size_t> TqdRebuildWorkflow::Selected(TqdRebuildList list, size_t count) const {
  int index = view_.ItemIndex(list);
  if (index < 0 || static_cast<size_t>(index) >= count) return std::nullopt;
  return static_cast<size_t>(index);
}

std::string TqdRebuildWorkflow::SelectedTableName() const {
  std::optional<size_t> table = Selected(L::ComboBoxTable, tables_.size());
  if (!table) return {};
  return tables_[*table].substr(0, kTableNameCapacity);
}

}  // namespace qd
