// Conversions between the engine's field values and the BDE logical values
// the call interface speaks, the mapping between engine field types and BDE
// types, and the small code mappings of requests. The BDE-layout field,
// index and validity descriptions are in dict/bde_desc.h.
//
// Logical forms: Boolean 16-bit (0xFFFF true); integers 16- or 32-bit;
// floats as double; date 32-bit days with 0001-01-01 as day 1; time 32-bit
// milliseconds since midnight; time stamp double milliseconds in the date's
// day count; texts zero-terminated UTF-8 (the process's code page).
// Thread rules: pure functions.
#pragma once

#include <cstdint>

#include "dict/bde_desc.h"
#include "dict/field_kinds.h"

namespace qd {

// BDE field types and subtypes.
enum TqdBDEType : uint16_t {
  bdeZString = 1,
  bdeDate = 2,
  bdeBlob = 3,
  bdeBool = 4,
  bdeInt16 = 5,
  bdeInt32 = 6,
  bdeFloat = 7,
  bdeBcd = 8,
  bdeBytes = 9,
  bdeTime = 10,
  bdeTimeStamp = 11,
  bdeUInt16 = 12,
  bdeUInt32 = 13,
  bdeFloatIeee = 14,
  bdeVarBytes = 15,
};
enum TqdBDESubtype : uint16_t {
  bdeSubNone = 0,
  bdeSubMoney = 21,
  bdeSubMemo = 22,
  bdeSubBinary = 23,
  bdeSubFmtMemo = 24,
  bdeSubOleObj = 25,
  bdeSubGraphic = 26,
  bdeSubDbaseOle = 27,
  bdeSubTypedBinary = 28,
  bdeSubAutoInc = 29,
};

// Text fields longer than this are shown to the BDE as memo BLOBs.
inline constexpr int32_t kMaxLogicalStringLength = 8192;
inline constexpr int32_t kMaxShortStringBDELength = 256;
inline constexpr int32_t kMillisecondsPerDay = 86400000;

// Stores `logical` into the `fieldLength` bytes at `field`. False when the
// value cannot be represented (an fkDate outside 1600..3999 stores 0).
// REQUIRES: `logical` holds the logical form of the type (texts
// zero-terminated); `field` holds fieldLength bytes.
bool PutLogicalValue(uint8_t engineType, int32_t fieldLength, const void* logical, uint8_t* field);
// Writes the logical form of the field's value. False when the field holds
// no representable value (a -1 date or time, an unknown type).
// REQUIRES: `logical` holds the logical form's size; for texts fieldLength
// bytes (at most fieldLength - 1 characters and the terminator).
bool GetLogicalValue(uint8_t engineType, int32_t fieldLength, const uint8_t* field, void* logical);

struct TqdEngineTypeAndLength {
  TqdFieldKind Type;
  int32_t Length;
};
struct TqdBDETypeInfo {
  uint16_t Type;
  int32_t Length;  // the logical length
  uint16_t Subtype;
};
// Raise EqdClientException with client text 717 for a type they do not know.
TqdEngineTypeAndLength EngineTypeFromBDE(uint16_t bdeType, uint16_t subtype, int32_t length);
TqdBDETypeInfo BDETypeFromEngine(uint8_t engineType, int32_t engineLength);

// Request codes.
int32_t LockTypeToEngine(int32_t bdeLockType);
int32_t SearchCondToEngine(int32_t bdeSearchCond);
int32_t OpenModeToEngine(int32_t bdeOpenMode);
int32_t ShareModeToEngine(int32_t bdeShareMode);

}  // namespace qd
