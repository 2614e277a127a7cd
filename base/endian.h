// Little-endian helpers for every wire record and stream: records are built
// and read field by field, never by casting buffers to structs.
// REQUIRES: the caller has checked that the buffer holds the bytes touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qd {

inline void PutUInt8(uint8_t* p, uint8_t v) { p[0] = v; }
inline void PutUInt16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutUInt32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutInt16LE(uint8_t* p, int16_t v) { PutUInt16LE(p, static_cast<uint16_t>(v)); }
inline void PutInt32LE(uint8_t* p, int32_t v) { PutUInt32LE(p, static_cast<uint32_t>(v)); }
inline void PutUInt64LE(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutInt64LE(uint8_t* p, int64_t v) { PutUInt64LE(p, static_cast<uint64_t>(v)); }
inline void PutDoubleLE(uint8_t* p, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutUInt64LE(p, bits);
}

inline uint8_t GetUInt8(const uint8_t* p) { return p[0]; }
inline uint16_t GetUInt16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetUInt32LE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t GetInt16LE(const uint8_t* p) { return static_cast<int16_t>(GetUInt16LE(p)); }
inline int32_t GetInt32LE(const uint8_t* p) { return static_cast<int32_t>(GetUInt32LE(p)); }
inline uint64_t GetUInt64LE(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline int64_t GetInt64LE(const uint8_t* p) { return static_cast<int64_t>(GetUInt64LE(p)); }
inline double GetDoubleLE(const uint8_t* p) {
  uint64_t bits = GetUInt64LE(p);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// A short-string field of `capacity` characters takes capacity + 1 bytes:
// the length byte, the characters, zero padding. Longer text is cut.
inline void PutShortString(uint8_t* p, std::string_view text, size_t capacity) {
  size_t n = text.size() < capacity ? text.size() : capacity;
  p[0] = static_cast<uint8_t>(n);
  if (n > 0) std::memcpy(p + 1, text.data(), n);
  if (capacity > n) std::memset(p + 1 + n, 0, capacity - n);
}
// A length byte above the capacity is a peer's fault; the text is cut to
// the capacity rather than read past the field.
inline std::string GetShortString(const uint8_t* p, size_t capacity) {
  size_t n = p[0] < capacity ? p[0] : capacity;
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}

}  // namespace qd
