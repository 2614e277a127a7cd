#include "jobs/run_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

namespace qd {
namespace {

double Share(const TqdBarState& bar) {
  if (bar.Max <= bar.Min) return 0;
  return std::clamp(static_cast<double>(bar.Position - bar.Min) / (bar.Max - bar.Min), 0.0, 1.0);
}

// A table's own share: its finished steps and the running step's share.
double TableShare(const TqdBars& bars, bool packing) {
  const TqdBarState& table = bars[static_cast<size_t>(TqdRebuildBar::ProgressGaugeTable)];
  const TqdBarState& step =
      bars[static_cast<size_t>(packing ? TqdRebuildBar::ProgressBarPacked : TqdRebuildBar::ProgressGaugeIndex)];
  if (table.Max <= 0) return 0;
  double steps = table.Position + (table.Position < table.Max ? Share(step) : 0.0);
  return std::clamp(steps / table.Max, 0.0, 1.0);
}

}  // namespace

double RunFraction(const TqdRunShape& shape, const TqdBars& bars, int table, bool packing) {
  switch (shape.Scope) {
    case TqdRunScope::Index: return Share(bars[static_cast<size_t>(TqdRebuildBar::ProgressGaugeIndex)]);
    case TqdRunScope::Table: return TableShare(bars, packing);
    case TqdRunScope::Alias: break;
  }
  // An empty table still takes a request per step: count it as one record.
  std::vector<double> weights;
  for (int64_t records : shape.TableRecords) weights.push_back(static_cast<double>(std::max<int64_t>(records, 1)));
  double total = std::accumulate(weights.begin(), weights.end(), 0.0);
  if (total <= 0 || table < 0) return 0;
  size_t current = std::min(static_cast<size_t>(table), weights.size());
  double done = std::accumulate(weights.begin(), weights.begin() + static_cast<ptrdiff_t>(current), 0.0);
  if (current < weights.size()) done += weights[current] * TableShare(bars, packing);
  return std::clamp(done / total, 0.0, 1.0);
}

std::optional<double> EstimateSecondsLeft(double elapsedSeconds, double fraction) {
  // Below 1 % or half a second the speed says nothing yet.
  if (fraction < 0.01 || elapsedSeconds < 0.5) return std::nullopt;
  if (fraction >= 1) return 0.0;
  return elapsedSeconds * (1 - fraction) / fraction;
}

std::string FormatDuration(double seconds) {
  long total = std::lround(std::max(0.0, seconds));
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace qd
