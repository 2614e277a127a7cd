// The observer of a job that both front ends use: skips what an earlier
// report lists as done (--resume), stops before a new task once the time
// limit has passed or a stop was asked for, stops polling when the front
// end must go at once (the task finishes on the server), goes on after a
// failure when told to, and puts each object's timing and result into the
// run's record and before the front end's eyes.
// Thread rules: the run's thread only; the predicates may read flags that
// a signal handler sets.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "jobs/rebuild_observer.h"
#include "jobs/run_record.h"

namespace qd {

enum class TqdStopReason { None, TimeLimit, Interrupted };

struct TqdObserverSettings {
  std::string Alias;
  bool KeepGoing = false;
  std::optional<double> TimeLimitSeconds;
};

// What a front end shows of a run as it goes; each does nothing unless
// overridden.
class TqdRunEvents {
 public:
  virtual ~TqdRunEvents() = default;
  // A step's request is about to go out.
  virtual void StepBegins(const TqdRebuildStep&) {}
  // "Sales/Customers index 1 ByName: done 0.412 s", or a skipped object.
  virtual void ObjectLine(const std::string&) {}
  // An object ended; its entry is in the record already.
  virtual void ObjectEnded(const TqdReportEntry&) {}
};

// When the front end wants the job to end: `stop` starts no new task (the
// running one is polled to its end), `abandon` stops polling the running
// task too. Either may be empty.
struct TqdStopRequests {
  std::function<bool()> Stop;
  std::function<bool()> Abandon;
};

class TqdRunObserver : public TqdRebuildObserver {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  TqdRunObserver(TqdObserverSettings settings, TqdRunRecord& record, TqdRunEvents& events, TqdStopRequests requests,
                 Clock clock = std::chrono::steady_clock::now);

  // The objects these entries list as done (for this alias) are skipped.
  void Skip(const std::vector<TqdReportEntry>& entries);

  TqdStepDecision BeforeStep(const TqdRebuildStep& step) override;
  void StepStarted(const TqdRebuildStep& step, int32_t task) override;
  void StepEnded(const TqdRebuildStep& step, const TqdStepOutcome& outcome) override;
  bool ContinueAfterFailure(const TqdRebuildStep& step, const TqdStepOutcome& outcome) override;
  bool AbandonTask(const TqdRebuildStep& step) override;

  TqdStopReason Stopped() const { return stopped_; }
  int Done() const { return done_; }
  int Failures() const { return failures_; }
  int Skipped() const { return skipped_; }
  // Seconds since the observer was made.
  double ElapsedSeconds() const;
  // "Sales/Customers index 1 ByName", "Sales/Customers pack".
  std::string Describe(const TqdRebuildStep& step) const;

 private:
  using Key = std::pair<std::string, int32_t>;  // table; index number, -1 for the pack
  static Key KeyOf(const TqdRebuildStep& step) { return {step.Table, step.Pack ? -1 : step.IndexNumber}; }
  bool PastTimeLimit() const;
  static bool Asked(const std::function<bool()>& request) { return request && request(); }

  TqdObserverSettings settings_;
  TqdRunRecord& record_;
  TqdRunEvents& events_;
  TqdStopRequests requests_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::set<Key> doneBefore_;
  std::chrono::steady_clock::time_point stepStart_;
  std::string stepStartText_;
  TqdStopReason stopped_ = TqdStopReason::None;
  int done_ = 0;
  int failures_ = 0;
  int skipped_ = 0;
};

}  // namespace qd
