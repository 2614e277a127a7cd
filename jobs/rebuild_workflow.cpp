// The workflow's public operations, how each ends (a job's closing step, a
// failure shown, never thrown), and the state it keeps of the controls and
// bars.
// Thread rules: the user-interface thread only.
#include "jobs/rebuild_workflow.h"

#include <algorithm>
#include <exception>
#include <map>

#include "base/QDLLExcp.h"
#include "jobs/failure_text.h"
#include "jobs/run_status.h"

namespace qd {
namespace {

using C = TqdRebuildControl;
using L = TqdRebuildList;

// The message of whatever the body threw, or nothing when it returned.
std::optional<std::string> FailureOf(const std::function<void()>& body) {
  try {
    body();
    return std::nullopt;
  } catch (const std::exception& e) {  // EqdDatabaseError among them
    return FailureText(e);
  } catch (...) {
    return EqdDatabaseError::CreateWithMessage("unknown failure").Message();
  }
}

std::string Named(const std::string& object, const std::string& message) {
  return object.empty() ? message : object + ": " + message;
}

}  // namespace

TqdRebuildWorkflow::TqdRebuildWorkflow(TqdRebuildView& view, TqdRebuildBackend& backend)
    : view_(view), backend_(backend) {}

void TqdRebuildWorkflow::Start() {
  Guarded([this] {
    ShowCreationState();
    FillAliases();
  });
}

void TqdRebuildWorkflow::AliasPicked() {
  Guarded([this] { PickAlias(); }, [this] { return ChosenAlias(); });
}

void TqdRebuildWorkflow::TablePicked() {
  Guarded([this] { PickTable(); },
          [this] { return SelectedTableName().empty() ? ChosenAlias() : ChosenAlias() + "/" + SelectedTableName(); });
}

void TqdRebuildWorkflow::IndexPicked() {
  Guarded([this] {
    SetEnabled(C::BitBtnReIndexIt, false);
    if (Selected(L::ComboBoxIndex, indexes_.size())) SetEnabled(C::BitBtnReIndexIt, true);
  });
}

void TqdRebuildWorkflow::RebuildSelectedIndex() {
  if (running_ || !Enabled(C::BitBtnReIndexIt)) return;
  std::optional<size_t> index = Selected(L::ComboBoxIndex, indexes_.size());
  if (!index) return;
  TqdIndexEntry entry = indexes_[*index];
  RunJob({C::ComboBoxAlias, C::ComboBoxTable, C::ComboBoxIndex, C::BitBtnReIndexIt, C::BitBtnReIndexTable,
          C::BitBtnReIndexAlias, C::CheckBoxPack},
         [this, &entry] { ReIndexOne(entry); });
}

void TqdRebuildWorkflow::RebuildTable() {
  if (running_ || !Enabled(C::BitBtnReIndexTable)) return;
  RunJob({C::ComboBoxAlias, C::ComboBoxTable, C::BitBtnReIndexTable, C::BitBtnReIndexAlias, C::CheckBoxPack},
         [this] { ReIndexTableSteps(); });
}

void TqdRebuildWorkflow::RebuildAlias() {
  if (running_ || !Enabled(C::BitBtnReIndexAlias)) return;
  RunJob({C::ComboBoxAlias, C::BitBtnReIndexAlias, C::CheckBoxPack}, [this] { ReIndexAliasSteps(); });
}

void TqdRebuildWorkflow::Reconnect() {
  if (running_) return;
  const std::string alias = ChosenAlias();
  const std::string table = SelectedTableName();
  Guarded([&] {
    ShowCreationState();
    backend_.Reconnect();
    FillAliases();
    RestoreChoice(L::ComboBoxAlias, alias);
    if (!Selected(L::ComboBoxAlias, aliases_.size())) return;
    PickAlias();
    RestoreChoice(L::ComboBoxTable, table);
    if (Selected(L::ComboBoxTable, tables_.size())) PickTable();
  });
}

void TqdRebuildWorkflow::RestoreChoice(TqdRebuildList list, const std::string& name) {
  const std::vector<std::string>& names = list == L::ComboBoxAlias ? aliases_ : tables_;
  auto found = std::find(names.begin(), names.end(), name);
  if (name.empty() || found == names.end()) return;
  view_.SetItemIndex(list, static_cast<int>(found - names.begin()));
}

std::string TqdRebuildWorkflow::ChosenAlias() const {
  std::optional<size_t> alias = Selected(L::ComboBoxAlias, aliases_.size());
  return alias ? aliases_[*alias] : std::string();
}

// Unknown sizes weigh every table alike.
TqdRunShape TqdRebuildWorkflow::JobShape(TqdRunScope scope) {
  TqdRunShape shape{scope, {}};
  std::map<std::string, int64_t> sizes;
  if (scope != TqdRunScope::Index) {
    try {
      sizes = backend_.TableSizes();
    } catch (const std::exception&) {
    }
  }
  for (const std::string& table : tables_) {
    auto size = sizes.find(table);
    shape.TableRecords.push_back(size == sizes.end() ? 0 : size->second);
  }
  return shape;
}

void TqdRebuildWorkflow::Guarded(const std::function<void()>& body, const std::function<std::string()>& object) {
  if (running_) return;
  if (std::optional<std::string> failure = FailureOf(body)) view_.ShowError(Named(object ? object() : "", *failure));
}

// The closing step runs however the steps end, and before the failure is
// shown, so the message box stands over a usable window. A job its
// observer stopped ends as quietly as one that ran to its end.
void TqdRebuildWorkflow::RunJob(std::initializer_list<TqdRebuildControl> held,
                                const std::function<void()>& steps) {
  running_ = true;
  object_.clear();
  lastPoll_.reset();
  view_.SetWindowEnabled(false);
  view_.SetBusyCursor(true);
  std::optional<std::string> failure = FailureOf([&] {
    for (C control : held) SetEnabled(control, false);
    try {
      steps();
    } catch (const TqdJobStopped&) {
    }
  });
  for (C control : held) SetEnabled(control, true);
  view_.SetBusyCursor(false);
  view_.SetWindowEnabled(true);
  running_ = false;
  if (failure) view_.ShowError(object_.empty() ? *failure : FailedText(object_, *failure));
}

void TqdRebuildWorkflow::SetEnabled(TqdRebuildControl control, bool enabled) {
  enabled_[static_cast<size_t>(control)] = enabled;
  view_.SetEnabled(control, enabled);
}

bool TqdRebuildWorkflow::Enabled(TqdRebuildControl control) const {
  return enabled_[static_cast<size_t>(control)];
}

TqdBarState& TqdRebuildWorkflow::Bar(TqdRebuildBar bar) { return bars_[static_cast<size_t>(bar)]; }

void TqdRebuildWorkflow::ShowBar(TqdRebuildBar bar) { view_.ShowBar(bar, Bar(bar)); }

void TqdRebuildWorkflow::SetBarPosition(TqdRebuildBar bar, int32_t position) {
  Bar(bar).SetPosition(position);
  ShowBar(bar);
}

void TqdRebuildWorkflow::SetBarMax(TqdRebuildBar bar, int32_t max) {
  Bar(bar).SetMax(max);
  ShowBar(bar);
}

void TqdRebuildWorkflow::StepBar(TqdRebuildBar bar) {
  Bar(bar).StepIt();
  ShowBar(bar);
}

void TqdRebuildWorkflow::BarToMax(TqdRebuildBar bar) {
  Bar(bar).ToMax();
  ShowBar(bar);
}

}  // namespace qd
