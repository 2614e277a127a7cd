// The report of the run in progress: entries added as objects end, the
// file (when --report names one) rewritten after each, and the outcome
// written at the end whatever it is. A report that cannot be written is
// said once on standard error; a run already going goes on.
// Thread rules: the run's thread only.
#pragma once

#include <ostream>
#include <string>

#include "jobs/run_report.h"

namespace qd {

class TqdRunRecord {
 public:
  // An empty path keeps the report in memory only.
  TqdRunRecord(TqdRunReport report, std::string path, std::ostream& err);

  void Add(TqdReportEntry entry);
  void SetServer(const std::string& server) { report_.Server = server; }
  void Finish(const std::string& outcome, int exitCode, const std::string& message);
  const TqdRunReport& Report() const { return report_; }
  // A write of the report failed (said on standard error already).
  bool WriteFailed() const { return failedBefore_; }

 private:
  void Write();

  TqdRunReport report_;
  std::string path_;
  std::ostream& err_;
  bool failedBefore_ = false;
};

}  // namespace qd
