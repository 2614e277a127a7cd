// TQDClientTable: field values between a record and the caller (slots 19
// and 20: physical bytes, or the BDE logical form with translation mode
// xltFIELD) and the order of two filter values (slot 18).
// Thread rules: the user-interface thread only.
#include <cstring>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/filter_value.h"
#include "dict/QDCLConv.h"

namespace qd {

// Slot 18: the values are TqdFilterValue, as the filters hand them over.
int32_t TQDClientTable::CompareValues(const void* value1, const void* value2, int32_t length, bool caseInsensitive) {
  return CompareFilterValues(*static_cast<const TqdFilterValue*>(value1), *static_cast<const TqdFilterValue*>(value2),
                             length, caseInsensitive);
}

bool TQDClientTable::HasField(int32_t field) const { return field >= 1 && field <= dictionary_.FieldCount(); }

// Slot 19.
TqdResult TQDClientTable::TranslateGet(int32_t field, const uint8_t* record, bool& blank, void* value) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  if (!HasField(field)) return SetResult(qdErrOutOfRange);
  const TqdDictField& desc = dictionary_.FieldDesc(field - 1);
  blank = dictionary_.FieldIsNull(field - 1, record);
  if (value == nullptr) return SetResult(qdOK);
  const bool logical = TranslationMode() == xltFIELD;
  if (blank) {
    const TttFieldDescItem* item = FieldDescOf(field);
    const size_t length = logical && item != nullptr ? GetUInt16LE(&item->Logical[kFldLengthOffset]) : desc.Length;
    std::memset(value, 0, length);
    return SetResult(qdOK);
  }
  if (!logical) {
    std::memcpy(value, record + desc.Offset, static_cast<size_t>(desc.Length));
    return SetResult(qdOK);
  }
  return SetResult(GetLogicalValue(desc.FieldType, desc.Length, record + desc.Offset, value) ? qdOK : qdErrTranslate);
}

// Slot 20.
TqdResult TQDClientTable::TranslatePut(int32_t field, uint8_t* record, const void* value) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  if (!HasField(field)) return SetResult(qdErrOutOfRange);
  const TqdDictField& desc = dictionary_.FieldDesc(field - 1);
  dictionary_.WriteFieldNull(field - 1, record, value == nullptr);
  if (value == nullptr) return SetResult(qdOK);
  if (TranslationMode() != xltFIELD) {
    std::memcpy(record + desc.Offset, value, static_cast<size_t>(desc.Length));
    return SetResult(qdOK);
  }
  return SetResult(PutLogicalValue(desc.FieldType, desc.Length, value, record + desc.Offset) ? qdOK : qdErrTranslate);
}

}  // namespace qd
