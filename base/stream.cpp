#include "base/stream.h"

#include <cstring>

namespace qd {

TqdMemoryStream::TqdMemoryStream(const void* data, size_t size)
    : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

size_t TqdMemoryStream::Read(void* buffer, size_t count) {
  size_t n = count < Remaining() ? count : Remaining();
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

bool TqdMemoryStream::ReadExact(void* buffer, size_t count) {
  if (Remaining() < count) return false;
  Read(buffer, count);
  return true;
}

void TqdMemoryStream::Write(const void* data, size_t count) {
  if (count == 0) return;
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ += count;
}

}  // namespace qd
