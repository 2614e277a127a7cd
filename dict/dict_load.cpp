// Reading a dictionary from its stream form. The stream comes from a peer:
// besides the tags, every count, length, offset and key field is checked
// against what a dictionary can hold before it is used, so that a loaded
// dictionary never lets the record helpers or BuildCompositeKey reach past a
// record or key of the sizes it reports.
#include <string>

#include "base/format.h"
#include "dict/QDLLDict.h"
#include "dict/dict_stream.h"
#include "dict/field_kinds.h"

namespace qd {

namespace {

[[noreturn]] void RaiseBadStream(std::string_view format, std::initializer_list<FormatArg> args) {
  throw EReadError("Invalid dictionary stream: " + FormatEngineText(format, args));
}

// Counts are checked before anything is read for them.
int32_t ReadCount(TqdTaggedReader& reader, std::string_view what, int32_t low, int32_t high) {
  int32_t count = reader.ReadInteger();
  if (count < low || count > high) {
    RaiseBadStream("%s count %d outside %d..%d", {what, count, low, high});
  }
  return count;
}

uint8_t ReadByteValue(TqdTaggedReader& reader, std::string_view what) {
  int32_t value = reader.ReadInteger();
  if (value < 0 || value > 255) RaiseBadStream("%s %d is not a byte", {what, value});
  return static_cast<uint8_t>(value);
}

// Whether the field lies in its record as AddField would have laid it out.
bool FieldLayoutMatches(const TqdDictField& field) {
  if (!IsFieldKind(field.FieldType)) return false;
  if (IsSizedKind(field.FieldType) && (field.Units < 0 || field.Units > kMaxSizedFieldUnits)) return false;
  const TqdFieldLayout layout =
      FieldLayoutFor(static_cast<TqdFieldKind>(field.FieldType), field.Units, field.Decimals);
  return layout.Length == field.Length;
}

}  // namespace

void TqdDataDictionary::LoadFromStream(TqdMemoryStream& stream) {
  ClearAll(true);
  try {
    TqdTaggedReader reader(stream);
    ReadContent(reader);
  } catch (...) {
    // A half-read dictionary could describe fields beyond its own record.
    ClearAll(true);
    throw;
  }
}

void TqdDataDictionary::ReadContent(TqdTaggedReader& reader) {
  tableFlag_ = reader.ReadBoolean();
  const int32_t fileCount = ReadCount(reader, "file", 0, kMaxFiles);
  for (int32_t n = 0; n < fileCount; ++n) ReadFile(reader);
  const int32_t fieldCount = ReadCount(reader, "field", 0, kMaxFields);
  for (int32_t n = 0; n < fieldCount; ++n) ReadField(reader);
  logicalRecordLength_ = reader.ReadInteger();
  CheckFieldPlaces();
  const int32_t indexCount = ReadCount(reader, "index", 1, kMaxIndexes);
  for (int32_t n = 1; n < indexCount; ++n) ReadIndex(reader);
}

void TqdDataDictionary::ReadFile(TqdTaggedReader& reader) {
  auto file = std::make_unique<TqdDictFile>();
  file->Number = FileCount();
  reader.ReadShortString(file->Description);
  reader.ReadShortString(file->Extension);
  file->BlockSize = reader.ReadInteger();
  file->FileType = ReadByteValue(reader, "file type");
  if (file->FileType == kFileTypeBlob) blobFileNumber_ = file->Number;
  files_.push_back(std::move(file));
}

void TqdDataDictionary::ReadField(TqdTaggedReader& reader) {
  auto field = std::make_unique<TqdDictField>();
  field->Number = FieldCount();
  reader.ReadShortString(field->Name);
  reader.ReadShortString(field->Description);
  field->Units = reader.ReadInteger();
  field->Decimals = reader.ReadInteger();
  field->Offset = reader.ReadInteger();
  field->Length = reader.ReadInteger();
  field->FieldType = ReadByteValue(reader, "field type");
  field->Required = reader.ReadBoolean();
  // Each field ends inside the largest block; whether it ends inside this
  // dictionary's record is checked once the record length has been read.
  if (field->Offset < 0 || field->Length < 0 || field->Length > kMaxBlockSize ||
      field->Offset > kMaxBlockSize - field->Length) {
    RaiseBadStream("field %d at offset %d with length %d", {field->Number, field->Offset, field->Length});
  }
  // Readers of a value take as many bytes as its type holds, so a field's
  // length must be the one its type and units give.
  if (!FieldLayoutMatches(*field)) {
    RaiseBadStream("field %d of type %d has length %d", {field->Number, field->FieldType, field->Length});
  }
  if (reader.ReadBoolean()) {
    auto validity = std::make_unique<TqdDictValidity>();
    reader.ReadShortString(validity->Picture);
    validity->HasMinimum = reader.ReadBoolean();
    validity->HasMaximum = reader.ReadBoolean();
    validity->HasDefault = reader.ReadBoolean();
    if (validity->HasAnyValue() && field->Length > static_cast<int32_t>(kValidityValueSize)) {
      RaiseBadStream("field %d has validity values of %d bytes (at most 256)", {field->Number, field->Length});
    }
    const auto length = static_cast<size_t>(field->Length);
    if (validity->HasMinimum) reader.ReadRaw(validity->MinimumValue.data(), length);
    if (validity->HasMaximum) reader.ReadRaw(validity->MaximumValue.data(), length);
    if (validity->HasDefault) reader.ReadRaw(validity->DefaultValue.data(), length);
    field->Validity = std::move(validity);
  }
  fields_.push_back(std::move(field));
}

void TqdDataDictionary::CheckFieldPlaces() const {
  if (logicalRecordLength_ < 0 || logicalRecordLength_ > kMaxBlockSize) {
    RaiseBadStream("record length %d outside 0..%d", {logicalRecordLength_, kMaxBlockSize});
  }
  for (const auto& field : fields_) {
    if (field->Offset + field->Length > logicalRecordLength_) {
      RaiseBadStream("field %d ends behind the record length %d", {field->Number, logicalRecordLength_});
    }
  }
}

void TqdDataDictionary::ReadIndex(TqdTaggedReader& reader) {
  auto index = std::make_unique<TqdDictIndex>();
  index->Number = IndexCount();
  reader.ReadShortString(index->Name);
  reader.ReadShortString(index->Description);
  index->FileNumber = reader.ReadInteger();
  index->KeyLength = reader.ReadInteger();
  index->FieldCount = reader.ReadInteger();
  if (index->IsUserDefined()) {
    if (index->KeyLength < 1 || index->KeyLength > 1024) {
      RaiseBadStream("index %d has key length %d (1..1024)", {index->Number, index->KeyLength});
    }
  } else {
    if (index->FieldCount < 1 || index->FieldCount > kMaxKeyFields) {
      RaiseBadStream("index %d has %d key fields (1..16)", {index->Number, index->FieldCount});
    }
    for (int32_t k = 0; k < index->FieldCount; ++k) {
      int32_t number = reader.ReadInteger();
      if (number < 0 || number >= FieldCount()) {
        RaiseBadStream("index %d refers to field %d", {index->Number, number});
      }
      index->FieldNumbers[k] = number;
    }
    // The key is built into buffers of the length given here.
    if (index->KeyLength != CompositeKeyLength(*index)) {
      RaiseBadStream("index %d has key length %d for key fields of %d bytes",
                     {index->Number, index->KeyLength, CompositeKeyLength(*index)});
    }
  }
  index->AllowDuplicates = reader.ReadBoolean();
  index->Ascending = reader.ReadBoolean();
  index->CaseInsensitive = reader.ReadBoolean();
  indexes_.push_back(std::move(index));
}

}  // namespace qd
