// How far a run has come and how long it has left: the share of the run's
// work done, from the four bars and the table sizes of the table list (a
// table's work counts in proportion to its records), and the time left at
// the speed measured so far in this run.
// Thread rules: none; plain functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "jobs/progress_bar.h"
#include "jobs/rebuild_view.h"

namespace qd {

enum class TqdRunScope { Index, Table, Alias };

using TqdBars = std::array<TqdBarState, kRebuildBarCount>;

struct TqdRunShape {
  TqdRunScope Scope = TqdRunScope::Alias;
  // Records of each table in the table list's order (the alias job's
  // order); a table scope uses its one entry.
  std::vector<int64_t> TableRecords;
};

// From 0 to 1. `table` is the table the job is at (the table list's
// choice); `packing` tells whether the current step is a pack.
double RunFraction(const TqdRunShape& shape, const TqdBars& bars, int table, bool packing);

// Nothing until enough is done to measure a speed.
std::optional<double> EstimateSecondsLeft(double elapsedSeconds, double fraction);

// "0:07", "12:34", "1:02:03".
std::string FormatDuration(double seconds);

}  // namespace qd
