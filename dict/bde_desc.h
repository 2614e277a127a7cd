// The BDE-layout descriptions built from a dictionary: the 62-byte field
// descriptor (physical: engine type and sizes; logical: BDE type), the
// 893-byte index description and the 1219-byte validity-check description.
// All numbers little-endian; flags 16-bit, 0xFFFF true; texts
// zero-terminated in fixed areas.
// Thread rules: pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dict/dict_types.h"

namespace qd {

// Field descriptor.
inline constexpr size_t kFldNumberOffset = 0;      // 16-bit, 1-based
inline constexpr size_t kFldNameOffset = 2;        // 31 characters and a zero byte
inline constexpr size_t kFldNameSize = 32;
inline constexpr size_t kFldTypeOffset = 34;
inline constexpr size_t kFldSubtypeOffset = 36;
inline constexpr size_t kFldUnits1Offset = 38;
inline constexpr size_t kFldUnits2Offset = 40;
inline constexpr size_t kFldOffsetOffset = 42;
inline constexpr size_t kFldLengthOffset = 44;
inline constexpr size_t kFldNullOffsetOffset = 46;  // left 0
inline constexpr size_t kFldValCheckOffset = 48;    // 32-bit: 1 = the field has checks
inline constexpr size_t kFldRightsOffset = 52;      // 32-bit
inline constexpr size_t kFieldDescSize = 62;
static_assert(kFldNameOffset + kFldNameSize == kFldTypeOffset);

// Index description.
inline constexpr size_t kIdxNameOffset = 0;  // 260 characters and a zero byte
inline constexpr size_t kIdxNameSize = 261;
inline constexpr size_t kIdxNumberOffset = 261;
inline constexpr size_t kIdxTagNameOffset = 263;  // 32 bytes, left 0
inline constexpr size_t kIdxFormatOffset = 295;
inline constexpr size_t kIdxFormatSize = 32;
inline constexpr size_t kIdxPrimaryOffset = 327;
inline constexpr size_t kIdxUniqueOffset = 329;
inline constexpr size_t kIdxDescendingOffset = 331;
inline constexpr size_t kIdxMaintainedOffset = 333;
inline constexpr size_t kIdxSubsetOffset = 335;
inline constexpr size_t kIdxExpressionOffset = 337;
inline constexpr size_t kIdxCostOffset = 339;
inline constexpr size_t kIdxKeyFieldCountOffset = 341;
inline constexpr size_t kIdxKeyLengthOffset = 343;
inline constexpr size_t kIdxOutOfDateOffset = 345;
inline constexpr size_t kIdxKeyExpTypeOffset = 347;
inline constexpr size_t kIdxKeyFieldsOffset = 349;  // 16 x 16-bit, 1-based
inline constexpr size_t kIdxKeyExpOffset = 381;     // 221 bytes
inline constexpr size_t kIdxKeyCondOffset = 602;    // 221 bytes
inline constexpr size_t kIdxCaseInsensitiveOffset = 823;
inline constexpr size_t kIndexDescSize = 893;
static_assert(kIdxFormatOffset + kIdxFormatSize == kIdxPrimaryOffset);
static_assert(kIdxKeyFieldsOffset + 2 * kMaxKeyFields == kIdxKeyExpOffset);
static_assert(kIdxKeyExpOffset + 221 == kIdxKeyCondOffset && kIdxKeyCondOffset + 221 == 823);

// Validity-check description.
inline constexpr size_t kVchkFieldNumberOffset = 0;
inline constexpr size_t kVchkRequiredOffset = 2;
inline constexpr size_t kVchkHasMinimumOffset = 4;
inline constexpr size_t kVchkHasMaximumOffset = 6;
inline constexpr size_t kVchkHasDefaultOffset = 8;
inline constexpr size_t kVchkMinimumOffset = 10;   // 256 bytes each
inline constexpr size_t kVchkMaximumOffset = 266;
inline constexpr size_t kVchkDefaultOffset = 522;
inline constexpr size_t kVchkPictureOffset = 778;  // 175 characters and a zero byte
inline constexpr size_t kVchkPictureSize = kDictPictureCapacity + 1;
inline constexpr size_t kValidityDescSize = 1219;
static_assert(kVchkMinimumOffset + kValidityValueSize == kVchkMaximumOffset);
static_assert(kVchkDefaultOffset + kValidityValueSize == kVchkPictureOffset);

inline constexpr uint16_t kBDETrue = 0xFFFF;

using TqdFieldDescBytes = std::array<uint8_t, kFieldDescSize>;
using TqdIndexDescBytes = std::array<uint8_t, kIndexDescSize>;
using TqdValidityDescBytes = std::array<uint8_t, kValidityDescSize>;

TqdFieldDescBytes MakePhysicalFieldDesc(const TqdDictField& field);
// Raises EqdClientException 717 for a type BDETypeFromEngine does not know.
TqdFieldDescBytes MakeLogicalFieldDesc(const TqdFieldDescBytes& physical);
TqdIndexDescBytes MakeIndexDesc(const TqdDictIndex& index);
// `fieldNumber` is written as given (callers pass it 1-based).
TqdValidityDescBytes MakeValidityDesc(const TqdDictValidity& validity, int32_t fieldNumber,
                                      bool required);

}  // namespace qd
