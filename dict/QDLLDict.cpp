// Construction, building, Assign, Validate and ClearAll of
// TqdDataDictionary. The accessors are in dict_accessors.cpp, the stream form
// in dict_load.cpp / dict_save.cpp, the record helpers in record_buffer.cpp.
#include "dict/QDLLDict.h"

#include <algorithm>
#include <limits>

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/names.h"
#include "base/string_ids.h"

namespace qd {

TqdDataDictionary::TqdDataDictionary(int32_t blockSize) {
  if (!IsValidBlockSize(blockSize)) Raise(gsDictInvalidBlockSize, {blockSize});
  auto file = std::make_unique<TqdDictFile>();
  file->Description.Assign(GeneralStrings().ReadText(gsDataDictFile));
  file->Extension.Assign("QDD");
  file->BlockSize = blockSize;
  file->FileType = kFileTypeData;
  files_.push_back(std::move(file));
  AddIndexZero();
}

TqdDataDictionary::~TqdDataDictionary() = default;

void TqdDataDictionary::AddIndexZero() {
  auto index = std::make_unique<TqdDictIndex>();
  std::string name = GeneralStrings().ReadText(gsSeqAccessIndex);
  index->Name.Assign(name);
  index->Description.Assign(name);
  index->FileNumber = 0;
  index->KeyLength = 4;
  index->FieldCount = kUserDefinedKey;
  index->AllowDuplicates = false;
  index->Ascending = true;
  index->CaseInsensitive = true;
  indexes_.push_back(std::move(index));
}

void TqdDataDictionary::Raise(int32_t id, std::initializer_list<FormatArg> args) const {
  RaiseTableErrorFmt<EqdException>(GeneralStrings(), id, args);
}

void TqdDataDictionary::CheckNotFrozen() const {
  if (frozen_) Raise(gsDictTableBuilt, {BaseName()});
}

void TqdDataDictionary::CheckFieldNumber(int32_t n) const {
  if (n < 0 || n >= FieldCount()) Raise(gsDictItemMissing, {BaseName(), n});
}

void TqdDataDictionary::CheckIndexNumber(int32_t n) const {
  if (n < 0 || n >= IndexCount()) Raise(gsDictItemMissing, {BaseName(), n});
}

int32_t TqdDataDictionary::AddFile(std::string_view description, std::string_view extension,
                                   int32_t blockSize, uint8_t fileType) {
  extension = extension.substr(0, kDictExtensionCapacity);
  CheckNotFrozen();
  if (!IsValidExtension(extension)) Raise(gsDictInvalidExtension, {BaseName(), extension});
  if (!IsValidBlockSize(blockSize)) Raise(gsDictInvalidBlockSize, {blockSize});
  if (fileType == kFileTypeData && FileCount() > 0) Raise(gsDictDataFileDefined, {BaseName()});
  for (const auto& file : files_) {
    if (file->Extension.View() == extension) Raise(gsDictDuplicateExtension, {BaseName(), extension});
  }
  if (fileType == kFileTypeBlob && blobFileNumber_ != 0) Raise(gsDictBlobFileDefined, {BaseName()});
  if (FileCount() >= kMaxFiles) Raise(gsDictInvalidParameter, {BaseName(), FileCount()});

  auto file = std::make_unique<TqdDictFile>();
  file->Number = FileCount();
  file->Description.Assign(description);
  file->Extension.Assign(extension);
  file->BlockSize = blockSize;
  file->FileType = fileType;
  if (fileType == kFileTypeBlob) blobFileNumber_ = file->Number;
  files_.push_back(std::move(file));
  return files_.back()->Number;
}

void TqdDataDictionary::AddField(std::string_view name, std::string_view description,
                                 uint8_t fieldType, int32_t units, int32_t decimals,
                                 bool required) {
  CheckNotFrozen();
  TqdDictName fieldName(name);
  if (FieldNumberOf(fieldName.View()) >= 0) Raise(gsDictDuplicateFieldName, {BaseName(), fieldName.View()});
  if (!IsFieldKind(fieldType)) Raise(gsDictUnknownFieldType, {static_cast<int>(fieldType)});
  // A sized field's length follows its units; outside these bounds the
  // record arithmetic would go negative or overflow.
  if (IsSizedKind(fieldType) && (units < 0 || units > kMaxSizedFieldUnits)) {
    Raise(gsDictInvalidParameter, {BaseName(), units});
  }
  TqdFieldLayout layout = FieldLayoutFor(static_cast<TqdFieldKind>(fieldType), units, decimals);
  int64_t end = static_cast<int64_t>(logicalRecordLength_) + layout.Length;
  if (end > std::numeric_limits<int32_t>::max() / 2) Raise(gsDictRecordTooLong, {BaseName()});

  auto field = std::make_unique<TqdDictField>();
  field->Number = FieldCount();
  field->Name = fieldName;
  field->Description.Assign(description);
  field->Units = layout.Units;
  field->Decimals = layout.Decimals;
  field->Offset = fields_.empty() ? 0 : fields_.back()->Offset + fields_.back()->Length;
  field->Length = layout.Length;
  field->FieldType = fieldType;
  field->Required = required && fieldType != fkAutoInc;
  logicalRecordLength_ = field->Offset + field->Length;
  fields_.push_back(std::move(field));
}

int32_t TqdDataDictionary::CompositeKeyLength(const TqdDictIndex& index) const {
  int32_t length = NullFlagBytes(index.FieldCount);
  for (int32_t k = 0; k < index.FieldCount; ++k) length += fields_[index.FieldNumbers[k]]->Length;
  return length;
}

void TqdDataDictionary::AddCompositeIndex(std::string_view name, std::string_view description,
                                          int32_t fileNumber, std::span<const int32_t> fieldNumbers,
                                          bool allowDuplicates, bool ascending,
                                          bool caseInsensitive) {
  TqdDictName indexName(name);
  if (IndexNumberOf(indexName.View()) >= 0) Raise(gsDictDuplicateIndexName, {BaseName(), indexName.View()});
  if (fileNumber < 0 || fileNumber >= FileCount()) Raise(gsDictFileMissing, {BaseName(), fileNumber});
  // The descriptor holds at most 16 key fields.
  if (fieldNumbers.size() > static_cast<size_t>(kMaxKeyFields)) {
    Raise(gsDictInvalidParameter, {BaseName(), static_cast<int>(fieldNumbers.size())});
  }
  for (int32_t number : fieldNumbers) {
    if (number < 0 || number >= FieldCount()) Raise(gsDictIndexFieldMissing, {BaseName(), number});
  }
  auto index = std::make_unique<TqdDictIndex>();
  index->Number = IndexCount();
  index->Name = indexName;
  index->Description.Assign(description);
  index->FileNumber = fileNumber;
  index->FieldCount = static_cast<int32_t>(fieldNumbers.size());
  std::copy(fieldNumbers.begin(), fieldNumbers.end(), index->FieldNumbers.begin());
  index->KeyLength = CompositeKeyLength(*index);
  index->AllowDuplicates = allowDuplicates;
  index->Ascending = ascending;
  index->CaseInsensitive = caseInsensitive;
  indexes_.push_back(std::move(index));
}

void TqdDataDictionary::AddUserIndex(std::string_view name, std::string_view description,
                                     int32_t fileNumber, int32_t keyLength, bool allowDuplicates,
                                     bool ascending, bool caseInsensitive) {
  CheckNotFrozen();
  if (fileNumber < 0 || fileNumber >= FileCount()) Raise(gsDictFileMissing, {BaseName(), fileNumber});
  // Only the low 16 bits count; the key then takes exactly that many bytes.
  if (!IsValidKeyLength(keyLength)) Raise(gsDictInvalidKeyLength, {keyLength});
  auto index = std::make_unique<TqdDictIndex>();
  index->Number = IndexCount();
  index->Name.Assign(name);
  index->Description.Assign(description);
  index->FileNumber = fileNumber;
  index->KeyLength = keyLength & 0xFFFF;
  index->FieldCount = kUserDefinedKey;
  index->AllowDuplicates = allowDuplicates;
  index->Ascending = ascending;
  index->CaseInsensitive = caseInsensitive;
  indexes_.push_back(std::move(index));
}

void TqdDataDictionary::SetFieldValidity(int32_t n, const TqdDictValidity& validity) {
  CheckFieldNumber(n);
  TqdDictField& field = *fields_[n];
  if (validity.HasAnyValue() && field.Length > static_cast<int32_t>(kValidityValueSize)) {
    Raise(gsDictInvalidParameter, {BaseName(), n});
  }
  field.Validity = std::make_unique<TqdDictValidity>(validity);
}

void TqdDataDictionary::SetIndexName(int32_t n, std::string_view name) {
  CheckIndexNumber(n);
  indexes_[n]->Name.Assign(name);
}

void TqdDataDictionary::ClearAll(bool includingFile0) {
  fields_.clear();
  indexes_.resize(1);
  logicalRecordLength_ = 0;
  if (includingFile0) {
    files_.clear();
  } else if (files_.size() > 1) {
    files_.resize(1);
  }
  // The BLOB file, if any, is gone (file 0 is the data file).
  blobFileNumber_ = 0;
}

void TqdDataDictionary::Assign(const TqdObject* source) {
  CheckNotFrozen();
  const auto* other = dynamic_cast<const TqdDataDictionary*>(source);
  if (other == nullptr) Raise(gsDictAssignNotDictionary, {BaseName()});
  if (other == this) return;  // clearing first would lose the source
  try {
    ClearAll(true);
    tableFlag_ = other->tableFlag_;
    CopyContentOf(*other);
  } catch (...) {
    ClearAll(true);
    throw;
  }
}

void TqdDataDictionary::CopyContentOf(const TqdDataDictionary& source) {
  for (const auto& file : source.files_) {
    AddFile(file->Description.View(), file->Extension.View(), file->BlockSize, file->FileType);
  }
  for (const auto& field : source.fields_) {
    AddField(field->Name.View(), field->Description.View(), field->FieldType, field->Units,
             field->Decimals, field->Required);
    if (field->Validity) fields_.back()->Validity = std::make_unique<TqdDictValidity>(*field->Validity);
  }
  for (size_t i = 1; i < source.indexes_.size(); ++i) {
    const TqdDictIndex& index = *source.indexes_[i];
    if (index.IsUserDefined()) {
      AddUserIndex(index.Name.View(), index.Description.View(), index.FileNumber, index.KeyLength,
                   index.AllowDuplicates, index.Ascending, index.CaseInsensitive);
    } else {
      AddCompositeIndex(index.Name.View(), index.Description.View(), index.FileNumber,
                        std::span<const int32_t>(index.FieldNumbers.data(), index.FieldCount),
                        index.AllowDuplicates, index.Ascending, index.CaseInsensitive);
    }
  }
}

void TqdDataDictionary::Validate() {
  if (FieldCount() <= 0) Raise(gsDictNoFields, {BaseName()});
  if (RecordSize() > DataBlockSize() - kBlockOverhead) Raise(gsDictRecordTooLong, {BaseName()});
  if (IndexCount() > kMaxIndexes) {
    throw CreateFromTable<EqdException>(GeneralStrings(), gsDictTooManyIndexes);
  }
  for (size_t i = 1; i < indexes_.size(); ++i) {
    TqdDictIndex& index = *indexes_[i];
    if (index.IsUserDefined()) continue;
    if (index.FieldCount == 0) Raise(gsDictIndexWithoutFields, {BaseName()});
    for (int32_t k = 0; k < index.FieldCount; ++k) {
      int32_t number = index.FieldNumbers[k];
      if (number < 0 || number >= FieldCount()) Raise(gsDictIndexFieldMissing, {BaseName(), number});
    }
    index.KeyLength = CompositeKeyLength(index);
  }
  for (const auto& field : fields_) {
    if (FieldNumberOf(field->Name.View()) != field->Number) {
      Raise(gsDictDuplicateFieldName, {BaseName(), field->Name.View()});
    }
  }
  for (size_t i = 1; i < indexes_.size(); ++i) {
    const TqdDictIndex& index = *indexes_[i];
    if (IndexNumberOf(index.Name.View()) != index.Number) {
      Raise(gsDictDuplicateIndexName, {BaseName(), index.Name.View()});
    }
  }
}

}  // namespace qd
