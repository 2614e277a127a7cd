// A view that records every change the workflow makes, in order, into a log
// it may share with the scripted backend, and keeps the state it was left
// in. The test plays the user: it sets selections and the pack box.
// Thread rules: the test's thread only.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "jobs/rebuild_view.h"

namespace qd::test {

using EventLog = std::vector<std::string>;

// "12/100": position and maximum, as the bar logs read.
std::string BarText(const TqdBarState& state);

class TqdRecordingView : public TqdRebuildView {
 public:
  explicit TqdRecordingView(EventLog& log) : log_(log) {}

  void SetItems(TqdRebuildList list, const std::vector<std::string>& items) override;
  int ItemIndex(TqdRebuildList list) const override { return selected_[Slot(list)]; }
  void SetItemIndex(TqdRebuildList list, int index) override;
  void SetEnabled(TqdRebuildControl control, bool enabled) override;
  bool PackChecked() const override { return Checked; }
  void ShowBar(TqdRebuildBar bar, const TqdBarState& state) override;
  void SetWindowEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  void ProcessPendingEvents() override;
  void ProcessEventsBetweenPolls() override;
  // Logged as "wait N ms"; OnWait is told the time.
  void WaitBeforeNextPoll(std::chrono::milliseconds wait) override;
  void ShowError(const std::string& message) override;

  const std::vector<std::string>& Items(TqdRebuildList list) const { return items_[Slot(list)]; }
  bool Enabled(TqdRebuildControl control) const { return enabled_[static_cast<size_t>(control)]; }
  const TqdBarState& Bar(TqdRebuildBar bar) const { return bars_[static_cast<size_t>(bar)].back(); }
  // Every state the bar was shown in, its creation state first.
  const std::vector<TqdBarState>& BarHistory(TqdRebuildBar bar) const { return bars_[static_cast<size_t>(bar)]; }
  void ForgetBarHistory();

  bool Checked = false;
  bool WindowEnabled = true;
  bool Busy = false;
  std::vector<std::string> Errors;
  // Runs inside ProcessPendingEvents, as an event the window would handle.
  std::function<void()> OnPendingEvents;
  // Runs between two polls, as the events a running job lets through.
  std::function<void()> OnBetweenPolls;
  std::function<void(std::chrono::milliseconds)> OnWait;

 private:
  static size_t Slot(TqdRebuildList list) { return static_cast<size_t>(list); }

  EventLog& log_;
  std::array<std::vector<std::string>, 3> items_;
  std::array<int, 3> selected_{-1, -1, -1};
  std::array<bool, kRebuildControlCount> enabled_{};
  std::array<std::vector<TqdBarState>, kRebuildBarCount> bars_{
      std::vector<TqdBarState>{{}}, std::vector<TqdBarState>{{}}, std::vector<TqdBarState>{{}},
      std::vector<TqdBarState>{{}}};
};

}  // namespace qd::test
