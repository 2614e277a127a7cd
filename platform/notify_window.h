// TqdNotifyWindow: the hidden window of a transport. Its procedure receives
// posted and sent messages, WM_TIMER by timer id and the socket-readiness
// message 5105 of the sockets selected on it.
// Thread rules: created, used and destroyed on one thread (the owner of its
// message queue); Post and Send may be called from any thread while the
// window exists. A message sent from another thread blocks the sender until
// the owner has handled it; two threads must not send to each other at once.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/message_queue.h"
#include "platform/window_messages.h"

namespace qd {

class TqdNotifyWindow {
 public:
  using Procedure = std::function<intptr_t(uint32_t msg, uintptr_t wParam, intptr_t lParam)>;

  // Raises std::system_error when the thread's queue cannot be made.
  explicit TqdNotifyWindow(Procedure procedure);
  ~TqdNotifyWindow();
  TqdNotifyWindow(const TqdNotifyWindow&) = delete;
  TqdNotifyWindow& operator=(const TqdNotifyWindow&) = delete;

  void Post(uint32_t msg, uintptr_t wParam, intptr_t lParam);
  // On the owning thread the procedure runs at once.
  intptr_t Send(uint32_t msg, uintptr_t wParam, intptr_t lParam);

  // A periodic WM_TIMER with first parameter `id`; setting an existing id
  // restarts it. At most one WM_TIMER per id waits at a time. Returns 0 or
  // an errno value.
  int SetTimer(uint32_t id, uint32_t ms);
  void KillTimer(uint32_t id);

  // Asynchronous select: message 5105 (socket, event word) for the FD_
  // events of `events`, one at a time per socket: the next readiness of a
  // socket is looked at only after the previous message was handled. FD_WRITE
  // comes once after selecting and again only after ReenableWrite (a send
  // that would block). FD_CLOSE comes once. Returns 0 or an errno value.
  int AsyncSelect(int fd, uint16_t events);
  // Stops watching `fd` and drops its waiting messages; call before close.
  void CancelSelect(int fd);
  void ReenableWrite(int fd);

  // Waits until a message of this window is pending (see TqdMessageQueue).
  bool WaitForMessage(int timeoutMs) { return queue_->WaitFor(this, timeoutMs); }
  // Removes and dispatches at most one pending message of this window.
  bool DispatchOne() { return queue_->DispatchOne(this); }

  TqdMessageQueue& Queue() { return *queue_; }
  intptr_t Call(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    return procedure_(msg, wParam, lParam);
  }

 private:
  TqdMessageQueue* queue_;
  Procedure procedure_;
};

}  // namespace qd
