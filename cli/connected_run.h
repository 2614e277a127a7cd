// The part of a run that talks to the server: connect, find the alias,
// table and index the command line names, then list, plan or run the job
// through the rebuild workflow with the run's observer. Each way out gives
// the exit code, the outcome word of the report and the message.
// Thread rules: the run's thread only; make it inside the component
// layer's lifetime.
#pragma once

#include <optional>
#include <string>

#include "cli/login.h"
#include "cli/options.h"
#include "cli/progress_display.h"
#include "jobs/run_estimate.h"
#include "jobs/run_observer.h"
#include "jobs/run_record.h"
#include "cli/run_reindex.h"
#include "cli/text_view.h"
#include "jobs/component_backend.h"
#include "jobs/rebuild_workflow.h"

namespace qd {

struct TqdRunEnd {
  int ExitCode = kExitDone;
  std::string Outcome = "done";
  std::string Message;  // printed on standard error when not empty
};

class TqdConnectedRun {
 public:
  TqdConnectedRun(const TqdReindexOptions& options, const TqdReindexIo& io, TqdRunRecord& record,
                  TqdProgressDisplay& display);

  TqdRunEnd Run();

 private:
  std::optional<TqdRunEnd> Connect();
  std::optional<TqdRunEnd> Pick(TqdRebuildList list, size_t item);
  std::optional<TqdRunEnd> PickAlias();
  std::optional<TqdRunEnd> PickTable();
  std::optional<TqdRunEnd> PickIndex();
  TqdRunEnd List();
  TqdRunEnd Plan();
  TqdRunEnd RunJob();
  TqdRunEnd JobEnd(int failures, TqdStopReason stopped);
  // A failure the view was shown: a lost or refused connection, else an
  // object's failure.
  TqdRunEnd Failure(const std::string& shown);
  TqdRunScope Scope() const;
  // The table list's choice; only after a table was picked.
  const std::string& ChosenTable() const;
  TqdRunShape Shape();

  const TqdReindexOptions& options_;
  const TqdReindexIo& io_;
  TqdRunRecord& record_;
  TqdProgressDisplay& display_;
  TqdRunLogin login_;
  TqdComponentBackend backend_;
  TqdTextView view_;
  TqdRebuildWorkflow workflow_;
};

}  // namespace qd
