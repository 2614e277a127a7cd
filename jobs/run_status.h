// The words of a run's status line, shared by the window and the command
// line: the object a step works on, what is being done to it, and how the
// run ended.
// Thread rules: none; plain functions.
#pragma once

#include <string>

#include "jobs/rebuild_observer.h"

namespace qd {

// "Sales/Customers index 2 ByName", "Sales/Customers pack",
// "Sales/Customers index list".
std::string DescribeStep(const std::string& alias, const TqdRebuildStep& step);

// "Sales/Customers: rebuilding ByName, index 2 of 5", "Sales/Customers: packing".
std::string WorkingText(const std::string& alias, const TqdRebuildStep& step);

// How many objects a run ended, skipped and failed, and its time.
struct TqdRunCounts {
  int Done = 0;
  int Failed = 0;
  int Skipped = 0;
  double Seconds = 0;
};

// "Done: 12 objects in 0:34" with ", 1 failed" and ", 2 skipped" when so.
std::string DoneText(const TqdRunCounts& counts);
// "Failed at Sales/Customers index 2 ByName: <message>".
std::string FailedText(const std::string& object, const std::string& message);
// "Stopped after 5 objects in 0:12; left: 2 steps of Sales/Orders and 3 more tables".
// `stepsLeft` are those of the table the job was at, `tablesLeft` the
// tables after it.
std::string StoppedText(const TqdRunCounts& counts, const std::string& table, int stepsLeft, int tablesLeft);

}  // namespace qd
