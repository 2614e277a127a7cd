// What a run shows while it goes. On a terminal: the window's four bars as
// text lines with their percentages and the run's elapsed time and time
// left, redrawn in place at most ten times a second, with a line above them
// for each finished object. Without a terminal: only the object lines.
// Quiet: nothing.
// Thread rules: the run's thread only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "jobs/run_estimate.h"
#include "jobs/run_observer.h"

namespace qd {

enum class TqdProgressMode { Quiet, Lines, Terminal };

// "Index done    [#######.............]  35%"
std::string BarLine(std::string_view label, const TqdBarState& state);
// "Elapsed 0:12  left 0:30" ("left ?" before a speed is known).
std::string TimeLine(double elapsedSeconds, std::optional<double> secondsLeft);

class TqdProgressDisplay : public TqdRunEvents {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  TqdProgressDisplay(std::ostream& out, TqdProgressMode mode, Clock clock = std::chrono::steady_clock::now);

  // Redraws the bars unless the last drawing is younger than a tenth of a
  // second; `force` draws anyway.
  void ShowBars(const TqdBars& bars, double fraction, bool force = false);
  void ObjectLine(const std::string& line) override;
  // The last state drawn for good; the cursor ends below it.
  void Finish();

  // The run's elapsed time counts from here (the job's start, after the
  // login and the lists).
  void StartClock() { start_ = clock_(); }
  double ElapsedSeconds() const;

 private:
  void Draw();
  void Erase();

  std::ostream& out_;
  TqdProgressMode mode_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> drawnAt_;
  TqdBars bars_{};
  double fraction_ = 0;
  int linesOnScreen_ = 0;
};

}  // namespace qd
