#include "app/queue_driver.h"

#include "platform/message_queue.h"

namespace qd {

TqdQtQueueDriver::TqdQtQueueDriver(QObject* parent)
    : QObject(parent), notifier_(TqdMessageQueue::ForThisThread().PollDescriptor(), QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, [this] { DispatchNow(); });
}

int TqdQtQueueDriver::DispatchNow() { return TqdMessageQueue::ForThisThread().DispatchPending(); }

}  // namespace qd
