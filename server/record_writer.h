// Fills a record buffer field by field with values in their record form
// (used by the demo data and by tests).
// Thread rules: one owner; the dictionary must outlive the writer.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "dict/QDLLDict.h"

namespace qd {

class TqdRecordWriter {
 public:
  explicit TqdRecordWriter(const TqdDataDictionary& dict);

  // Every field null again.
  void Clear();
  // Integers of any width, booleans, dates, times, and the 64-bit integer
  // form of currency and comp fields.
  void SetInteger(int32_t n, int64_t value);
  // Single, double, extended and date-time fields.
  void SetFloat(int32_t n, double value);
  // Text fields of every kind (cut to the field's units).
  void SetText(int32_t n, std::string_view text);
  void SetNull(int32_t n);

  const std::vector<uint8_t>& Bytes() const { return record_; }

 private:
  const TqdDataDictionary& dict_;
  std::vector<uint8_t> record_;
  std::vector<uint8_t> value_;
};

}  // namespace qd
