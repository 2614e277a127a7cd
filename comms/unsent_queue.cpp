#include "comms/unsent_queue.h"

namespace qd {

void TqdUnsentQueue::Count(size_t added, size_t removed) {
  bytes_ = bytes_ + added - removed;
  if (total_ != nullptr) *total_ = *total_ + added - removed;
}

void TqdUnsentQueue::Push(const uint8_t* data, size_t size) {
  if (size == 0) return;
  parts_.emplace_back(data, data + size);
  Count(size, 0);
}

std::span<const uint8_t> TqdUnsentQueue::Front() const {
  if (parts_.empty()) return {};
  const std::vector<uint8_t>& front = parts_.front();
  return {front.data() + offset_, front.size() - offset_};
}

void TqdUnsentQueue::Consume(size_t count) {
  if (parts_.empty()) return;
  offset_ += count;
  Count(0, count);
  if (offset_ >= parts_.front().size()) {
    parts_.pop_front();
    offset_ = 0;
  }
}

void TqdUnsentQueue::Clear() {
  Count(0, bytes_);
  parts_.clear();
  offset_ = 0;
}

}  // namespace qd
