// The window timers of the message queue: one periodic timerfd per timer,
// watched by the queue's epoll descriptor; its expiry becomes WM_TIMER.
// Thread rules: owner thread of the queue only.
#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/message_queue_source.h"

namespace qd {

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

}  // namespace qd
