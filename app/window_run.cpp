#include "app/window_run.h"

#include <algorithm>
#include <iostream>

#include "app/run_strip.h"
#include "jobs/run_status.h"

namespace qd {
namespace {

// The report's outcome and exit code, as qd-reindex ends a run.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitStopped = 130;

const TqdBarState& BarOf(const TqdBars& bars, TqdRebuildBar bar) { return bars[static_cast<size_t>(bar)]; }

}  // namespace

TqdWindowRun::TqdWindowRun(TqdRunStrip& strip, TqdObserverSettings settings, TqdRunReport report, TqdRunShape shape,
                           TqdStopRequests requests)
    : strip_(strip),
      alias_(settings.Alias),
      shape_(std::move(shape)),
      // No path: the report stays in memory until it is saved.
      record_(std::move(report), "", std::cerr),
      observer_(std::move(settings), record_, *this, std::move(requests)) {
  strip_.ClearFinished();
  strip_.SetStatus("Starting");
  Tick();
}

void TqdWindowRun::BarsChanged(const TqdBars& bars, int table) {
  bars_ = bars;
  table_ = table;
  Tick();
}

void TqdWindowRun::Tick() {
  if (!ended_) strip_.SetTime(TimeText());
}

std::string TqdWindowRun::TimeText() const {
  double elapsed = observer_.ElapsedSeconds();
  std::optional<double> left = EstimateSecondsLeft(elapsed, RunFraction(shape_, bars_, table_, packing_));
  return "Elapsed " + FormatDuration(elapsed) + ", left " + (left ? FormatDuration(*left) : std::string("?"));
}

void TqdWindowRun::StepBegins(const TqdRebuildStep& step) {
  packing_ = step.Pack;
  strip_.SetStatus(WorkingText(alias_, step));
}

void TqdWindowRun::ObjectEnded(const TqdReportEntry& entry) { strip_.AddFinished(entry); }

void TqdWindowRun::Finish(const std::optional<std::string>& failure, const std::string& table) {
  ended_ = true;
  const double seconds = observer_.ElapsedSeconds();
  TqdRunCounts counts{observer_.Done(), observer_.Failures(), observer_.Skipped(), seconds};
  strip_.SetTime("Elapsed " + FormatDuration(seconds));
  if (failure) {
    strip_.SetStatus(*failure);
    record_.Finish("failed", kExitFailed, *failure);
    return;
  }
  if (observer_.Stopped() != TqdStopReason::None) {
    const TqdBarState& tableBar = BarOf(bars_, TqdRebuildBar::ProgressGaugeTable);
    const TqdBarState& aliasBar = BarOf(bars_, TqdRebuildBar::ProgressGaugeAlias);
    int stepsLeft = shape_.Scope == TqdRunScope::Index ? 0 : std::max(0, tableBar.Max - tableBar.Position);
    int tablesLeft = 0;
    if (shape_.Scope == TqdRunScope::Alias)
      tablesLeft = std::max(0, aliasBar.Max - aliasBar.Position - (stepsLeft > 0 ? 1 : 0));
    std::string text = StoppedText(counts, table, stepsLeft, tablesLeft);
    strip_.SetStatus(text);
    record_.Finish("stopped", kExitStopped, text);
    return;
  }
  std::string text = DoneText(counts);
  strip_.SetStatus(text);
  record_.Finish(counts.Failed > 0 ? "failed" : "done", counts.Failed > 0 ? kExitFailed : kExitDone, text);
}

}  // namespace qd
