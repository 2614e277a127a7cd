#include "server/record_writer.h"

#include <cstring>

#include "base/endian.h"
#include "dict/extended.h"

namespace qd {

TqdRecordWriter::TqdRecordWriter(const TqdDataDictionary& dict)
    : dict_(dict), record_(static_cast<size_t>(dict.RecordSize())) {
  Clear();
}

void TqdRecordWriter::Clear() { dict_.ClearRecord(record_.data()); }

void TqdRecordWriter::SetInteger(int32_t n, int64_t value) {
  const TqdDictField& field = dict_.FieldDesc(n);
  value_.assign(static_cast<size_t>(field.Length), 0);
  for (size_t i = 0; i < value_.size() && i < 8; ++i)
    value_[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
  dict_.WriteFieldValue(n, record_.data(), value_.data());
}

void TqdRecordWriter::SetFloat(int32_t n, double value) {
  const TqdDictField& field = dict_.FieldDesc(n);
  value_.assign(static_cast<size_t>(field.Length), 0);
  if (field.FieldType == fkSingle) {
    float single = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &single, sizeof bits);
    PutUInt32LE(value_.data(), bits);
  } else if (field.FieldType == fkExtended) {
    PutExtendedLE(value_.data(), value);
  } else {
    PutDoubleLE(value_.data(), value);
  }
  dict_.WriteFieldValue(n, record_.data(), value_.data());
}

void TqdRecordWriter::SetText(int32_t n, std::string_view text) {
  const TqdDictField& field = dict_.FieldDesc(n);
  value_.assign(static_cast<size_t>(field.Length), 0);
  size_t units = static_cast<size_t>(field.Units);
  size_t count = text.size() < units ? text.size() : units;
  switch (field.FieldType) {
    case fkShortString:
    case fkShortStringAlt:
      value_[0] = static_cast<uint8_t>(count);
      std::memcpy(value_.data() + 1, text.data(), count);
      break;
    case fkWideString:
      for (size_t i = 0; i < count; ++i)
        PutUInt16LE(value_.data() + 2 * i, static_cast<uint8_t>(text[i]));
      break;
    default:
      std::memcpy(value_.data(), text.data(), count < value_.size() ? count : value_.size());
      break;
  }
  dict_.WriteFieldValue(n, record_.data(), value_.data());
}

void TqdRecordWriter::SetNull(int32_t n) { dict_.WriteFieldNull(n, record_.data(), true); }

}  // namespace qd
