#include "base/QDHash.h"

namespace qd {

uint32_t HashBytes(const void* data, std::ptrdiff_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t h = 0;
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    h = (h << 4) + p[i];
    uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

}  // namespace qd
