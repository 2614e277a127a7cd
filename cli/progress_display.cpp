#include "cli/progress_display.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace qd {
namespace {

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::array<std::string_view, kRebuildBarCount> kLabels = {"Index done", "Table packed", "Table done",
                                                                    "Alias done"};
constexpr int kBlockLines = static_cast<int>(kRebuildBarCount) + 1;

int Percent(const TqdBarState& state) {
  if (state.Max <= state.Min) return 0;
  return static_cast<int>(100LL * (state.Position - state.Min) / (state.Max - state.Min));
}

}  // namespace

std::string BarLine(std::string_view label, const TqdBarState& state) {
  int percent = Percent(state);
  int filled = percent * kBarWidth / 100;
  char text[96];
  std::snprintf(text, sizeof text, "%-13.*s [%s%s] %3d%%", static_cast<int>(label.size()), label.data(),
                std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percent);
  return text;
}

std::string TimeLine(double elapsedSeconds, std::optional<double> secondsLeft) {
  return "Elapsed " + FormatDuration(elapsedSeconds) + "  left " +
         (secondsLeft ? FormatDuration(*secondsLeft) : std::string("?"));
}

TqdProgressDisplay::TqdProgressDisplay(std::ostream& out, TqdProgressMode mode, Clock clock)
    : out_(out), mode_(mode), clock_(std::move(clock)), start_(clock_()) {}

double TqdProgressDisplay::ElapsedSeconds() const {
  return std::chrono::duration<double>(clock_() - start_).count();
}

void TqdProgressDisplay::ShowBars(const TqdBars& bars, double fraction, bool force) {
  bars_ = bars;
  fraction_ = fraction;
  if (mode_ != TqdProgressMode::Terminal) return;
  auto now = clock_();
  if (!force && drawnAt_ && now - *drawnAt_ < kRedrawInterval) return;
  drawnAt_ = now;
  Erase();
  Draw();
}

void TqdProgressDisplay::ObjectLine(const std::string& line) {
  if (mode_ == TqdProgressMode::Quiet) return;
  Erase();
  out_ << line << '\n';
  if (mode_ == TqdProgressMode::Terminal && drawnAt_) Draw();
  out_.flush();
}

void TqdProgressDisplay::Finish() {
  if (mode_ != TqdProgressMode::Terminal || !drawnAt_) return;
  Erase();
  Draw();
  linesOnScreen_ = 0;  // left standing
}

// Each line ends in "erase to the end of the line", so a shorter line
// leaves nothing of the longer one before it.
void TqdProgressDisplay::Draw() {
  for (size_t bar = 0; bar < kRebuildBarCount; ++bar) out_ << BarLine(kLabels[bar], bars_[bar]) << "\x1b[K\n";
  double elapsed = ElapsedSeconds();
  out_ << TimeLine(elapsed, EstimateSecondsLeft(elapsed, fraction_)) << "\x1b[K\n";
  out_.flush();
  linesOnScreen_ = kBlockLines;
}

// Moves back to the first line of the block drawn last.
void TqdProgressDisplay::Erase() {
  if (linesOnScreen_ == 0) return;
  out_ << "\x1b[" << linesOnScreen_ << "F\x1b[J";
  linesOnScreen_ = 0;
}

}  // namespace qd
