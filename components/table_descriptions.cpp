#include "components/table_descriptions.h"

#include <cstring>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "dict/QDCLConv.h"

namespace qd {

namespace {

TqdFieldType BlobTypeOf(uint16_t subtype) {
  switch (subtype) {
    case bdeSubMemo: return TqdFieldType::ftMemo;
    case bdeSubFmtMemo: return TqdFieldType::ftFmtMemo;
    case bdeSubOleObj: return TqdFieldType::ftParadoxOle;
    case bdeSubGraphic: return TqdFieldType::ftGraphic;
    case bdeSubDbaseOle: return TqdFieldType::ftDBaseOle;
    case bdeSubTypedBinary: return TqdFieldType::ftTypedBinary;
    default: return TqdFieldType::ftBlob;
  }
}

bool KeepsSize(TqdFieldType type) {
  return type == TqdFieldType::ftString || type == TqdFieldType::ftBCD || type == TqdFieldType::ftBytes;
}

bool Flag(const uint8_t* descriptor, size_t offset) { return GetUInt16LE(descriptor + offset) != 0; }

}  // namespace

TqdFieldType FieldTypeOf(uint16_t bdeType, uint16_t subtype) {
  using enum TqdFieldType;
  switch (bdeType) {
    case bdeZString: return ftString;
    case bdeDate: return ftDate;
    case bdeBlob: return BlobTypeOf(subtype);
    case bdeBool: return ftBoolean;
    case bdeInt16: return ftSmallint;
    case bdeInt32: return subtype == bdeSubAutoInc ? ftAutoInc : ftInteger;
    case bdeFloat: return subtype == bdeSubMoney ? ftCurrency : ftFloat;
    case bdeBcd: return ftBCD;
    case bdeBytes: return ftBytes;
    case bdeTime: return ftTime;
    case bdeTimeStamp: return ftDateTime;
    case bdeUInt16: return ftWord;
    case bdeUInt32: return ftInteger;
    case bdeVarBytes: return ftVarBytes;
    case kBdeInt64: return ftLargeint;
    default: return ftUnknown;
  }
}

bool MakeFieldDef(const TqdDictField& field, int32_t fieldNo, TqdFieldDef& def) {
  TqdBDETypeInfo info{};
  try {
    info = BDETypeFromEngine(field.FieldType, field.Length);
  } catch (const EqdException&) {
    return false;
  }
  TqdFieldType type = FieldTypeOf(info.Type, info.Subtype);
  if (type == TqdFieldType::ftUnknown) return false;
  def.Name = field.Name.Str();
  def.DataType = type;
  def.Size = KeepsSize(type) ? info.Length : 0;
  def.Required = field.Required;
  def.FieldNo = fieldNo;
  return true;
}

TqdIndexDef MakeIndexDef(const uint8_t* descriptor, const TqdFieldDefs& fields) {
  TqdIndexDef def;
  const char* name = reinterpret_cast<const char*>(descriptor + kIdxNameOffset);
  def.Name.assign(name, strnlen(name, kIdxNameSize));
  int32_t count = GetUInt16LE(descriptor + kIdxKeyFieldCountOffset);
  if (count > kMaxKeyFields) count = kMaxKeyFields;
  for (int32_t k = 0; k < count; ++k) {
    const TqdFieldDef* field = FindFieldByNumber(fields, GetUInt16LE(descriptor + kIdxKeyFieldsOffset + 2 * k));
    if (!def.Fields.empty()) def.Fields += ';';
    if (field != nullptr) def.Fields += field->Name;
  }
  if (Flag(descriptor, kIdxPrimaryOffset)) def.Options |= ixPrimary;
  if (Flag(descriptor, kIdxUniqueOffset)) def.Options |= ixUnique;
  if (Flag(descriptor, kIdxDescendingOffset)) def.Options |= ixDescending;
  if (Flag(descriptor, kIdxCaseInsensitiveOffset)) def.Options |= ixCaseInsensitive;
  if (Flag(descriptor, kIdxExpressionOffset) || count == 0) def.Options |= ixExpression;
  return def;
}

}  // namespace qd
