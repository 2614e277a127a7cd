// What the message queue watches for a window besides its posted and sent
// messages: a window timer (a timerfd) or a socket of the asynchronous
// select. Private to the queue's own files.
// Thread rules: owner thread of the queue only.
#pragma once

#include <cstdint>

#include "platform/message_queue.h"

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
  uint32_t watched = 0;     // the epoll events asked for while registered
  int queued = 0;           // messages of this source waiting or running
};

}  // namespace qd
