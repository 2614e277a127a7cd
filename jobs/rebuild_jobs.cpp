// The steps of the three jobs between their opening and closing steps, and
// the poll loop they share. Every request and every poll may throw; the job
// then stops where it is and its bars keep their positions (unless an
// observer lets it go on with the next step).
// Thread rules: the user-interface thread only.
#include "jobs/rebuild_workflow.h"

#include <exception>

#include "base/QDLLExcp.h"
#include "jobs/failure_text.h"
#include "jobs/run_status.h"

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
    if (!PickTableInJob(t)) {
      StepBar(B::ProgressGaugeAlias);
      continue;
    }
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

// A table whose index list cannot be read is a failure of that table:
// the job ends there unless the observer goes on after it.
bool TqdRebuildWorkflow::PickTableInJob(size_t t) {
  view_.SetItemIndex(L::ComboBoxTable, static_cast<int>(t));
  const TqdRebuildStep step{.Table = SelectedTableName(), .IndexList = true};
  object_ = DescribeStep(ChosenAlias(), step);
  if (observer_ == nullptr) {
    PickTable();
    return true;
  }
  if (observer_->BeforeStep(step) == TqdStepDecision::Stop) throw TqdJobStopped{};
  TqdStepOutcome outcome;
  std::exception_ptr failure = Attempt([this] { PickTable(); }, outcome);
  if (!failure) return true;
  observer_->StepEnded(step, outcome);
  if (!observer_->ContinueAfterFailure(step, outcome)) std::rethrow_exception(failure);
  return false;
}

// The pack is one more step of the table bar. A finished pack leaves the
// packed bar at its end, as a finished rebuild leaves the index bar.
void TqdRebuildWorkflow::PackSelectedTable() {
  SetBarMax(B::ProgressGaugeTable, static_cast<int32_t>(indexes_.size()) + 1);
  SetBarMax(B::ProgressBarPacked, 100);
  SetBarPosition(B::ProgressBarPacked, 0);
  RunStep(TqdRebuildStep{.Table = SelectedTableName(), .Pack = true}, B::ProgressBarPacked,
          [&] { return backend_.PackTable(SelectedTableName()); });
  BarToMax(B::ProgressBarPacked);
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
  TqdRebuildStep step{.Table = SelectedTableName(), .IndexNumber = entry.Number, .IndexName = entry.Name};
  for (size_t i = 0; i < indexes_.size(); ++i)
    if (indexes_[i].Number == entry.Number) step.Ordinal = static_cast<int>(i) + 1;
  step.Count = static_cast<int>(indexes_.size());
  return step;
}

// Without an observer, exactly the window's request and poll loop.
void TqdRebuildWorkflow::RunStep(const TqdRebuildStep& step, TqdRebuildBar bar,
                                 const std::function<int32_t()>& request) {
  object_ = DescribeStep(ChosenAlias(), step);
  // A task that finishes by its first poll lets no event through: Stop and
  // closing are seen here, between two steps, at the latest.
  view_.ProcessEventsBetweenPolls();
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
    failure = Attempt(
        [&] {
          outcome.Task = request();
          observer_->StepStarted(step, outcome.Task);
          PollTask(outcome.Task, bar, &step);
        },
        outcome);
  } catch (const TqdJobStopped&) {
    outcome.Result = TqdStepResult::Abandoned;
    observer_->StepEnded(step, outcome);
    throw;
  }
  observer_->StepEnded(step, outcome);
  if (failure && !observer_->ContinueAfterFailure(step, outcome)) std::rethrow_exception(failure);
}

std::exception_ptr TqdRebuildWorkflow::Attempt(const std::function<void()>& body, TqdStepOutcome& outcome) {
  std::exception_ptr failure;
  try {
    body();
    return nullptr;
  } catch (const TqdJobStopped&) {
    throw;
  } catch (const EqdDatabaseError& e) {
    failure = std::current_exception();
    outcome.ErrorCode = e.ErrorCode;
    outcome.Message = FailureText(e);
  } catch (const std::exception& e) {
    failure = std::current_exception();
    outcome.Message = FailureText(e);
  } catch (...) {
    failure = std::current_exception();
    outcome.Message = EqdDatabaseError::CreateWithMessage("unknown failure").Message();
  }
  outcome.Result = TqdStepResult::Failed;
  return failure;
}

// Polls until the task says finished; the finished status's own
// percentage is not shown. Between polls the view handles repaints, the
// transport's notifications and what input a running job takes (Stop,
// closing). A failed task throws from Status, so its bar is never taken
// for done.
void TqdRebuildWorkflow::PollTask(int32_t task, TqdRebuildBar bar, const TqdRebuildStep* step) {
  TqdTaskProgress progress = Status(task);
  while (!progress.Finished) {
    SetBarPosition(bar, progress.PercentDone);
    view_.ProcessEventsBetweenPolls();
    if (step != nullptr && observer_ != nullptr && observer_->AbandonTask(*step)) throw TqdJobStopped{};
    PaceNextPoll();
    progress = Status(task);
  }
}

// A server that holds a poll until its task moves is never slowed; one that
// answers at once is asked again only when the interval since the last
// poll went out has passed.
void TqdRebuildWorkflow::PaceNextPoll() {
  if (!lastPoll_) return;
  auto due = *lastPoll_ + kMinPollInterval;
  auto now = clock_();
  if (now >= due) return;
  view_.WaitBeforeNextPoll(std::chrono::ceil<std::chrono::milliseconds>(due - now));
}

TqdTaskProgress TqdRebuildWorkflow::Status(int32_t task) {
  if (task == kNoRebuildTask) return TqdTaskProgress{.Finished = true, .PercentDone = 0};
  lastPoll_ = clock_();
  return backend_.TaskStatus(task);
}

}  // namespace qd
