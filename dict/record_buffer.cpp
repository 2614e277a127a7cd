// The record-buffer helpers and the composite key of TqdDataDictionary.
// A record is the fields at their offsets, then one null bit per field
// (bit n of the null area is bit n mod 8 of byte n div 8; set = null).
// A composite key is the key fields' bytes in key order, then one null bit
// per key field in its last (k + 7) div 8 bytes.
#include <cstring>

#include "base/bits.h"
#include "base/string_ids.h"
#include "dict/QDLLDict.h"

namespace qd {

void TqdDataDictionary::ClearRecord(uint8_t* record) const {
  if (record == nullptr || fields_.empty()) return;
  std::memset(record, 0, logicalRecordLength_);
  SetFirstBits(record + logicalRecordLength_, fields_.size());
}

void TqdDataDictionary::ReadFieldValue(int32_t n, const uint8_t* record, bool& isNull,
                                       uint8_t* value) const {
  CheckFieldNumber(n);
  isNull = record == nullptr || TestBit(record + logicalRecordLength_, n);
  if (isNull || value == nullptr) return;
  const TqdDictField& field = *fields_[n];
  std::memcpy(value, record + field.Offset, field.Length);
}

bool TqdDataDictionary::FieldIsNull(int32_t n, const uint8_t* record) const {
  CheckFieldNumber(n);
  return record == nullptr || TestBit(record + logicalRecordLength_, n);
}

void TqdDataDictionary::WriteFieldValue(int32_t n, uint8_t* record, const uint8_t* value) const {
  CheckFieldNumber(n);
  if (record == nullptr) return;
  if (value == nullptr) {
    WriteFieldNull(n, record, true);
    return;
  }
  const TqdDictField& field = *fields_[n];
  std::memcpy(record + field.Offset, value, field.Length);
  ClearBit(record + logicalRecordLength_, n);
}

void TqdDataDictionary::WriteFieldNull(int32_t n, uint8_t* record, bool nullWanted) const {
  CheckFieldNumber(n);
  if (record == nullptr) return;
  const TqdDictField& field = *fields_[n];
  std::memset(record + field.Offset, 0, field.Length);
  if (nullWanted) {
    SetBit(record + logicalRecordLength_, n);
  } else {
    ClearBit(record + logicalRecordLength_, n);
  }
}

void TqdDataDictionary::BuildCompositeKey(int32_t i, const uint8_t* record, uint8_t* key) const {
  CheckIndexNumber(i);
  if (key == nullptr) Raise(gsDictInvalidParameter, {BaseName(), 3});
  const TqdDictIndex& index = *indexes_[i];
  std::memset(key, 0, index.KeyLength);
  if (index.IsUserDefined()) return;

  const int32_t keyFields = index.FieldCount;
  uint8_t* keyNulls = key + index.KeyLength - NullFlagBytes(keyFields);
  SetFirstBits(keyNulls, keyFields);
  const uint8_t* recordNulls = record == nullptr ? nullptr : record + logicalRecordLength_;
  int32_t at = 0;
  for (int32_t k = 0; k < keyFields; ++k) {
    const TqdDictField& field = *fields_[index.FieldNumbers[k]];
    if (recordNulls != nullptr && !TestBit(recordNulls, field.Number)) {
      std::memcpy(key + at, record + field.Offset, field.Length);
      ClearBit(keyNulls, k);
    }
    at += field.Length;
  }
}

}  // namespace qd
