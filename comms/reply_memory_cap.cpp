#include "comms/reply_memory_cap.h"

#include "comms/server_endpoint.h"

namespace qd {

void TqdReplyMemoryCap::Watch(TqdServerEndpoint& endpoint) {
  endpoint.MemoryCap = this;
  endpoints_.push_back(&endpoint);
}

size_t TqdReplyMemoryCap::Total() const {
  size_t total = 0;
  for (const TqdServerEndpoint* endpoint : endpoints_) total += endpoint->HeldBytesTotal();
  return total;
}

void TqdReplyMemoryCap::Enforce() {
  while (Total() > limit_) {
    TqdServerEndpoint* owner = nullptr;
    TqdConnectionHandle largest = 0;
    size_t most = 0;
    for (TqdServerEndpoint* endpoint : endpoints_) {
      size_t bytes = 0;
      TqdConnectionHandle holder = endpoint->LargestHolder(bytes);
      if (holder != 0 && bytes > most) {
        owner = endpoint;
        largest = holder;
        most = bytes;
      }
    }
    if (owner == nullptr) return;  // what is held belongs to no connection
    owner->Transport().HangUp(largest);
  }
}

}  // namespace qd
