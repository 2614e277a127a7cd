#include "dict/field_kinds.h"

namespace qd {

namespace {

// A negative units count, or one above the cap, becomes the cap.
int32_t CapUnits(int32_t units, int32_t cap) { return units < 0 || units > cap ? cap : units; }

}  // namespace

TqdFieldLayout FieldLayoutFor(TqdFieldKind kind, int32_t units, int32_t decimals) {
  switch (kind) {
    case fkBoolean: return {1, 0, 0};
    case fkChar: return {1, 1, 0};
    case fkWideChar: return {2, 1, 0};
    case fkUInt8:
    case fkInt8: return {1, CapUnits(units, 3), 0};
    case fkUInt16:
    case fkInt16: return {2, CapUnits(units, 5), 0};
    case fkUInt32:
    case fkInt32: return {4, CapUnits(units, 10), 0};
    case fkAutoInc: return {4, 10, 0};
    case fkSingle: return {4, units, decimals};
    case fkDouble: return {8, units, decimals};
    case fkExtended: return {10, units, decimals};
    case fkComp: return {8, units, decimals};
    case fkCurrency: return {8, units, decimals};
    case fkDate:
    case fkTime: return {4, 0, 0};
    case fkDateTime: return {8, 0, 0};
    case fkByteArray: return {units, units, 0};
    case fkShortString:
    case fkShortStringAlt:
    case fkNullString:
    case fkNullStringAlt: return {units + 1, units, 0};
    case fkWideString: return {(units + 1) * 2, units, 0};
    default: return {4, 0, 0};  // the BLOB types hold a 32-bit BLOB number
  }
}

}  // namespace qd
