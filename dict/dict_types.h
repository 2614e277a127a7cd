// The descriptors a data dictionary is made of: files, fields with their
// validity checks, and indexes; and the limits that every dictionary, built
// locally or read from a peer, stays within.
// Thread rules: plain data; owned and guarded by their dictionary.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/pool.h"
#include "base/shortstr.h"
#include "dict/field_kinds.h"

namespace qd {

inline constexpr size_t kDictNameCapacity = 31;
inline constexpr size_t kDictDescriptionCapacity = 63;
inline constexpr size_t kDictExtensionCapacity = 3;
inline constexpr size_t kDictPictureCapacity = 175;
inline constexpr size_t kValidityValueSize = 256;
inline constexpr int32_t kMaxKeyFields = 16;
inline constexpr int32_t kMaxIndexes = 256;  // index 0 included
inline constexpr int32_t kUserDefinedKey = -1;  // field count of a user-defined key index
inline constexpr int32_t kDefaultBlockSize = 4096;
inline constexpr int32_t kMaxBlockSize = 32768;
// A data block keeps 32 + 4 bytes for itself; the record takes the rest.
inline constexpr int32_t kBlockOverhead = 32 + 4;

inline constexpr uint8_t kFileTypeData = 0;
inline constexpr uint8_t kFileTypeBlob = 2;

using TqdDictName = TqdShortString<kDictNameCapacity>;
using TqdDictText = TqdShortString<kDictDescriptionCapacity>;
using TqdDictExtension = TqdShortString<kDictExtensionCapacity>;
using TqdDictPicture = TqdShortString<kDictPictureCapacity>;

// Bytes of the null flags that follow `count` fields or key fields.
constexpr int32_t NullFlagBytes(int32_t count) { return (count + 7) / 8; }

// The most fields whose record can fit the largest data block: each field
// takes at least one byte and one null bit.
constexpr int32_t MaxFieldsInBlock() {
  int32_t n = kMaxBlockSize;
  while (n + NullFlagBytes(n) > kMaxBlockSize - kBlockOverhead) --n;
  return n;
}
inline constexpr int32_t kMaxFields = MaxFieldsInBlock();

// Files other than the data file hold a BLOB or indexes; with at most 255
// further indexes a table never needs more than this many files.
inline constexpr int32_t kMaxFiles = kMaxIndexes + 2;

struct TqdDictFile : TqdObject {
  int32_t Number = 0;
  TqdDictText Description;
  TqdDictExtension Extension;
  int32_t BlockSize = 0;
  uint8_t FileType = kFileTypeData;
};

// Each value area holds the field's value in its record-buffer form; only
// the first `Length` bytes of the field are meaningful.
struct TqdDictValidity : TqdObject {
  bool HasMinimum = false;
  bool HasMaximum = false;
  bool HasDefault = false;
  std::array<uint8_t, kValidityValueSize> MinimumValue{};
  std::array<uint8_t, kValidityValueSize> MaximumValue{};
  std::array<uint8_t, kValidityValueSize> DefaultValue{};
  TqdDictPicture Picture;

  bool HasAnyValue() const { return HasMinimum || HasMaximum || HasDefault; }
};

struct TqdDictField : TqdObject {
  int32_t Number = 0;
  TqdDictName Name;
  TqdDictText Description;
  int32_t Units = 0;
  int32_t Decimals = 0;
  int32_t Offset = 0;
  int32_t Length = 0;
  std::unique_ptr<TqdDictValidity> Validity;
  uint8_t FieldType = fkBoolean;
  bool Required = false;
};

struct TqdDictIndex : TqdObject {
  int32_t Number = 0;
  TqdDictName Name;
  TqdDictText Description;
  int32_t FileNumber = 0;
  int32_t KeyLength = 0;
  int32_t FieldCount = kUserDefinedKey;
  std::array<int32_t, kMaxKeyFields> FieldNumbers{};
  bool AllowDuplicates = false;
  bool Ascending = true;
  bool CaseInsensitive = false;

  bool IsUserDefined() const { return FieldCount == kUserDefinedKey; }
};

}  // namespace qd
