#include "tests/jobs/recording_view.h"

namespace qd::test {

std::string BarText(const TqdBarState& state) {
  return std::to_string(state.Position) + "/" + std::to_string(state.Max);
}

void TqdRecordingView::SetItems(TqdRebuildList list, const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  log_.push_back("items " + std::string(ListName(list)) + " [" + text + "]");
  items_[Slot(list)] = items;
  selected_[Slot(list)] = -1;
}

void TqdRecordingView::SetItemIndex(TqdRebuildList list, int index) {
  log_.push_back("select " + std::string(ListName(list)) + " " + std::to_string(index));
  selected_[Slot(list)] = index;
}

void TqdRecordingView::SetEnabled(TqdRebuildControl control, bool enabled) {
  log_.push_back("enable " + std::string(ControlName(control)) + " " + (enabled ? "1" : "0"));
  enabled_[static_cast<size_t>(control)] = enabled;
}

void TqdRecordingView::ShowBar(TqdRebuildBar bar, const TqdBarState& state) {
  log_.push_back("bar " + std::string(BarName(bar)) + " " + BarText(state));
  bars_[static_cast<size_t>(bar)].push_back(state);
}

void TqdRecordingView::SetWindowEnabled(bool enabled) {
  log_.push_back(std::string("window ") + (enabled ? "1" : "0"));
  WindowEnabled = enabled;
}

void TqdRecordingView::SetBusyCursor(bool busy) {
  log_.push_back(std::string("busy ") + (busy ? "1" : "0"));
  Busy = busy;
}

void TqdRecordingView::ProcessPendingEvents() {
  log_.push_back("pump");
  if (OnPendingEvents) OnPendingEvents();
}

void TqdRecordingView::ProcessEventsBetweenPolls() {
  log_.push_back("pump non-input");
  if (OnBetweenPolls) OnBetweenPolls();
}

void TqdRecordingView::WaitBeforeNextPoll(std::chrono::milliseconds wait) {
  log_.push_back("wait " + std::to_string(wait.count()) + " ms");
  if (OnWait) OnWait(wait);
}

void TqdRecordingView::ShowError(const std::string& message) {
  log_.push_back("error " + message);
  Errors.push_back(message);
}

void TqdRecordingView::ForgetBarHistory() {
  for (std::vector<TqdBarState>& history : bars_) history.erase(history.begin(), history.end() - 1);
}

}  // namespace qd::test
