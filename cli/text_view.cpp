#include "cli/text_view.h"

#include <poll.h>

#include "platform/message_queue.h"

namespace qd {

void TqdTextView::SetItems(TqdRebuildList list, const std::vector<std::string>& items) {
  items_[Slot(list)] = items;
  selected_[Slot(list)] = -1;
}

void TqdTextView::ShowBar(TqdRebuildBar bar, const TqdBarState& state) {
  bars_[static_cast<size_t>(bar)] = state;
  // The step that moves last is the one running: a pack or a rebuild.
  if (bar == TqdRebuildBar::ProgressBarPacked) packing_ = true;
  if (bar == TqdRebuildBar::ProgressGaugeIndex || bar == TqdRebuildBar::ProgressGaugeTable) packing_ = false;
  if (shape_) display_.ShowBars(bars_, Fraction());
}

// Keep-alives and the transport's notifications are answered here; there
// is no user input to hold back.
void TqdTextView::ProcessPendingEvents() { TqdMessageQueue::ForThisThread().DispatchPending(); }
void TqdTextView::ProcessEventsBetweenPolls() { TqdMessageQueue::ForThisThread().DispatchPending(); }

// The queue's descriptor wakes the wait for whatever the transport posts;
// a signal (Ctrl-C) ends it early.
void TqdTextView::WaitBeforeNextPoll(std::chrono::milliseconds wait) {
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  const auto until = std::chrono::steady_clock::now() + wait;
  for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
    pollfd ready{queue.PollDescriptor(), POLLIN, 0};
    int left = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
    if (::poll(&ready, 1, left) < 0) return;
    queue.DispatchPending();
  }
}

std::optional<std::string> TqdTextView::TakeError() {
  std::optional<std::string> error;
  error.swap(error_);
  return error;
}

double TqdTextView::Fraction() const {
  if (!shape_) return 0;
  return RunFraction(*shape_, bars_, selected_[Slot(TqdRebuildList::ComboBoxTable)], packing_);
}

}  // namespace qd
