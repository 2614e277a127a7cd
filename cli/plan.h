// The text of --plan: what the run would do, table by table, with each
// table's records and the indexes it would rebuild, and a closing count.
// Thread rules: none; plain functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/run_estimate.h"
#include "components/index_entry.h"

namespace qd {

struct TqdPlanTable {
  std::string Name;
  int64_t Records = 0;
  std::vector<TqdIndexEntry> Indexes;  // those the run rebuilds
};

struct TqdPlan {
  TqdRunScope Scope = TqdRunScope::Alias;
  std::string Alias;
  bool Pack = false;
  std::vector<TqdPlanTable> Tables;
};

std::string PlanText(const TqdPlan& plan);

}  // namespace qd
