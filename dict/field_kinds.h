// The engine's field types and the way each lays out in a record buffer:
// how many bytes a field of a type takes and which units and decimals the
// dictionary keeps for it.
// Thread rules: pure functions.
#pragma once

#include <cstdint>

namespace qd {

// Stored as one byte in dictionaries and descriptors. Codes 25 to 44 and
// above 50 are not field types.
enum TqdFieldKind : uint8_t {
  fkBoolean = 0,
  fkChar = 1,
  fkWideChar = 2,
  fkUInt8 = 3,
  fkUInt16 = 4,
  fkUInt32 = 5,
  fkInt8 = 6,
  fkInt16 = 7,
  fkInt32 = 8,
  fkAutoInc = 9,
  fkSingle = 10,
  fkDouble = 11,
  fkExtended = 12,
  fkComp = 13,
  fkCurrency = 14,
  fkDate = 15,
  fkTime = 16,
  fkDateTime = 17,
  fkBlob = 18,
  fkBlobMemo = 19,
  fkBlobFmtMemo = 20,
  fkBlobOleObj = 21,
  fkBlobGraphic = 22,
  fkBlobDbaseOle = 23,
  fkBlobTypedBinary = 24,
  fkByteArray = 45,
  fkShortString = 46,
  fkShortStringAlt = 47,
  fkNullString = 48,
  fkNullStringAlt = 49,
  fkWideString = 50,
};

constexpr bool IsFieldKind(int32_t code) {
  return (code >= fkBoolean && code <= fkBlobTypedBinary) ||
         (code >= fkByteArray && code <= fkWideString);
}
constexpr bool IsBlobKind(int32_t code) { return code >= fkBlob && code <= fkBlobTypedBinary; }
// The types whose size is given in units by the caller (byte arrays and texts).
constexpr bool IsSizedKind(int32_t code) { return code >= fkByteArray && code <= fkWideString; }

// The largest units a sized field may be given: anything longer could not
// fit the largest data block anyway, and the cap keeps lengths far from
// 32-bit overflow.
inline constexpr int32_t kMaxSizedFieldUnits = 32768;

struct TqdFieldLayout {
  int32_t Length;
  int32_t Units;
  int32_t Decimals;
};

// The layout of a field of `kind` added with `units` and `decimals`.
// REQUIRES: IsFieldKind(kind); for sized kinds 0 <= units <= kMaxSizedFieldUnits.
TqdFieldLayout FieldLayoutFor(TqdFieldKind kind, int32_t units, int32_t decimals);

}  // namespace qd
