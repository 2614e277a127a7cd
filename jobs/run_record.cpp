#include "jobs/run_record.h"

namespace qd {

TqdRunRecord::TqdRunRecord(TqdRunReport report, std::string path, std::ostream& err)
    : report_(std::move(report)), path_(std::move(path)), err_(err) {
  report_.Start = UtcTimestamp();
  report_.Outcome = "running";
  Write();
}

void TqdRunRecord::Add(TqdReportEntry entry) {
  report_.Entries.push_back(std::move(entry));
  Write();
}

void TqdRunRecord::Finish(const std::string& outcome, int exitCode, const std::string& message) {
  report_.End = UtcTimestamp();
  report_.Outcome = outcome;
  report_.ExitCode = exitCode;
  report_.Message = message;
  Write();
}

void TqdRunRecord::Write() {
  if (path_.empty()) return;
  std::string error;
  if (WriteReportFile(path_, report_, error)) return;
  if (!failedBefore_) err_ << "qd-reindex: " << error << '\n';
  failedBefore_ = true;
}

}  // namespace qd
