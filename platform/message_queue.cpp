// The message queue's core: its windows, posted and sent messages, the
// gathering of kernel events and the waiting and dispatching. Timers and
// the asynchronous select of sockets have files of their own.
// Thread rules: see message_queue.h.
#include "platform/message_queue.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "platform/message_queue_source.h"
#include "platform/notify_window.h"
#include "platform/window_messages.h"

namespace qd {
namespace {

// The id of the eventfd in epoll's data; sources count from 1.
constexpr uint64_t kWakeId = 0;

thread_local std::unique_ptr<TqdMessageQueue> t_queue;

}  // namespace

TqdMessageQueue& TqdMessageQueue::ForThisThread() {
  if (!t_queue) t_queue.reset(new TqdMessageQueue());
  return *t_queue;
}

TqdMessageQueue::TqdMessageQueue() : owner_(std::this_thread::get_id()) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) {
    int err = errno;
    close(epoll_);
    throw std::system_error(err, std::generic_category(), "eventfd");
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kWakeId;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev);
}

TqdMessageQueue::~TqdMessageQueue() {
  for (auto& [id, source] : sources_)
    if (source->kind == Source::kTimer) close(source->fd);
  close(wake_);
  close(epoll_);
}

void TqdMessageQueue::AddWindow(TqdNotifyWindow* window) {
  std::lock_guard guard(mutex_);
  windows_.insert(window);
}

void TqdMessageQueue::RemoveWindow(TqdNotifyWindow* window) {
  std::vector<uint64_t> owned;
  for (auto& [id, source] : sources_)
    if (source->window == window) owned.push_back(id);
  for (uint64_t id : owned) RemoveSource(id);
  std::lock_guard guard(mutex_);
  windows_.erase(window);
  std::erase_if(pending_, [window](const Pending& p) { return p.Window == window; });
  // Senders waiting on this window are released with result 0.
  for (Sent* s : sent_)
    if (s->Window == window) s->Done = true;
  std::erase_if(sent_, [window](const Sent* s) { return s->Window == window; });
  sentDone_.notify_all();
}

void TqdMessageQueue::Wake() {
  uint64_t one = 1;
  ssize_t r = write(wake_, &one, sizeof one);
  (void)r;  // a full counter still wakes the owner
}

void TqdMessageQueue::Post(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam,
                           intptr_t lParam) {
  {
    std::lock_guard guard(mutex_);
    if (!windows_.contains(window)) return;
    pending_.push_back({window, msg, wParam, lParam, 0});
  }
  if (std::this_thread::get_id() != owner_) Wake();
}

intptr_t TqdMessageQueue::Send(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam,
                               intptr_t lParam) {
  if (std::this_thread::get_id() == owner_) return window->Call(msg, wParam, lParam);
  Sent sent{window, msg, wParam, lParam};
  std::unique_lock lock(mutex_);
  if (!windows_.contains(window)) return 0;
  sent_.push_back(&sent);
  lock.unlock();
  Wake();
  lock.lock();
  sentDone_.wait(lock, [&] { return sent.Done; });
  return sent.Result;
}

void TqdMessageQueue::ProcessSent() {
  for (;;) {
    Sent* sent;
    {
      std::lock_guard guard(mutex_);
      if (sent_.empty()) return;
      sent = sent_.front();
      sent_.pop_front();
    }
    intptr_t result = 0;
    struct Release {
      TqdMessageQueue* queue;
      Sent* sent;
      intptr_t* result;
      ~Release() {
        std::lock_guard guard(queue->mutex_);
        sent->Result = *result;
        sent->Done = true;
        queue->sentDone_.notify_all();
      }
    } release{this, sent, &result};
    result = sent->Window->Call(sent->Msg, sent->WParam, sent->LParam);
  }
}

void TqdMessageQueue::Queue(TqdNotifyWindow* window, uint32_t msg, uintptr_t wParam,
                            intptr_t lParam, Source* source) {
  std::lock_guard guard(mutex_);
  pending_.push_back({window, msg, wParam, lParam, source ? source->id : 0});
  if (source) ++source->queued;
}

void TqdMessageQueue::RemoveSource(uint64_t id) {
  auto it = sources_.find(id);
  if (it == sources_.end()) return;
  Source& source = *it->second;
  if (source.registered || source.kind == Source::kTimer)
    epoll_ctl(epoll_, EPOLL_CTL_DEL, source.fd, nullptr);
  if (source.kind == Source::kTimer) close(source.fd);
  if (source.kind == Source::kSocket) sockets_.erase(source.fd);
  {
    std::lock_guard guard(mutex_);
    std::erase_if(pending_, [id](const Pending& p) { return p.SourceId == id; });
  }
  sources_.erase(it);
}

void TqdMessageQueue::Gather(int timeoutMs) {
  epoll_event events[32];
  int n = epoll_wait(epoll_, events, 32, timeoutMs);
  for (int i = 0; i < n; ++i) {
    uint64_t id = events[i].data.u64;
    if (id == kWakeId) {
      uint64_t count;
      ssize_t r = read(wake_, &count, sizeof count);
      (void)r;
      continue;
    }
    auto it = sources_.find(id);
    if (it == sources_.end()) continue;
    Source& source = *it->second;
    if (source.kind == Source::kTimer) {
      uint64_t expirations;
      ssize_t r = read(source.fd, &expirations, sizeof expirations);
      (void)r;
      if (source.queued == 0) Queue(source.window, WM_TIMER, source.timerId, 0, &source);
    } else {
      SocketReady(source, events[i].events);
    }
  }
}

bool TqdMessageQueue::HasPendingFor(TqdNotifyWindow* window) {
  std::lock_guard guard(mutex_);
  if (window == nullptr) return !pending_.empty();
  return std::any_of(pending_.begin(), pending_.end(),
                     [window](const Pending& p) { return p.Window == window; });
}

bool TqdMessageQueue::WaitFor(TqdNotifyWindow* window, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    ProcessSent();
    if (HasPendingFor(window)) return true;
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    // Returns at once when the kernel has something ready.
    Gather(wait);
    if (HasPendingFor(window)) return true;
    if (wait == 0) {
      ProcessSent();
      return HasPendingFor(window);
    }
  }
}

void TqdMessageQueue::AfterDispatch(uint64_t sourceId) {
  if (sourceId == 0) return;
  auto it = sources_.find(sourceId);
  if (it == sources_.end()) return;  // the handler removed its own source
  Source& source = *it->second;
  if (--source.queued == 0 && source.kind == Source::kSocket) Arm(source);
}

bool TqdMessageQueue::DispatchOne(TqdNotifyWindow* window) {
  ProcessSent();
  // The kernel is asked only when nothing is waiting already.
  if (!HasPendingFor(window)) Gather(0);
  Pending message;
  {
    std::lock_guard guard(mutex_);
    auto it = window == nullptr ? pending_.begin()
                                : std::find_if(pending_.begin(), pending_.end(),
                                               [window](const Pending& p) { return p.Window == window; });
    if (it == pending_.end()) return false;
    message = *it;
    pending_.erase(it);
  }
  // The source is re-armed even when the procedure raises.
  struct Done {
    TqdMessageQueue* queue;
    uint64_t id;
    ~Done() { queue->AfterDispatch(id); }
  } done{this, message.SourceId};
  message.Window->Call(message.Msg, message.WParam, message.LParam);
  return true;
}

int TqdMessageQueue::DispatchPending() {
  size_t limit;
  ProcessSent();
  if (!HasPendingFor(nullptr)) Gather(0);
  {
    std::lock_guard guard(mutex_);
    limit = pending_.size();
  }
  int count = 0;
  while (static_cast<size_t>(count) < limit && DispatchOne(nullptr)) ++count;
  return count;
}

}  // namespace qd
