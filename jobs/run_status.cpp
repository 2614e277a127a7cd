#include "jobs/run_status.h"

#include "jobs/run_estimate.h"

namespace qd {
namespace {

std::string Count(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string CountsText(const TqdRunCounts& counts) {
  std::string text = Count(counts.Done, "object", "objects") + " in " + FormatDuration(counts.Seconds);
  if (counts.Failed > 0) text += ", " + std::to_string(counts.Failed) + " failed";
  if (counts.Skipped > 0) text += ", " + std::to_string(counts.Skipped) + " skipped";
  return text;
}

}  // namespace

std::string DescribeStep(const std::string& alias, const TqdRebuildStep& step) {
  std::string what = alias + "/" + step.Table;
  if (step.Pack) return what + " pack";
  if (step.IndexList) return what + " index list";
  return what + " index " + std::to_string(step.IndexNumber) + " " + step.IndexName;
}

std::string WorkingText(const std::string& alias, const TqdRebuildStep& step) {
  std::string what = alias + "/" + step.Table + ": ";
  if (step.Pack) return what + "packing";
  if (step.IndexList) return what + "reading the index list";
  std::string text = what + "rebuilding " + step.IndexName + ", index " + std::to_string(step.Ordinal);
  if (step.Count > 0) text += " of " + std::to_string(step.Count);
  return text;
}

std::string DoneText(const TqdRunCounts& counts) { return "Done: " + CountsText(counts); }

std::string FailedText(const std::string& object, const std::string& message) {
  if (object.empty()) return "Failed: " + message;
  return "Failed at " + object + ": " + message;
}

std::string StoppedText(const TqdRunCounts& counts, const std::string& table, int stepsLeft, int tablesLeft) {
  std::string text = "Stopped after " + CountsText(counts);
  std::string left;
  if (stepsLeft > 0) left = Count(stepsLeft, "step", "steps") + " of " + table;
  if (tablesLeft > 0) {
    if (!left.empty()) left += " and ";
    left += Count(tablesLeft, "more table", "more tables");
  }
  return text + "; left: " + (left.empty() ? std::string("nothing") : left);
}

}  // namespace qd
