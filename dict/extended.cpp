#include "dict/extended.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "base/endian.h"

namespace qd {

namespace {

constexpr int kExtendedBias = 16383;
constexpr int kDoubleBias = 1023;
constexpr uint16_t kExtendedMaxExponent = 0x7FFF;

void PutParts(uint8_t* p, uint64_t significand, uint16_t signAndExponent) {
  PutUInt64LE(p, significand);
  PutUInt16LE(p + 8, signAndExponent);
}

}  // namespace

void PutExtendedLE(uint8_t* p, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint16_t sign = (bits >> 63) ? 0x8000 : 0;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (exponent == 0x7FF) {  // infinity or NaN: the integer bit is set for both
    PutParts(p, (uint64_t{1} << 63) | (fraction << 11), sign | kExtendedMaxExponent);
  } else if (exponent == 0 && fraction == 0) {
    PutParts(p, 0, sign);
  } else if (exponent == 0) {  // subnormal double: normalise it
    int shift = 0;
    uint64_t significand = fraction << 11;
    while ((significand & (uint64_t{1} << 63)) == 0) {
      significand <<= 1;
      ++shift;
    }
    int extendedExponent = 1 - kDoubleBias + kExtendedBias - shift;
    PutParts(p, significand, sign | static_cast<uint16_t>(extendedExponent));
  } else {
    uint64_t significand = (uint64_t{1} << 63) | (fraction << 11);
    int extendedExponent = exponent - kDoubleBias + kExtendedBias;
    PutParts(p, significand, sign | static_cast<uint16_t>(extendedExponent));
  }
}

double GetExtendedLE(const uint8_t* p) {
  const uint64_t significand = GetUInt64LE(p);
  const uint16_t signAndExponent = GetUInt16LE(p + 8);
  const bool negative = (signAndExponent & 0x8000) != 0;
  const int exponent = signAndExponent & kExtendedMaxExponent;
  double magnitude;
  if (exponent == kExtendedMaxExponent) {
    bool isInfinity = (significand << 1) == 0;
    magnitude = isInfinity ? std::numeric_limits<double>::infinity()
                           : std::numeric_limits<double>::quiet_NaN();
  } else {
    // The significand rounds to 53 bits once; ldexp is then exact unless the
    // value leaves the double's range.
    int scale = (exponent == 0 ? 1 : exponent) - kExtendedBias - 63;
    magnitude = std::ldexp(static_cast<double>(significand), scale);
  }
  return negative ? -magnitude : magnitude;
}

}  // namespace qd
