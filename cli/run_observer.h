// The command line's observer of a job: skips what an earlier report lists
// as done (--resume), stops before a new task once the time limit has
// passed, stops polling on Ctrl-C (the task finishes on the server), goes
// on after a failure with --keep-going, and puts each object's timing and
// result into the report and the progress output.
// Thread rules: the run's thread only; `interrupted` may read a flag that
// a signal handler sets.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/progress_display.h"
#include "cli/run_record.h"
#include "jobs/rebuild_observer.h"

namespace qd {

enum class TqdStopReason { None, TimeLimit, Interrupted };

struct TqdObserverSettings {
  std::string Alias;
  bool KeepGoing = false;
  std::optional<double> TimeLimitSeconds;
};

class TqdRunObserver : public TqdRebuildObserver {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  TqdRunObserver(TqdObserverSettings settings, TqdRunRecord& record, TqdProgressDisplay& display,
                 std::function<bool()> interrupted, Clock clock = std::chrono::steady_clock::now);

  // The objects these entries list as done (for this alias) are skipped.
  void Skip(const std::vector<TqdReportEntry>& entries);

  TqdStepDecision BeforeStep(const TqdRebuildStep& step) override;
  void StepStarted(const TqdRebuildStep& step, int32_t task) override;
  void StepEnded(const TqdRebuildStep& step, const TqdStepOutcome& outcome) override;
  bool ContinueAfterFailure(const TqdRebuildStep& step, const TqdStepOutcome& outcome) override;
  bool AbandonTask(const TqdRebuildStep& step) override;

  TqdStopReason Stopped() const { return stopped_; }
  int Failures() const { return failures_; }
  int Skipped() const { return skipped_; }

 private:
  using Key = std::pair<std::string, int32_t>;  // table; index number, -1 for the pack
  static Key KeyOf(const TqdRebuildStep& step) { return {step.Table, step.Pack ? -1 : step.IndexNumber}; }
  std::string Describe(const TqdRebuildStep& step) const;
  bool PastTimeLimit() const;

  TqdObserverSettings settings_;
  TqdRunRecord& record_;
  TqdProgressDisplay& display_;
  std::function<bool()> interrupted_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::set<Key> done_;
  std::chrono::steady_clock::time_point stepStart_;
  std::string stepStartText_;
  TqdStopReason stopped_ = TqdStopReason::None;
  int failures_ = 0;
  int skipped_ = 0;
};

}  // namespace qd
