#include "platform/message_queue.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "platform/notify_window.h"
#include "platform/socket_errors.h"
#include "platform/window_messages.h"

namespace qd {

struct TqdMessageQueue::Source {
  enum Kind { kTimer, kSocket } kind;
  uint64_t id = 0;
  int fd = -1;
  TqdNotifyWindow* window = nullptr;
  uint32_t timerId = 0;
  uint16_t selected = 0;        // FD_ events asked for
  bool connectPending = false;  // FD_CONNECT not yet delivered
  bool writeWanted = false;     // FD_WRITE may be delivered
  bool closeDelivered = false;
  bool registered = false;  // known to epoll
  int queued = 0;           // messages of this source waiting or running
};

namespace {

// The id of the eventfd in epoll's data; sources count from 1.
constexpr uint64_t kWakeId = 0;

thread_local std::unique_ptr<TqdMessageQueue> t_queue;

int SocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

uint16_t ErrorWord(int err) { return static_cast<uint16_t>(WinsockErrorFromErrno(err)); }

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

int TqdMessageQueue::SetTimer(TqdNotifyWindow* window, uint32_t id, uint32_t ms) {
  KillTimer(window, id);
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) return errno;
  if (ms == 0) ms = 1;
  itimerspec spec{};
  spec.it_interval.tv_sec = ms / 1000;
  spec.it_interval.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  spec.it_value = spec.it_interval;
  auto source = std::make_unique<Source>();
  source->kind = Source::kTimer;
  source->id = nextSourceId_++;
  source->fd = fd;
  source->window = window;
  source->timerId = id;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = source->id;
  if (timerfd_settime(fd, 0, &spec, nullptr) != 0 || epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    int err = errno;
    close(fd);
    return err;
  }
  sources_[source->id] = std::move(source);
  return 0;
}

void TqdMessageQueue::KillTimer(TqdNotifyWindow* window, uint32_t id) {
  for (auto& [sourceId, source] : sources_)
    if (source->kind == Source::kTimer && source->window == window && source->timerId == id) {
      RemoveSource(sourceId);
      return;
    }
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

int TqdMessageQueue::AsyncSelect(TqdNotifyWindow* window, int fd, uint16_t events) {
  auto found = sockets_.find(fd);
  if (found != sockets_.end()) RemoveSource(found->second);
  if (events == 0) return 0;
  auto source = std::make_unique<Source>();
  source->kind = Source::kSocket;
  source->id = nextSourceId_++;
  source->fd = fd;
  source->window = window;
  source->selected = events;
  source->connectPending = (events & FD_CONNECT) != 0;
  source->writeWanted = (events & FD_WRITE) != 0;
  Source& s = *source;
  sources_[s.id] = std::move(source);
  sockets_[fd] = s.id;
  int err = Arm(s);
  if (err != 0) RemoveSource(s.id);
  return err;
}

void TqdMessageQueue::CancelSelect(int fd) {
  auto found = sockets_.find(fd);
  if (found != sockets_.end()) RemoveSource(found->second);
}

void TqdMessageQueue::ReenableWrite(int fd) {
  auto found = sockets_.find(fd);
  if (found == sockets_.end()) return;
  Source& source = *sources_[found->second];
  source.writeWanted = true;
  if (source.queued == 0) Arm(source);
}

int TqdMessageQueue::Arm(Source& source) {
  uint32_t mask = EPOLLONESHOT;
  if (source.selected & (FD_READ | FD_ACCEPT)) mask |= EPOLLIN;
  if (source.selected & FD_CLOSE) mask |= EPOLLRDHUP;
  if (source.connectPending || (source.writeWanted && (source.selected & FD_WRITE))) mask |= EPOLLOUT;
  if (source.closeDelivered) {
    // A closed socket stays ready for ever; it is not watched again.
    if (source.registered) epoll_ctl(epoll_, EPOLL_CTL_DEL, source.fd, nullptr);
    source.registered = false;
    return 0;
  }
  epoll_event ev{};
  ev.events = mask;
  ev.data.u64 = source.id;
  int op = source.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
  if (epoll_ctl(epoll_, op, source.fd, &ev) != 0) return errno;
  source.registered = true;
  return 0;
}

void TqdMessageQueue::SocketReady(Source& s, uint32_t events) {
  TqdNotifyWindow* w = s.window;
  auto queue = [&](uint16_t event, int err) {
    Queue(w, kSocketEventMessage, static_cast<uintptr_t>(s.fd), MakeSelectEventWord(event, ErrorWord(err)),
          &s);
  };
  if (s.connectPending && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
    s.connectPending = false;
    int err = SocketError(s.fd);
    if (err == 0 && (events & EPOLLHUP)) err = ECONNREFUSED;
    if (s.selected & FD_CONNECT) queue(FD_CONNECT, err);
  } else {
    if (events & EPOLLIN) {
      if (s.selected & FD_ACCEPT)
        queue(FD_ACCEPT, 0);
      else if (s.selected & FD_READ)
        queue(FD_READ, 0);
    }
    if ((events & EPOLLOUT) && s.writeWanted && (s.selected & FD_WRITE)) {
      s.writeWanted = false;
      queue(FD_WRITE, 0);
    }
    if ((events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) && (s.selected & FD_CLOSE) && !s.closeDelivered) {
      s.closeDelivered = true;
      queue(FD_CLOSE, (events & EPOLLERR) ? SocketError(s.fd) : 0);
    }
  }
  if (s.queued == 0) Arm(s);
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
