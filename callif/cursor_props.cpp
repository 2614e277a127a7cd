// What a table cursor tells of itself: the BDE cursor-properties record.
#include <cstring>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/QDTTDbas.h"
#include "callif/catalogue.h"

namespace qd {

namespace {

// Offsets in the 427-byte record; all 16-bit unless noted.
constexpr size_t kPropName = 0;  // 260 characters and a zero
constexpr size_t kPropFileNameSize = 261;
constexpr size_t kPropTableType = 263;  // 31 characters and a zero
constexpr size_t kPropFields = 295;
constexpr size_t kPropRecordSize = 297;
constexpr size_t kPropRecordBufferSize = 299;
constexpr size_t kPropKeySize = 301;
constexpr size_t kPropIndexes = 303;
constexpr size_t kPropValChecks = 305;
constexpr size_t kPropBookmarkSize = 309;
constexpr size_t kPropBookmarkStable = 311;
constexpr size_t kPropOpenMode = 313;   // 32-bit
constexpr size_t kPropShareMode = 317;  // 32-bit
constexpr size_t kPropIndexed = 321;
constexpr size_t kPropSeqNums = 323;
constexpr size_t kPropTranslation = 331;  // 32-bit
constexpr size_t kPropRights = 339;
constexpr size_t kPropFilters = 391;
static_assert(kPropFilters + 2 <= kCursorPropsSize);

}  // namespace

TqdResult TQDClientTable::GetCursorProps(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kCursorPropsSize);
  if (fieldDescs_.Count() == 0) BuildFieldDescs();
  PutZeroText(record + kPropName, kCursorNameCapacity, tableName_);
  PutUInt16LE(record + kPropFileNameSize, 255);
  PutZeroText(record + kPropTableType, 31, "QD");
  PutUInt16LE(record + kPropFields, static_cast<uint16_t>(dictionary_.FieldCount()));
  int32_t recordSize = RecordLength();
  if (translationMode_ == xltFIELD) {
    recordSize = 0;
    if (fieldDescs_.Count() > 0) {
      const auto* last = static_cast<const TttFieldDescItem*>(fieldDescs_.Item(fieldDescs_.Count() - 1));
      recordSize = GetUInt16LE(last->Logical.data() + kFldOffsetOffset) + GetUInt16LE(last->Logical.data() + kFldLengthOffset);
    }
  }
  PutUInt16LE(record + kPropRecordSize, static_cast<uint16_t>(recordSize));
  PutUInt16LE(record + kPropRecordBufferSize, static_cast<uint16_t>(RecordLength()));
  PutUInt16LE(record + kPropKeySize, static_cast<uint16_t>(KeyLength()));
  PutUInt16LE(record + kPropIndexes, static_cast<uint16_t>(dictionary_.IndexCount()));
  PutUInt16LE(record + kPropValChecks, static_cast<uint16_t>(CountValidityEntries(dictionary_)));
  PutUInt16LE(record + kPropBookmarkSize, static_cast<uint16_t>(BookmarkSize()));
  PutInt16LE(record + kPropBookmarkStable, -1);
  PutInt32LE(record + kPropOpenMode, openMode_);
  PutInt32LE(record + kPropShareMode, shareMode_);
  PutInt16LE(record + kPropIndexed, -1);
  PutInt16LE(record + kPropSeqNums, -1);
  PutInt32LE(record + kPropTranslation, translationMode_);
  PutUInt16LE(record + kPropRights, 255);
  PutUInt16LE(record + kPropFilters, static_cast<uint16_t>(filters_.Count()));
  return SetResult(qdOK);
}

}  // namespace qd
