// What a front end may add to a job's steps beyond the window's behaviour:
// a look at each pack or rebuild before its request goes out (run it, skip
// it, or stop the job there), its outcome afterwards, whether a failed step
// ends the job, and whether to stop waiting for a task between two polls.
// The command line uses it for --resume, --time-limit, --keep-going, Ctrl-C
// and its report. Without an observer a job runs exactly as the window's.
// Thread rules: called on the user-interface thread, from inside the
// workflow's jobs.
#pragma once

#include <cstdint>
#include <string>

namespace qd {

// One object of a job: the pack of a table or the rebuild of one index.
// The alias job also shows the observer each table's index list before it
// is read (Stop ends the job there, Skip is taken as Run) and ends it only
// when the list cannot be read, as a failed step.
struct TqdRebuildStep {
  std::string Table;
  bool Pack = false;
  bool IndexList = false;
  int32_t IndexNumber = 0;  // 0 for a pack or an index list
  std::string IndexName;    // empty for a pack or an index list
  // The index's place among the table's indexes, from 1, and their count;
  // 0 for a pack or an index list.
  int Ordinal = 0;
  int Count = 0;
};

enum class TqdStepDecision { Run, Skip, Stop };

enum class TqdStepResult {
  Done,
  Failed,
  // Polling stopped while the task still ran; the server finishes it.
  Abandoned,
};

struct TqdStepOutcome {
  TqdStepResult Result = TqdStepResult::Done;
  int32_t Task = -1;        // kNoRebuildTask when the request itself failed
  uint16_t ErrorCode = 0;   // the failure's result code, 0 when it has none
  std::string Message;      // the failure's message, empty when done
};

class TqdRebuildObserver {
 public:
  virtual ~TqdRebuildObserver() = default;

  // Before the step's request. Skip counts the step as done on the bars;
  // Stop ends the job without a failure, sending nothing more.
  virtual TqdStepDecision BeforeStep(const TqdRebuildStep&) { return TqdStepDecision::Run; }
  // The server accepted the request and gave it this task number.
  virtual void StepStarted(const TqdRebuildStep&, int32_t /*task*/) {}
  // The step ended: finished, failed, or left running on the server.
  virtual void StepEnded(const TqdRebuildStep&, const TqdStepOutcome&) {}
  // After a failed step: true goes on with the next step, false ends the
  // job with the failure (the window's way).
  virtual bool ContinueAfterFailure(const TqdRebuildStep&, const TqdStepOutcome&) { return false; }
  // Asked between two polls of a running task: true stops polling, leaves
  // the task to the server and ends the job without a failure.
  virtual bool AbandonTask(const TqdRebuildStep&) { return false; }
};

}  // namespace qd
