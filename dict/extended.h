// The 10-byte x87 extended-precision form of fkExtended fields, built and
// read bit by bit so that it does not depend on the host's long double:
// 64-bit significand with an explicit integer bit, then 15-bit exponent
// (bias 16383) and the sign, little-endian.
// Thread rules: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qd {

inline constexpr size_t kExtendedSize = 10;

// Exact: every double is an extended value.
void PutExtendedLE(uint8_t* p, double value);
// Rounded to the nearest double; too large gives an infinity.
double GetExtendedLE(const uint8_t* p);

}  // namespace qd
