#include "jobs/run_observer.h"

#include <cstdio>

#include "jobs/run_status.h"

namespace qd {

TqdRunObserver::TqdRunObserver(TqdObserverSettings settings, TqdRunRecord& record, TqdRunEvents& events,
                               TqdStopRequests requests, Clock clock)
    : settings_(std::move(settings)),
      record_(record),
      events_(events),
      requests_(std::move(requests)),
      clock_(std::move(clock)),
      start_(clock_()) {}

void TqdRunObserver::Skip(const std::vector<TqdReportEntry>& entries) {
  for (const TqdReportEntry& entry : entries)
    if (entry.State == kEntryDone && entry.Alias == settings_.Alias && !entry.IsIndexList())
      doneBefore_.insert({entry.Table, entry.IndexNumber.value_or(-1)});
}

double TqdRunObserver::ElapsedSeconds() const { return std::chrono::duration<double>(clock_() - start_).count(); }

bool TqdRunObserver::PastTimeLimit() const {
  return settings_.TimeLimitSeconds && ElapsedSeconds() >= *settings_.TimeLimitSeconds;
}

// A table's index list is read whatever an earlier run did, and is neither
// counted nor told unless it fails.
TqdStepDecision TqdRunObserver::BeforeStep(const TqdRebuildStep& step) {
  if (Asked(requests_.Stop) || Asked(requests_.Abandon)) {
    stopped_ = TqdStopReason::Interrupted;
    return TqdStepDecision::Stop;
  }
  if (!step.IndexList && doneBefore_.count(KeyOf(step)) != 0) {
    ++skipped_;
    events_.ObjectLine(Describe(step) + ": done before, skipped");
    return TqdStepDecision::Skip;
  }
  if (PastTimeLimit()) {
    stopped_ = TqdStopReason::TimeLimit;
    return TqdStepDecision::Stop;
  }
  stepStart_ = clock_();
  stepStartText_ = UtcTimestamp();
  if (!step.IndexList) events_.StepBegins(step);
  return TqdStepDecision::Run;
}

void TqdRunObserver::StepStarted(const TqdRebuildStep&, int32_t) {}

void TqdRunObserver::StepEnded(const TqdRebuildStep& step, const TqdStepOutcome& outcome) {
  TqdReportEntry entry;
  entry.Alias = settings_.Alias;
  entry.Table = step.Table;
  if (!step.Pack && !step.IndexList) entry.IndexNumber = step.IndexNumber;
  entry.Index = step.Pack ? kPackIndexName : step.IndexList ? kIndexListName : step.IndexName;
  entry.Task = outcome.Task;
  entry.Start = stepStartText_;
  entry.End = UtcTimestamp();
  entry.Seconds = std::chrono::duration<double>(clock_() - stepStart_).count();
  entry.Result = outcome.ErrorCode;
  entry.Message = outcome.Message;
  switch (outcome.Result) {
    case TqdStepResult::Done:
      entry.State = kEntryDone;
      ++done_;
      break;
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
  record_.Add(entry);
  events_.ObjectLine(line);
  events_.ObjectEnded(entry);
}

bool TqdRunObserver::ContinueAfterFailure(const TqdRebuildStep&, const TqdStepOutcome&) {
  return settings_.KeepGoing;
}

bool TqdRunObserver::AbandonTask(const TqdRebuildStep&) {
  if (!Asked(requests_.Abandon)) return false;
  stopped_ = TqdStopReason::Interrupted;
  return true;
}

std::string TqdRunObserver::Describe(const TqdRebuildStep& step) const { return DescribeStep(settings_.Alias, step); }

}  // namespace qd
