// The per-thread message queue behind the notify windows: posted messages,
// messages sent from other threads, window timers (WM_TIMER) and socket
// readiness delivered like an asynchronous select (message 5105). Built on
// one epoll descriptor, an eventfd that wakes the owner for posted and sent
// messages, and one timerfd per window timer.
// Thread rules: a queue belongs to the thread that first asked for it; only
// Post and Send (through TqdNotifyWindow) may be called from other threads.
// A foreign main loop may watch PollDescriptor() and call DispatchPending().
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace qd {

class TqdNotifyWindow;

class TqdMessageQueue {
 public:
  // The calling thread's queue, created on first use and destroyed when the
  // thread ends (its windows must be destroyed before that).
  static TqdMessageQueue& ForThisThread();

  ~TqdMessageQueue();
  TqdMessageQueue(const TqdMessageQueue&) = delete;
  TqdMessageQueue& operator=(const TqdMessageQueue&) = delete;

  // Readable whenever the queue may have something to dispatch.
  int PollDescriptor() const { return epoll_; }

  // Blocks in the kernel until a message for `window` (nullptr: any window)
  // is pending or `timeoutMs` has passed (-1: no limit). Messages sent from
  // other threads are handled while waiting. True when one is pending.
  bool WaitFor(TqdNotifyWindow* window, int timeoutMs);
  // Removes and dispatches at most one pending message of `window` (nullptr:
  // any window) without waiting; true when one was dispatched.
  bool DispatchOne(TqdNotifyWindow* window);
  // Dispatches what is pending now; returns the count.
  int DispatchPending();

 private:
  friend class TqdNotifyWindow;
  struct Source;
  struct Pending {
    TqdNotifyWindow* Window;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
    uint64_t SourceId;  // 0 for posted messages
  };
  struct Sent {
    TqdNotifyWindow* Window;
    uint32_t Msg;
    uintptr_t WParam;
    intptr_t LParam;
    intptr_t Result = 0;
    bool Done = false;
  };

  TqdMessageQueue();

  void AddWindow(TqdNotifyWindow* window);
  void RemoveWindow(TqdNotifyWindow* window);
  void Post(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  intptr_t Send(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  int SetTimer(TqdNotifyWindow* window, uint32_t id, uint32_t ms);
  void KillTimer(TqdNotifyWindow* window, uint32_t id);
  int AsyncSelect(TqdNotifyWindow* window, int fd, uint16_t events);
  void CancelSelect(int fd);
  void ReenableWrite(int fd);

  void Wake();
  void ProcessSent();
  // Turns kernel events into pending messages, waiting up to `timeoutMs`.
  void Gather(int timeoutMs);
  void SocketReady(Source& source, uint32_t events);
  int Arm(Source& source);
  int Watch(Source& source, uint32_t events);
  void RemoveSource(uint64_t id);
  void Queue(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam, intptr_t lParam, Source* source);
  bool HasPendingFor(TqdNotifyWindow* window);
  void AfterDispatch(uint64_t sourceId);

  int epoll_ = -1;
  int wake_ = -1;
  std::thread::id owner_;
  uint64_t nextSourceId_ = 1;
  std::unordered_map<uint64_t, std::unique_ptr<Source>> sources_;  // owner thread only
  std::unordered_map<int, uint64_t> sockets_;                       // fd -> source

  std::mutex mutex_;  // guards what other threads touch:
  std::deque<Pending> pending_;
  std::deque<Sent*> sent_;
  std::unordered_set<TqdNotifyWindow*> windows_;
  std::condition_variable sentDone_;
};

}  // namespace qd
