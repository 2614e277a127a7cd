#include "cli/run_observer.h"

#include <cstdio>

namespace qd {

TqdRunObserver::TqdRunObserver(TqdObserverSettings settings, TqdRunRecord& record, TqdProgressDisplay& display,
                               std::function<bool()> interrupted, Clock clock)
    : settings_(std::move(settings)),
      record_(record),
      display_(display),
      interrupted_(std::move(interrupted)),
      clock_(std::move(clock)),
      start_(clock_()) {}

void TqdRunObserver::Skip(const std::vector<TqdReportEntry>& entries) {
  for (const TqdReportEntry& entry : entries)
    if (entry.State == kEntryDone && entry.Alias == settings_.Alias)
      done_.insert({entry.Table, entry.IndexNumber.value_or(-1)});
}

bool TqdRunObserver::PastTimeLimit() const {
  if (!settings_.TimeLimitSeconds) return false;
  return std::chrono::duration<double>(clock_() - start_).count() >= *settings_.TimeLimitSeconds;
}

TqdStepDecision TqdRunObserver::BeforeStep(const TqdRebuildStep& step) {
  if (interrupted_ && interrupted_()) {
    stopped_ = TqdStopReason::Interrupted;
    return TqdStepDecision::Stop;
  }
  if (done_.count(KeyOf(step)) != 0) {
    ++skipped_;
    display_.ObjectLine(Describe(step) + ": done before, skipped");
    return TqdStepDecision::Skip;
  }
  if (PastTimeLimit()) {
    stopped_ = TqdStopReason::TimeLimit;
    return TqdStepDecision::Stop;
  }
  stepStart_ = clock_();
  stepStartText_ = UtcTimestamp();
  return TqdStepDecision::Run;
}

void TqdRunObserver::StepStarted(const TqdRebuildStep&, int32_t) {}

void TqdRunObserver::StepEnded(const TqdRebuildStep& step, const TqdStepOutcome& outcome) {
  TqdReportEntry entry;
  entry.Alias = settings_.Alias;
  entry.Table = step.Table;
  if (!step.Pack) entry.IndexNumber = step.IndexNumber;
  entry.Index = step.Pack ? kPackIndexName : step.IndexName;
  entry.Task = outcome.Task;
  entry.Start = stepStartText_;
  entry.End = UtcTimestamp();
  entry.Seconds = std::chrono::duration<double>(clock_() - stepStart_).count();
  entry.Result = outcome.ErrorCode;
  entry.Message = outcome.Message;
  switch (outcome.Result) {
    case TqdStepResult::Done: entry.State = kEntryDone; break;
    case TqdStepResult::Failed:
      entry.State = kEntryFailed;
      ++failures_;
      break;
    case TqdStepResult::Abandoned:
      entry.State = kEntryInterrupted;
      entry.Message = "interrupted; the task was left to finish on the server";
      break;
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f s", entry.Seconds);
  std::string line = Describe(step) + ": " + entry.State + " " + seconds;
  if (!entry.Message.empty()) line += " " + entry.Message;
  record_.Add(std::move(entry));
  display_.ObjectLine(line);
}

bool TqdRunObserver::ContinueAfterFailure(const TqdRebuildStep&, const TqdStepOutcome&) {
  return settings_.KeepGoing;
}

bool TqdRunObserver::AbandonTask(const TqdRebuildStep&) {
  if (!interrupted_ || !interrupted_()) return false;
  stopped_ = TqdStopReason::Interrupted;
  return true;
}

std::string TqdRunObserver::Describe(const TqdRebuildStep& step) const {
  std::string what = settings_.Alias + "/" + step.Table;
  if (step.Pack) return what + " pack";
  return what + " index " + std::to_string(step.IndexNumber) + " " + step.IndexName;
}

}  // namespace qd
