// Drives this thread's message queue (notify windows, their timers and
// socket readiness) from Qt's event loop: one QSocketNotifier on the
// queue's poll descriptor, which becomes readable for posted messages,
// socket events and due timers alike. So keep-alives are answered while the
// window idles between jobs.
// Thread rules: create on the user-interface thread, which owns the queue.
#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace qd {

class TqdQtQueueDriver : public QObject {
 public:
  explicit TqdQtQueueDriver(QObject* parent = nullptr);

  // Dispatches what the queue holds now; the count.
  int DispatchNow();

 private:
  QSocketNotifier notifier_;
};

}  // namespace qd
