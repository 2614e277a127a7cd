// The asynchronous select of the message queue: socket readiness reported
// by epoll becomes message 5105 with an FD_ event and a Winsock error word.
// A socket's next message waits until its last one was handled. Rather than
// a one-shot watch re-armed after every message (a system call each), the
// watch stays level-triggered and is only taken off when the socket is
// reported again while its message still waits; most messages are handled
// before that, so the usual exchange costs no epoll_ctl at all.
// Thread rules: owner thread of the queue only.
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "platform/message_queue_source.h"
#include "platform/socket_errors.h"
#include "platform/window_messages.h"

namespace qd {
namespace {

int SocketError(int fd) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

uint16_t ErrorWord(int err) { return static_cast<uint16_t>(WinsockErrorFromErrno(err)); }

}  // namespace

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
  if (source.closeDelivered) return Watch(source, 0);  // a closed socket stays ready for ever
  uint32_t mask = 0;
  if (source.selected & (FD_READ | FD_ACCEPT)) mask |= EPOLLIN;
  if (source.selected & FD_CLOSE) mask |= EPOLLRDHUP;
  if (source.connectPending || (source.writeWanted && (source.selected & FD_WRITE))) mask |= EPOLLOUT;
  return Watch(source, mask);
}

int TqdMessageQueue::Watch(Source& source, uint32_t events) {
  if (events == 0) {
    // Off entirely: epoll reports a hang-up or an error even to a watch
    // that asks for nothing.
    if (source.registered) epoll_ctl(epoll_, EPOLL_CTL_DEL, source.fd, nullptr);
    source.registered = false;
    return 0;
  }
  if (source.registered && source.watched == events) return 0;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = source.id;
  int op = source.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
  if (epoll_ctl(epoll_, op, source.fd, &ev) != 0) return errno;
  source.registered = true;
  source.watched = events;
  return 0;
}

void TqdMessageQueue::SocketReady(Source& s, uint32_t events) {
  if (s.queued > 0) {
    // Still ready because its message was not handled yet: nothing more is
    // said until it has been, when AfterDispatch watches it again.
    Watch(s, 0);
    return;
  }
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
  // What was just said is not watched for again (a write wish is spent, a
  // close is final); what stays the same costs nothing.
  Arm(s);
}

}  // namespace qd
