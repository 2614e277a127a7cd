// Order-preserving binary keys: an index key whose bytes, compared with
// memcmp, sort records in the index's order. Each key field becomes a
// marker byte (0 null, 1 present: nulls sort first, in descending indexes
// too) and a fixed number of value bytes: integers big-endian with the sign
// bit flipped, floating values with the usual IEEE transform, texts padded
// with zeros (ASCII letters folded to upper case in a case-insensitive
// index). A descending index complements the value bytes. A user-defined key
// has no fields: its key is empty, so such an index keeps record order.
// Thread rules: pure functions over a dictionary the caller does not change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dict/QDLLDict.h"

namespace qd {

// The bytes one key field takes in a key: marker and value.
size_t KeyFieldWidth(const TqdDictField& field);

// The key layout of one index, worked out once and used for every record.
class TqdKeyEncoder {
 public:
  // Raises as the dictionary does when `indexNo` is out of range.
  TqdKeyEncoder(const TqdDataDictionary& dict, int32_t indexNo);

  // The fixed width of every key of the index.
  size_t Width() const { return width_; }
  // Writes the key of `record` (RecordSize() bytes) into `out` (Width() bytes).
  void Encode(const uint8_t* record, uint8_t* out) const;

 private:
  struct KeyField {
    const TqdDictField* Field;
    size_t ValueWidth;
    size_t NullByte;  // offset of the field's null flag in the record
    uint8_t NullMask;
  };
  std::vector<KeyField> fields_;
  size_t width_ = 0;
  bool ascending_ = true;
  bool caseInsensitive_ = false;
};

}  // namespace qd
