#include "dict/bde_desc.h"

#include <cstring>
#include <string_view>

#include "base/endian.h"
#include "base/shortstr.h"
#include "dict/QDCLConv.h"

namespace qd {

namespace {

void PutFlag(uint8_t* p, bool value) { PutUInt16LE(p, value ? kBDETrue : 0); }

void PutText(uint8_t* p, std::string_view text, size_t areaSize) {
  CopyToZeroTerminated(text, reinterpret_cast<char*>(p), areaSize);
}

}  // namespace

TqdFieldDescBytes MakePhysicalFieldDesc(const TqdDictField& field) {
  TqdFieldDescBytes d{};
  PutUInt16LE(&d[kFldNumberOffset], static_cast<uint16_t>(field.Number + 1));
  PutText(&d[kFldNameOffset], field.Name.View(), kFldNameSize);
  PutUInt16LE(&d[kFldTypeOffset], field.FieldType);
  PutUInt16LE(&d[kFldSubtypeOffset], 0);
  PutUInt16LE(&d[kFldUnits1Offset], static_cast<uint16_t>(field.Units));
  PutUInt16LE(&d[kFldUnits2Offset], static_cast<uint16_t>(field.Decimals));
  PutUInt16LE(&d[kFldOffsetOffset], static_cast<uint16_t>(field.Offset));
  PutUInt16LE(&d[kFldLengthOffset], static_cast<uint16_t>(field.Length));
  PutUInt32LE(&d[kFldValCheckOffset], field.Validity != nullptr || field.Required ? 1 : 0);
  return d;
}

TqdFieldDescBytes MakeLogicalFieldDesc(const TqdFieldDescBytes& physical) {
  TqdBDETypeInfo info = BDETypeFromEngine(static_cast<uint8_t>(GetUInt16LE(&physical[kFldTypeOffset])),
                                          GetUInt16LE(&physical[kFldLengthOffset]));
  TqdFieldDescBytes d{};
  std::memcpy(&d[kFldNumberOffset], &physical[kFldNumberOffset], 2);
  std::memcpy(&d[kFldNameOffset], &physical[kFldNameOffset], kFldNameSize);
  d[kFldNameOffset + kFldNameSize - 1] = 0;  // terminated whatever the source held
  PutUInt16LE(&d[kFldTypeOffset], info.Type);
  PutUInt16LE(&d[kFldSubtypeOffset], info.Subtype);
  bool sized = info.Type == bdeZString || info.Type == bdeBytes;
  PutUInt16LE(&d[kFldUnits1Offset], sized ? static_cast<uint16_t>(info.Length) : 0);
  PutUInt16LE(&d[kFldLengthOffset], static_cast<uint16_t>(info.Length));
  return d;
}

TqdIndexDescBytes MakeIndexDesc(const TqdDictIndex& index) {
  TqdIndexDescBytes d{};
  PutText(&d[kIdxNameOffset], index.Name.View(), kIdxNameSize);
  PutUInt16LE(&d[kIdxNumberOffset], static_cast<uint16_t>(index.Number));
  PutText(&d[kIdxFormatOffset], "BTREE", kIdxFormatSize);
  PutFlag(&d[kIdxUniqueOffset], !index.AllowDuplicates);
  PutFlag(&d[kIdxDescendingOffset], !index.Ascending);
  PutFlag(&d[kIdxMaintainedOffset], true);
  if (index.IsUserDefined()) {
    PutFlag(&d[kIdxExpressionOffset], true);
  } else {
    int32_t count = index.FieldCount < kMaxKeyFields ? index.FieldCount : kMaxKeyFields;
    PutUInt16LE(&d[kIdxKeyFieldCountOffset], static_cast<uint16_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      PutUInt16LE(&d[kIdxKeyFieldsOffset + 2 * k], static_cast<uint16_t>(index.FieldNumbers[k] + 1));
    }
  }
  PutUInt16LE(&d[kIdxKeyLengthOffset], static_cast<uint16_t>(index.KeyLength));
  PutFlag(&d[kIdxCaseInsensitiveOffset], index.CaseInsensitive);
  return d;
}

TqdValidityDescBytes MakeValidityDesc(const TqdDictValidity& validity, int32_t fieldNumber,
                                      bool required) {
  TqdValidityDescBytes d{};
  PutUInt16LE(&d[kVchkFieldNumberOffset], static_cast<uint16_t>(fieldNumber));
  PutFlag(&d[kVchkRequiredOffset], required);
  PutFlag(&d[kVchkHasMinimumOffset], validity.HasMinimum);
  PutFlag(&d[kVchkHasMaximumOffset], validity.HasMaximum);
  PutFlag(&d[kVchkHasDefaultOffset], validity.HasDefault);
  // Whole value areas: a field of up to 256 bytes keeps its full value.
  if (validity.HasMinimum) std::memcpy(&d[kVchkMinimumOffset], validity.MinimumValue.data(), kValidityValueSize);
  if (validity.HasMaximum) std::memcpy(&d[kVchkMaximumOffset], validity.MaximumValue.data(), kValidityValueSize);
  if (validity.HasDefault) std::memcpy(&d[kVchkDefaultOffset], validity.DefaultValue.data(), kValidityValueSize);
  PutText(&d[kVchkPictureOffset], validity.Picture.View(), kVchkPictureSize);
  return d;
}

}  // namespace qd
