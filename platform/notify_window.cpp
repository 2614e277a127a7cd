#include "platform/notify_window.h"

namespace qd {

TqdNotifyWindow::TqdNotifyWindow(Procedure procedure)
    : queue_(&TqdMessageQueue::ForThisThread()), procedure_(std::move(procedure)) {
  queue_->AddWindow(this);
}

TqdNotifyWindow::~TqdNotifyWindow() { queue_->RemoveWindow(this); }

void TqdNotifyWindow::Post(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  queue_->Post(this, msg, wParam, lParam);
}

intptr_t TqdNotifyWindow::Send(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return queue_->Send(this, msg, wParam, lParam);
}

int TqdNotifyWindow::SetTimer(uint32_t id, uint32_t ms) { return queue_->SetTimer(this, id, ms); }
void TqdNotifyWindow::KillTimer(uint32_t id) { queue_->KillTimer(this, id); }
int TqdNotifyWindow::AsyncSelect(int fd, uint16_t events) {
  return queue_->AsyncSelect(this, fd, events);
}
void TqdNotifyWindow::CancelSelect(int fd) { queue_->CancelSelect(fd); }
void TqdNotifyWindow::ReenableWrite(int fd) { queue_->ReenableWrite(fd); }

}  // namespace qd
