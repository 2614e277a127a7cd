// The steps of the three jobs between their opening and closing steps, and
// the poll loop they share. Every request and every poll may throw; the job
// then stops where it is and its bars keep their positions (unless an
// observer lets it go on with the next step).
// Thread rules: the user-interface thread only.
#include "jobs/rebuild_workflow.h"

#include <exception>

#include "base/QDLLExcp.h"

namespace qd {
namespace {

using B = TqdRebuildBar;
using L = TqdRebuildList;

}  // namespace

void TqdRebuildWorkflow::ReIndexOne(const TqdIndexEntry& entry) {
  for (B bar : {B::ProgressGaugeIndex, B::ProgressGaugeTable, B::ProgressGaugeAlias}) SetBarPosition(bar, 0);
  view_.ProcessPendingEvents();
  RunStep(IndexStep(entry), B::ProgressGaugeIndex,
          [&] { return backend_.RebuildIndex(SelectedTableName(), entry.Number); });
  BarToMax(B::ProgressGaugeIndex);
}

void TqdRebuildWorkflow::ReIndexTableSteps() {
  SetBarPosition(B::ProgressGaugeIndex, 0);
  SetBarPosition(B::ProgressGaugeTable, 0);
  SetBarMax(B::ProgressGaugeTable, static_cast<int32_t>(indexes_.size()));
  SetBarPosition(B::ProgressGaugeAlias, 0);
  view_.ProcessPendingEvents();
  PackAndReIndexSelectedTable();
  BarToMax(B::ProgressGaugeTable);
}

// The table list is walked by selecting each table as the user would, so
// the index list shows the table being rebuilt; the last one stays chosen.
void TqdRebuildWorkflow::ReIndexAliasSteps() {
  for (B bar : {B::ProgressGaugeIndex, B::ProgressGaugeTable, B::ProgressGaugeAlias}) SetBarPosition(bar, 0);
  const size_t tableCount = tables_.size();
  SetBarMax(B::ProgressGaugeAlias, static_cast<int32_t>(tableCount));
  view_.ProcessPendingEvents();
  for (size_t t = 0; t < tableCount; ++t) {
    view_.SetItemIndex(L::ComboBoxTable, static_cast<int>(t));
    PickTable();
    SetBarPosition(B::ProgressGaugeTable, 0);
    SetBarMax(B::ProgressGaugeTable, static_cast<int32_t>(indexes_.size()));
    PackAndReIndexSelectedTable();
    BarToMax(B::ProgressGaugeTable);
    StepBar(B::ProgressGaugeAlias);
  }
  BarToMax(B::ProgressGaugeAlias);
}

void TqdRebuildWorkflow::PackAndReIndexSelectedTable() {
  if (view_.PackChecked()) PackSelectedTable();
  ReIndexEveryIndex();
}

// The pack is one more step of the table bar. The packed bar keeps the last
// percentage reported, not its maximum.
void TqdRebuildWorkflow::PackSelectedTable() {
  SetBarMax(B::ProgressGaugeTable, static_cast<int32_t>(indexes_.size()) + 1);
  SetBarMax(B::ProgressBarPacked, 100);
  SetBarPosition(B::ProgressBarPacked, 0);
  RunStep(TqdRebuildStep{.Table = SelectedTableName(), .Pack = true}, B::ProgressBarPacked,
          [&] { return backend_.PackTable(SelectedTableName()); });
  StepBar(B::ProgressGaugeTable);
}

// Each index goes to the server by the number kept with its entry: the list
// leaves out unnamed indexes, so a place in the list is not a number.
void TqdRebuildWorkflow::ReIndexEveryIndex() {
  const std::vector<TqdIndexEntry> entries = indexes_;
  for (const TqdIndexEntry& entry : entries) {
    RunStep(IndexStep(entry), B::ProgressGaugeIndex,
            [&] { return backend_.RebuildIndex(SelectedTableName(), entry.Number); });
    BarToMax(B::ProgressGaugeIndex);
    StepBar(B::ProgressGaugeTable);
  }
}

TqdRebuildStep TqdRebuildWorkflow::IndexStep(const TqdIndexEntry& entry) const {
  return TqdRebuildStep{.Table = SelectedTableName(), .Pack = false, .IndexNumber = entry.Number, .IndexName = entry.Name};
}

// Without an observer, exactly the window's request and poll loop.
void TqdRebuildWorkflow::RunStep(const TqdRebuildStep& step, TqdRebuildBar bar,
                                 const std::function<int32_t()>& request) {
  if (observer_ == nullptr) {
    PollTask(request(), bar);
    return;
  }
  ObservedStep(step, bar, request);
}

// A failure is told to the observer before it ends the job, so a report
// holds it even when the job stops there.
void TqdRebuildWorkflow::ObservedStep(const TqdRebuildStep& step, TqdRebuildBar bar,
                                      const std::function<int32_t()>& request) {
  TqdStepDecision decision = observer_->BeforeStep(step);
  if (decision == TqdStepDecision::Skip) return;
  if (decision == TqdStepDecision::Stop) throw TqdJobStopped{};
  TqdStepOutcome outcome;
  std::exception_ptr failure;
  try {
    outcome.Task = request();
    observer_->StepStarted(step, outcome.Task);
    PollTask(outcome.Task, bar, &step);
  } catch (const TqdJobStopped&) {
    outcome.Result = TqdStepResult::Abandoned;
    observer_->StepEnded(step, outcome);
    throw;
  } catch (const EqdDatabaseError& e) {
    failure = std::current_exception();
    outcome.ErrorCode = e.ErrorCode;
    outcome.Message = e.what();
  } catch (const std::exception& e) {
    failure = std::current_exception();
    outcome.Message = e.what();
  } catch (...) {
    failure = std::current_exception();
    outcome.Message = EqdDatabaseError::CreateWithMessage("unknown failure").Message();
  }
  if (failure) outcome.Result = TqdStepResult::Failed;
  observer_->StepEnded(step, outcome);
  if (failure && !observer_->ContinueAfterFailure(step, outcome)) std::rethrow_exception(failure);
}

// Polls back to back until the task says finished; the finished status's
// own percentage is not shown. Between polls the view handles repaints and
// the transport's notifications, never user input (the window is disabled).
// A failed task throws from Status, so its bar is never taken for done.
void TqdRebuildWorkflow::PollTask(int32_t task, TqdRebuildBar bar, const TqdRebuildStep* step) {
  TqdTaskProgress progress = Status(task);
  while (!progress.Finished) {
    SetBarPosition(bar, progress.PercentDone);
    view_.ProcessPendingNonInputEvents();
    if (step != nullptr && observer_ != nullptr && observer_->AbandonTask(*step)) throw TqdJobStopped{};
    progress = Status(task);
  }
}

TqdTaskProgress TqdRebuildWorkflow::Status(int32_t task) {
  if (task == kNoRebuildTask) return TqdTaskProgress{.Finished = true, .PercentDone = 0};
  return backend_.TaskStatus(task);
}

}  // namespace qd
