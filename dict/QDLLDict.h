// TqdDataDictionary: the description of one table — its files, its fields
// with their places in a record buffer, and its indexes — together with the
// record-buffer and composite-key layouts and the stream form that is shared
// byte for byte with every Quilldrive server.
//
// Index 0 (the sequential access index) exists from construction on, is
// never written to a stream and survives ClearAll and LoadFromStream. File 0
// is the data file. Failures raise EqdException with the number of the
// general-strings text as ErrorCode; a malformed stream raises EReadError.
//
// Thread rules: none; a dictionary belongs to one owner (a cursor, a
// catalogue cursor, a request) that uses it from one thread at a time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/format.h"
#include "base/pool.h"
#include "base/stream.h"
#include "dict/dict_types.h"

namespace qd {

class TqdTaggedReader;

class TqdDataDictionary : public TqdObject {
 public:
  // Raises 115 when the block size is not 4096, 8192, 16384 or 32768.
  explicit TqdDataDictionary(int32_t blockSize = kDefaultBlockSize);
  ~TqdDataDictionary() override;
  TqdDataDictionary(const TqdDataDictionary&) = delete;
  TqdDataDictionary& operator=(const TqdDataDictionary&) = delete;

  // Building. Each raises before it changes anything.
  int32_t AddFile(std::string_view description, std::string_view extension, int32_t blockSize,
                  uint8_t fileType);
  void AddField(std::string_view name, std::string_view description, uint8_t fieldType,
                int32_t units, int32_t decimals, bool required);
  // The key fields are given in key order; their count is the span's size.
  void AddCompositeIndex(std::string_view name, std::string_view description, int32_t fileNumber,
                         std::span<const int32_t> fieldNumbers, bool allowDuplicates,
                         bool ascending, bool caseInsensitive);
  void AddUserIndex(std::string_view name, std::string_view description, int32_t fileNumber,
                    int32_t keyLength, bool allowDuplicates, bool ascending, bool caseInsensitive);
  // Gives field n a copy of `validity`. A field longer than a value area
  // cannot carry minimum, maximum or default values (114).
  void SetFieldValidity(int32_t n, const TqdDictValidity& validity);
  // The cursor names its index after the one the server chose.
  void SetIndexName(int32_t n, std::string_view name);

  // Replaces the whole content by a copy of `source`, re-adding everything so
  // that offsets and key lengths are recomputed. Raises 98 when the source is
  // not a dictionary; any failure on the way leaves this dictionary cleared.
  void Assign(const TqdObject* source);
  // Consistency checks; recomputes the key lengths of composite indexes.
  void Validate();
  // Frees every field and every index but index 0, and every file but file 0
  // (or every file when `includingFile0`).
  void ClearAll(bool includingFile0);

  // Reads a dictionary from the stream's position and leaves the stream on
  // the first byte behind it. A stream that is malformed or describes more
  // than a dictionary can hold raises EReadError and leaves the dictionary
  // cleared (no files, no fields, index 0 only).
  void LoadFromStream(TqdMemoryStream& stream);
  // Validate, then appends the stream form at the stream's position.
  void SaveToStream(TqdMemoryStream& stream);

  // Accessors; the numbered ones raise 96 when n is not below the count.
  const TqdDictFile& FileDesc(int32_t n) const;
  const TqdDictField& FieldDesc(int32_t n) const;
  bool FieldIsRequired(int32_t n) const;
  const TqdDictValidity* FieldValidity(int32_t n) const;
  const TqdDictIndex& IndexDesc(int32_t n) const;
  int32_t IndexKeyLength(int32_t n) const;
  std::string IndexName(int32_t n) const;
  bool IndexIsUserDefined(int32_t n) const;
  // The first number whose name matches without regard to ASCII case, or -1.
  int32_t FieldNumberOf(std::string_view name) const;
  int32_t IndexNumberOf(std::string_view name) const;

  int32_t FileCount() const { return static_cast<int32_t>(files_.size()); }
  int32_t FieldCount() const { return static_cast<int32_t>(fields_.size()); }
  int32_t IndexCount() const { return static_cast<int32_t>(indexes_.size()); }
  int32_t BlobFileNumber() const { return blobFileNumber_; }
  int32_t LogicalRecordLength() const { return logicalRecordLength_; }
  // File 0's block size, or 4096 when there is no file.
  int32_t DataBlockSize() const;
  // The field bytes and then one null bit per field.
  int32_t RecordSize() const { return logicalRecordLength_ + NullFlagBytes(FieldCount()); }
  std::string_view BaseName() const { return baseName_.View(); }
  void SetBaseName(std::string_view name) { baseName_.Assign(name); }
  bool TableFlag() const { return tableFlag_; }
  void SetTableFlag(bool value) { tableFlag_ = value; }
  bool Frozen() const { return frozen_; }
  void SetFrozen(bool value) { frozen_ = value; }

  // Record helpers. A record holds RecordSize() bytes; an absent record
  // (nullptr) reads as all null and is left alone by the writers.
  void ClearRecord(uint8_t* record) const;
  // Copies the field's bytes to `value` (when given) unless it is null.
  void ReadFieldValue(int32_t n, const uint8_t* record, bool& isNull, uint8_t* value) const;
  bool FieldIsNull(int32_t n, const uint8_t* record) const;
  // With a value: stores it and clears the null bit; without: sets the null
  // bit and zeroes the field.
  void WriteFieldValue(int32_t n, uint8_t* record, const uint8_t* value) const;
  // Sets or clears the null bit and zeroes the field's bytes either way.
  void WriteFieldNull(int32_t n, uint8_t* record, bool nullWanted) const;

  // Fills `key` (IndexKeyLength(i) bytes) with the composite key of
  // `record`: the key fields' bytes in key order, then their null flags.
  // A user-defined key is only zero-filled.
  void BuildCompositeKey(int32_t i, const uint8_t* record, uint8_t* key) const;

 private:
  [[noreturn]] void Raise(int32_t id, std::initializer_list<FormatArg> args) const;
  void CheckNotFrozen() const;
  void CheckFieldNumber(int32_t n) const;
  void CheckIndexNumber(int32_t n) const;
  void AddIndexZero();
  void CopyContentOf(const TqdDataDictionary& source);
  int32_t CompositeKeyLength(const TqdDictIndex& index) const;
  // Reading and writing of the stream form (dict_load.cpp, dict_save.cpp).
  void ReadContent(TqdTaggedReader& reader);
  void ReadFile(TqdTaggedReader& reader);
  void ReadField(TqdTaggedReader& reader);
  void ReadIndex(TqdTaggedReader& reader);
  void CheckFieldPlaces() const;

  int32_t blobFileNumber_ = 0;
  TqdDictName baseName_;
  int32_t logicalRecordLength_ = 0;
  bool tableFlag_ = false;
  bool frozen_ = false;
  std::vector<std::unique_ptr<TqdDictFile>> files_;
  std::vector<std::unique_ptr<TqdDictField>> fields_;
  std::vector<std::unique_ptr<TqdDictIndex>> indexes_;
};

}  // namespace qd
