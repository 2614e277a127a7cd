#include "base/shortstr.h"

#include <cstring>

#include "base/pool.h"

namespace qd {
namespace {

uint8_t Upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

template <bool kFold>
int CompareText(std::string_view a, std::string_view b, size_t max) {
  size_t la = a.size() < max ? a.size() : max;
  size_t lb = b.size() < max ? b.size() : max;
  size_t n = la < lb ? la : lb;
  for (size_t i = 0; i < n; ++i) {
    uint8_t ca = static_cast<uint8_t>(a[i]);
    uint8_t cb = static_cast<uint8_t>(b[i]);
    if constexpr (kFold) {
      ca = Upper(ca);
      cb = Upper(cb);
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (la == lb) return 0;
  return la < lb ? -1 : 1;
}

const uint8_t kEmptySharedText[2] = {0, 0};

}  // namespace

int CompareShortText(std::string_view a, std::string_view b, size_t max) {
  return CompareText<false>(a, b, max);
}

int CompareShortTextNoCase(std::string_view a, std::string_view b, size_t max) {
  return CompareText<true>(a, b, max);
}

int CompareUInt32(uint32_t a, uint32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
int CompareInt32(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

int CompareMemory(const void* a, const void* b, size_t length) {
  if (length == 0) return 0;
  int r = std::memcmp(a, b, length);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

size_t CopyToZeroTerminated(std::string_view text, char* buffer, size_t capacity) {
  if (capacity == 0) return 0;
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

const uint8_t* NewSharedText(std::string_view text) {
  if (text.empty()) return kEmptySharedText;
  size_t n = text.size() < 255 ? text.size() : 255;
  auto* copy = static_cast<uint8_t*>(PoolAlloc(n + 2));
  copy[0] = static_cast<uint8_t>(n);
  std::memcpy(copy + 1, text.data(), n);
  copy[n + 1] = 0;
  return copy;
}

void FreeSharedText(const uint8_t*& text) {
  if (text != nullptr && text != kEmptySharedText)
    PoolFree(const_cast<uint8_t*>(text), static_cast<size_t>(text[0]) + 2);
  text = nullptr;
}

}  // namespace qd
