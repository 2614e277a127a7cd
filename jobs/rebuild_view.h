// What the rebuild workflow needs of a window: three lists, three buttons
// and the pack check box, four progress bars, the window's enabled state and
// busy cursor, event processing and an error message. The Qt window and the
// command line each implement it; tests record it. Controls carry the
// window's object names.
// Thread rules: called only on the user-interface thread, from inside the
// workflow's operations.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/progress_bar.h"

namespace qd {

enum class TqdRebuildList { ComboBoxAlias, ComboBoxTable, ComboBoxIndex };

enum class TqdRebuildControl {
  ComboBoxAlias,
  ComboBoxTable,
  ComboBoxIndex,
  BitBtnReIndexIt,
  BitBtnReIndexTable,
  BitBtnReIndexAlias,
  CheckBoxPack,
};
inline constexpr size_t kRebuildControlCount = 7;

enum class TqdRebuildBar { ProgressGaugeIndex, ProgressBarPacked, ProgressGaugeTable, ProgressGaugeAlias };
inline constexpr size_t kRebuildBarCount = 4;

constexpr TqdRebuildControl ListControl(TqdRebuildList list) {
  return static_cast<TqdRebuildControl>(static_cast<int>(list));
}

std::string_view ControlName(TqdRebuildControl control);
std::string_view ListName(TqdRebuildList list);
std::string_view BarName(TqdRebuildBar bar);

class TqdRebuildView {
 public:
  virtual ~TqdRebuildView() = default;

  // Replaces the list's items; afterwards nothing is selected.
  virtual void SetItems(TqdRebuildList list, const std::vector<std::string>& items) = 0;
  // The selected item, -1 for none.
  virtual int ItemIndex(TqdRebuildList list) const = 0;
  virtual void SetItemIndex(TqdRebuildList list, int index) = 0;

  virtual void SetEnabled(TqdRebuildControl control, bool enabled) = 0;
  // Whether CheckBoxPack is checked; only the user changes it.
  virtual bool PackChecked() const = 0;

  // The whole state of the bar after each change.
  virtual void ShowBar(TqdRebuildBar bar, const TqdBarState& state) = 0;

  // False while a job runs: every input of the window is disabled, while
  // the bars, the job's status and its Stop stay usable.
  virtual void SetWindowEnabled(bool enabled) = 0;
  virtual void SetBusyCursor(bool busy) = 0;

  // Every pending event, input included: once at the start of each job.
  virtual void ProcessPendingEvents() = 0;
  // Pending events between two polls of a task (repaints, timers, the
  // transport's notifications, and what input the disabled window still
  // takes: Stop, closing).
  virtual void ProcessEventsBetweenPolls() = 0;
  // The same for this long, before a poll that would come too soon after
  // the last one.
  virtual void WaitBeforeNextPoll(std::chrono::milliseconds wait) = 0;

  // The message of a failure that ended an operation.
  virtual void ShowError(const std::string& message) = 0;
};

}  // namespace qd
