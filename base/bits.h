// Bit arrays: bit i is bit (i mod 8), least significant first, of byte i / 8.
// The caller guarantees the array is large enough.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qd {

inline void SetBit(uint8_t* bits, size_t i) { bits[i / 8] |= static_cast<uint8_t>(1u << (i % 8)); }
inline void ClearBit(uint8_t* bits, size_t i) {
  bits[i / 8] &= static_cast<uint8_t>(~(1u << (i % 8)));
}
inline bool TestBit(const uint8_t* bits, size_t i) { return (bits[i / 8] >> (i % 8)) & 1u; }
// Fills the (n + 7) / 8 first bytes with 0xFF.
inline void SetFirstBits(uint8_t* bits, size_t n) { std::memset(bits, 0xFF, (n + 7) / 8); }

}  // namespace qd
