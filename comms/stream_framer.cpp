#include "comms/stream_framer.h"

#include <cstring>

#include "comms/QDNetMsg.h"

namespace qd {

TqdStreamFramer::TqdStreamFramer(uint32_t maxMsgSize, size_t capacity)
    : maxMsgSize_(maxMsgSize), buffer_(capacity < maxMsgSize ? maxMsgSize : capacity) {}

uint8_t* TqdStreamFramer::Space() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  return buffer_.data() + end_;
}

TqdStreamFramer::Item TqdStreamFramer::Next() {
  if (broken_) return {Kind::Broken};
  size_t available = end_ - begin_;
  uint8_t* p = buffer_.data() + begin_;
  if (IsKeepAlive(p, available)) {
    begin_ += kKeepAliveSize;
    return {Kind::KeepAlive, p, kKeepAliveSize};
  }
  if (available < 8) return {};
  uint32_t length = PeekMsgLen(p);
  if (length < kMsgHeaderSize || length > maxMsgSize_) {
    broken_ = true;
    return {Kind::Broken};
  }
  if (available < length) return {};
  begin_ += length;
  return {Kind::Part, p, length};
}

}  // namespace qd
