// What the table component makes of the cursor's descriptions of a table:
// a field definition from each dictionary field (its physical type turned
// into a BDE logical type, then into a field type), an index definition
// from each 893-byte index descriptor, and the cursor-properties fields it
// reads.
// Thread rules: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dict/dict_types.h"
#include "framework/definitions.h"

namespace qd {

// Offsets of the 16-bit fields the table reads in the 427-byte
// cursor-properties record.
inline constexpr size_t kPropsRecordBufferSizeOffset = 299;
inline constexpr size_t kPropsIndexCountOffset = 303;
inline constexpr size_t kPropsBookmarkSizeOffset = 309;

// BDE's 64-bit integer type (not among the engine's logical types).
inline constexpr uint16_t kBdeInt64 = 18;

// The field type of a BDE logical type and subtype; ftUnknown when it has
// no counterpart.
TqdFieldType FieldTypeOf(uint16_t bdeType, uint16_t subtype);
// False for a field whose type has no counterpart (left out). `fieldNo`
// is the field's 1-based number.
bool MakeFieldDef(const TqdDictField& field, int32_t fieldNo, TqdFieldDef& def);
// REQUIRES: `descriptor` holds 893 bytes.
TqdIndexDef MakeIndexDef(const uint8_t* descriptor, const TqdFieldDefs& fields);

}  // namespace qd
