#include "cli/plan.h"

#include <sstream>

namespace qd {
namespace {

const char* JobName(TqdRunScope scope) {
  switch (scope) {
    case TqdRunScope::Index: return "Rebuild selected index";
    case TqdRunScope::Table: return "Rebuild table";
    case TqdRunScope::Alias: break;
  }
  return "Rebuild alias";
}

}  // namespace

std::string PlanText(const TqdPlan& plan) {
  std::ostringstream text;
  text << JobName(plan.Scope) << " on alias " << plan.Alias << (plan.Pack ? ", each table packed first" : "")
       << ":\n";
  size_t indexes = 0;
  int64_t records = 0;
  for (const TqdPlanTable& table : plan.Tables) {
    text << "  " << table.Name << " (" << table.Records << " records):";
    if (plan.Pack) text << " pack,";
    if (table.Indexes.empty()) text << " no index";
    for (size_t i = 0; i < table.Indexes.size(); ++i)
      text << (i == 0 ? " " : ", ") << table.Indexes[i].Number << " " << table.Indexes[i].Name;
    text << "\n";
    indexes += table.Indexes.size();
    records += table.Records;
  }
  text << plan.Tables.size() << (plan.Tables.size() == 1 ? " table, " : " tables, ") << indexes
       << (indexes == 1 ? " index, " : " indexes, ") << records << " records";
  if (plan.Pack) text << ", " << plan.Tables.size() << (plan.Tables.size() == 1 ? " pack" : " packs");
  text << "\n";
  return text.str();
}

}  // namespace qd
