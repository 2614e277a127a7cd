// Writing a dictionary in its stream form: Validate first, so that nothing
// is written for a dictionary that a peer could not use.
#include <algorithm>

#include "dict/QDLLDict.h"
#include "dict/dict_stream.h"

namespace qd {

namespace {

void WriteField(TqdTaggedWriter& writer, const TqdDictField& field) {
  writer.WriteString(field.Name.View());
  writer.WriteString(field.Description.View());
  writer.WriteInteger(field.Units);
  writer.WriteInteger(field.Decimals);
  writer.WriteInteger(field.Offset);
  writer.WriteInteger(field.Length);
  writer.WriteInteger(field.FieldType);
  writer.WriteBoolean(field.Required);
  writer.WriteBoolean(field.Validity != nullptr);
  if (!field.Validity) return;
  const TqdDictValidity& validity = *field.Validity;
  writer.WriteString(validity.Picture.View());
  writer.WriteBoolean(validity.HasMinimum);
  writer.WriteBoolean(validity.HasMaximum);
  writer.WriteBoolean(validity.HasDefault);
  // Fields with values are at most one value area long (SetFieldValidity,
  // LoadFromStream); the cap only guards the areas.
  const size_t length = std::min(static_cast<size_t>(field.Length), kValidityValueSize);
  if (validity.HasMinimum) writer.WriteRaw(validity.MinimumValue.data(), length);
  if (validity.HasMaximum) writer.WriteRaw(validity.MaximumValue.data(), length);
  if (validity.HasDefault) writer.WriteRaw(validity.DefaultValue.data(), length);
}

void WriteIndex(TqdTaggedWriter& writer, const TqdDictIndex& index) {
  writer.WriteString(index.Name.View());
  writer.WriteString(index.Description.View());
  writer.WriteInteger(index.FileNumber);
  writer.WriteInteger(index.KeyLength);
  writer.WriteInteger(index.FieldCount);
  for (int32_t k = 0; k < index.FieldCount; ++k) writer.WriteInteger(index.FieldNumbers[k]);
  writer.WriteBoolean(index.AllowDuplicates);
  writer.WriteBoolean(index.Ascending);
  writer.WriteBoolean(index.CaseInsensitive);
}

}  // namespace

void TqdDataDictionary::SaveToStream(TqdMemoryStream& stream) {
  Validate();
  TqdTaggedWriter writer;
  writer.WriteBoolean(tableFlag_);
  writer.WriteInteger(FileCount());
  for (const auto& file : files_) {
    writer.WriteString(file->Description.View());
    writer.WriteString(file->Extension.View());
    writer.WriteInteger(file->BlockSize);
    writer.WriteInteger(file->FileType);
  }
  writer.WriteInteger(FieldCount());
  for (const auto& field : fields_) WriteField(writer, *field);
  writer.WriteInteger(logicalRecordLength_);
  writer.WriteInteger(IndexCount());
  for (size_t i = 1; i < indexes_.size(); ++i) WriteIndex(writer, *indexes_[i]);
  writer.FlushTo(stream);
}

}  // namespace qd
