// TqdWindowRun: one job of the window as it goes and after it ended: the
// run's record (the report "Save report…" writes, as qd-reindex --report
// would), the observer the workflow is given (Stop, closing, "Go on after a
// failure"), and what the strip shows: the object being worked on, the
// elapsed time with the estimate of the time left, each finished object,
// and the job's end.
// Thread rules: the user-interface thread only.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "jobs/run_estimate.h"
#include "jobs/run_observer.h"
#include "jobs/run_record.h"

namespace qd {

class TqdRunStrip;

class TqdWindowRun : public TqdRunEvents {
 public:
  TqdWindowRun(TqdRunStrip& strip, TqdObserverSettings settings, TqdRunReport report, TqdRunShape shape,
               TqdStopRequests requests);

  TqdRunObserver& Observer() { return observer_; }
  const TqdRunReport& Report() const { return record_.Report(); }

  // The bars as they stand and the table list's choice: the time line.
  void BarsChanged(const TqdBars& bars, int table);
  // The time line again, for the clock alone.
  void Tick();
  // The job's end: `failure` is the message of the failure that ended it.
  // `table` is the table it was at.
  void Finish(const std::optional<std::string>& failure, const std::string& table);

  // TqdRunEvents
  void StepBegins(const TqdRebuildStep& step) override;
  void ObjectEnded(const TqdReportEntry& entry) override;

 private:
  std::string TimeText() const;

  TqdRunStrip& strip_;
  std::string alias_;
  TqdRunShape shape_;
  TqdRunRecord record_;
  TqdRunObserver observer_;
  TqdBars bars_{};
  int table_ = -1;
  bool packing_ = false;
  bool ended_ = false;
};

}  // namespace qd
