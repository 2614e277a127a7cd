// TttBaseTable: creation, properties, primitives and the operations that the
// engine-neutral cursor answers by itself or does not support;
// TttFieldDescItem and TqdEmptyTable. Reading, counting, blocks and field
// access are in table_navigation.cpp.
// Thread rules: one thread at a time (the user-interface thread).
#include "callif/QDTTTabl.h"

#include <cstring>

#include "base/endian.h"

namespace qd {

namespace {

constexpr uint32_t kTablePropVersion = 0;  // the 16-bit value 20
constexpr uint32_t kTablePropNone = 1;     // answers nothing
constexpr uint32_t kTablePropZero = 5;     // the 32-bit value 0
constexpr uint16_t kTableVersion = 20;

std::string CutText(const char* text, size_t capacity) {
  std::string_view view = text == nullptr ? std::string_view() : std::string_view(text);
  return std::string(view.substr(0, capacity));
}

}  // namespace

TttFieldDescItem::TttFieldDescItem(TttCollection* collection, const TqdFieldDescBytes& physical,
                                   const TqdFieldDescBytes* logical)
    : TttCollectionItem(nullptr, collection),
      Physical(physical),
      Logical(logical != nullptr ? *logical : physical) {}

TttBaseTable::TttBaseTable(TttCollectionItem* parent, TttCollection* collection,
                           std::string_view tableName, const char* indexName, int16_t indexId,
                           int32_t openMode, int32_t shareMode, int32_t translationMode)
    : TttBapiListItem(parent, collection),
      indexId_(indexId),
      openMode_(openMode),
      shareMode_(shareMode),
      tableName_(tableName.substr(0, kCursorNameCapacity)),
      translationMode_(translationMode) {
  indexName_ = CutText(indexName, kIndexNameCapacity);
  TttBaseTable::AfterCreate();
}

TttBaseTable::~TttBaseTable() {
  TttBaseTable::BeforeClose();
  // Filters refer to the field descriptors, so they go first.
  filters_.Clear();
  fieldDescs_.Clear();
}

void TttBaseTable::SetIndex(int16_t id, std::string_view name) {
  indexId_ = id;
  indexName_ = std::string(name.substr(0, kIndexNameCapacity));
}

// Slot 0: a value goes out only into a buffer that holds it.
TqdResult TttBaseTable::GetProp(uint32_t property, void* buffer, uint16_t& length,
                                uint16_t bufferSize) {
  auto* out = static_cast<uint8_t*>(buffer);
  switch (property) {
    case kTablePropVersion:
      if (out == nullptr || bufferSize < 2) return SetResult(qdErrInvalidParam);
      PutUInt16LE(out, kTableVersion);
      length = 2;
      return SetResult(qdOK);
    case kTablePropNone:
      length = 0;
      return SetResult(qdOK);
    case kTablePropZero:
      if (out == nullptr || bufferSize < 4) return SetResult(qdErrInvalidParam);
      PutUInt32LE(out, 0);
      length = 4;
      return SetResult(qdOK);
    default:
      return NotSupportedQuietly();
  }
}

TqdResult TttBaseTable::SetProp(uint32_t, uint32_t) {
  return SetResult(qdOK);
}

TqdResult TttBaseTable::ValidateProp(uint32_t property, bool forWriting) {
  bool readOnly = property == kTablePropVersion || property == kTablePropNone;
  return SetResult(readOnly && forWriting ? qdErrNotSupported : qdOK);
}

// Slots 3 to 20.
int32_t TttBaseTable::BookmarkSize() {
  return 0;
}
std::string_view TttBaseTable::GetFullName() {
  return fullName_;
}
std::string_view TttBaseTable::GetIndexName() {
  return indexName_;
}
int32_t TttBaseTable::RecordLength() {
  return 0;
}
std::string_view TttBaseTable::GetTableName() {
  return tableName_;
}
void TttBaseTable::SetFullName(const char* text) {
  fullName_ = CutText(text, kCursorNameCapacity);
}
void TttBaseTable::SetTableName(const char* text) {
  tableName_ = CutText(text, kCursorNameCapacity);
}
bool TttBaseTable::RecordVisible(const uint8_t*) {
  return true;
}

TqdResult TttBaseTable::ReadNext(int32_t, uint8_t*, uint8_t*) {
  return SetResult(qdErrNotImplemented);
}
TqdResult TttBaseTable::ReadPrior(int32_t, uint8_t*, uint8_t*) {
  return SetResult(qdErrNotImplemented);
}
TqdResult TttBaseTable::ReadCurrent(int32_t, uint8_t*, uint8_t*) {
  return SetResult(qdErrNotImplemented);
}
void TttBaseTable::BuildFieldDescs() {}
void TttBaseTable::BeforeClose() {}
void TttBaseTable::AfterCreate() {}
int32_t TttBaseTable::CompareValues(const void*, const void*, int32_t, bool) {
  return 0;
}
TqdResult TttBaseTable::TranslateGet(int32_t, const uint8_t*, bool&, void*) {
  return NotSupported("TttBaseTable.TranslateGet");
}
TqdResult TttBaseTable::TranslatePut(int32_t, uint8_t*, const void*) {
  return NotSupported("TttBaseTable.TranslatePut");
}

// Slots 21 to 107. The filter operations (22, 23, 34, 37, 55) are in
// table_filters.cpp.
TqdResult TttBaseTable::AcqTableLock(int32_t) {
  return NotSupported("TttBaseTable.AcqTableLock");
}
TqdResult TttBaseTable::AddIndex(const uint8_t*, const char*) {
  return NotSupported("TttBaseTable.AddIndex");
}

TqdResult TttBaseTable::AppendRecord(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  SetToEnd();
  return SetResult(InsertRecord(dbiNOLOCK, record));
}

TqdResult TttBaseTable::ApplyDelayedUpdates() {
  return NotSupported("TttBaseTable.ApplyDelayedUpdates");
}
TqdResult TttBaseTable::BeginDelayedUpdates() {
  return NotSupported("TttBaseTable.BeginDelayedUpdates");
}
TqdResult TttBaseTable::BeginLinkMode() {
  return NotSupported("TttBaseTable.BeginLinkMode");
}
TqdResult TttBaseTable::CloneCursor(bool, TttBaseTable*& cursor) {
  cursor = nullptr;
  return NotSupported("TttBaseTable.CloneCursor");
}
TqdResult TttBaseTable::CloseCursor() {
  SetOpen(false);
  return SetResult(qdOK);
}
TqdResult TttBaseTable::CloseIndex() {
  return NotSupported("TttBaseTable.CloseIndex");
}
TqdResult TttBaseTable::CompareBookMarks(const uint8_t*, const uint8_t*, int32_t&) {
  return NotSupported("TttBaseTable.CompareBookMarks");
}
TqdResult TttBaseTable::CompareKeys() {
  return NotSupported("TttBaseTable.CompareKeys");
}
TqdResult TttBaseTable::DeleteIndex() {
  return NotSupported("TttBaseTable.DeleteIndex");
}
TqdResult TttBaseTable::DeleteRecord(uint8_t*) {
  return NotSupported("TttBaseTable.DeleteRecord");
}
TqdResult TttBaseTable::EndDelayedUpdates() {
  return NotSupported("TttBaseTable.EndDelayedUpdates");
}
TqdResult TttBaseTable::EmptyTable() {
  return NotSupported("TttBaseTable.EmptyTable");
}
TqdResult TttBaseTable::EndLinkMode() {
  return NotSupported("TttBaseTable.EndLinkMode");
}
TqdResult TttBaseTable::ExtractKey(const uint8_t*, uint8_t*) {
  return NotSupported("TttBaseTable.ExtractKey");
}

TqdResult TttBaseTable::ForceRecordReread(uint8_t* record) {
  TqdResult result = ForceReread();
  if (result != qdOK) return SetResult(result);
  return SetResult(GetRecord(dbiNOLOCK, record, nullptr));
}

TqdResult TttBaseTable::ForceReread() {
  return SetResult(qdOK);
}
TqdResult TttBaseTable::FreeBlob(uint8_t*, int32_t) {
  return NotSupported("TttBaseTable.FreeBlob");
}
TqdResult TttBaseTable::GetBlob(uint8_t*, int32_t, uint32_t, uint32_t, uint8_t*,
                                uint32_t& lengthRead) {
  lengthRead = 0;
  return NotSupported("TttBaseTable.GetBlob");
}
TqdResult TttBaseTable::GetBlobHeading() {
  return NotSupportedQuietly();
}
TqdResult TttBaseTable::GetBlobSize(uint8_t*, int32_t, uint32_t& size) {
  size = 0;
  return NotSupported("TttBaseTable.GetBlobSize");
}
TqdResult TttBaseTable::GetBookMark(uint8_t*) {
  return NotSupported("TttBaseTable.GetBookMark");
}
TqdResult TttBaseTable::GetCallBack() {
  return NotSupported("TttBaseTable.GetCallBack");
}

TqdResult TttBaseTable::GetCursorProps(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kCursorPropsSize);
  return SetResult(qdOK);
}

TqdResult TttBaseTable::GetDelayedUpdates() {
  return NotSupported("TttBaseTable.GetDelayedUpdates");
}
TqdResult TttBaseTable::GetIndexDesc(int32_t, uint8_t*) {
  return NotSupported("TttBaseTable.GetIndexDesc");
}
TqdResult TttBaseTable::GetIndexForField() {
  return NotSupported("TttBaseTable.GetIndexForField");
}
TqdResult TttBaseTable::GetIndexSeqNo(const char*, const char*, int32_t&, int16_t) {
  return NotSupported("TttBaseTable.GetIndexSeqNo");
}
TqdResult TttBaseTable::GetLdObj(void*& object) {
  object = nullptr;
  return SetResult(qdOK);
}
TqdResult TttBaseTable::GetLinkStatus() {
  return NotSupported("TttBaseTable.GetLinkStatus");
}
TqdResult TttBaseTable::GetRecordForKey(bool, int32_t, int32_t, const uint8_t*, int32_t, uint8_t*) {
  return NotSupported("TttBaseTable.GetRecordForKey");
}
TqdResult TttBaseTable::GetRintDesc() {
  return NotSupported("TttBaseTable.GetRintDesc");
}
TqdResult TttBaseTable::GetSeqNo() {
  return NotSupported("TttBaseTable.GetSeqNo");
}
TqdResult TttBaseTable::GetVchkDesc(int32_t, uint8_t*) {
  return NotSupported("TttBaseTable.GetVchkDesc");
}

TqdResult TttBaseTable::InitRecord(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, static_cast<size_t>(std::max<int32_t>(RecordLength(), 0)));
  return SetResult(qdOK);
}

TqdResult TttBaseTable::InsertRecord(int32_t, uint8_t*) {
  return NotSupported("TttBaseTable.InsertRecord");
}
TqdResult TttBaseTable::IsRecordLocked() {
  return NotSupported("TttBaseTable.IsRecordLocked");
}
TqdResult TttBaseTable::IsTableLocked(int32_t, int32_t& locked) {
  locked = 0;
  return NotSupported("TttBaseTable.IsTableLocked");
}

// The answer does not become the cursor's result.
TqdResult TttBaseTable::IsTableShared(bool& shared) {
  shared = false;
  return qdOK;
}

TqdResult TttBaseTable::LinkDetail() {
  return NotSupported("TttBaseTable.LinkDetail");
}
TqdResult TttBaseTable::LinkDetailToExp() {
  return NotSupportedQuietly();
}
TqdResult TttBaseTable::MakePermanent() {
  return NotSupported("TttBaseTable.MakePermanent");
}
TqdResult TttBaseTable::ModifyRecord(uint8_t*, bool) {
  return NotSupported("TttBaseTable.ModifyRecord");
}
TqdResult TttBaseTable::OpenBlob(uint8_t*, int32_t, int32_t) {
  return NotSupported("TttBaseTable.OpenBlob");
}
TqdResult TttBaseTable::OpenIndex() {
  return NotSupported("TttBaseTable.OpenIndex");
}
TqdResult TttBaseTable::OpenLockList() {
  return NotSupported("TttBaseTable.OpenLockList");
}
TqdResult TttBaseTable::Open() {
  SetOpen(true);
  return SetResult(qdOK);
}
TqdResult TttBaseTable::PutBlob(uint8_t*, int32_t, uint32_t, uint32_t, const uint8_t*) {
  return NotSupported("TttBaseTable.PutBlob");
}
TqdResult TttBaseTable::RegenIndexes() {
  return NotSupported("TttBaseTable.RegenIndexes");
}
TqdResult TttBaseTable::RegisterCallBack() {
  return NotSupported("TttBaseTable.RegisterCallBack");
}
TqdResult TttBaseTable::RelRecordLock(bool) {
  return NotSupported("TttBaseTable.RelRecordLock");
}
TqdResult TttBaseTable::RelTableLock(bool, int32_t) {
  return NotSupported("TttBaseTable.RelTableLock");
}
TqdResult TttBaseTable::ResetRange() {
  return NotSupported("TttBaseTable.ResetRange");
}
TqdResult TttBaseTable::SaveChanges() {
  return SetResult(qdOK);
}
TqdResult TttBaseTable::SetFieldMap() {
  return NotSupported("TttBaseTable.SetFieldMap");
}
TqdResult TttBaseTable::SetRange(bool, int32_t, int32_t, const uint8_t*, bool, int32_t, int32_t,
                                 const uint8_t*, bool) {
  return NotSupported("TttBaseTable.SetRange");
}
TqdResult TttBaseTable::SetToBegin() {
  return NotSupported("TttBaseTable.SetToBegin");
}
TqdResult TttBaseTable::SetToBookmark(const uint8_t*) {
  return NotSupported("TttBaseTable.SetToBookmark");
}
TqdResult TttBaseTable::SetToCursor(TttBaseTable*) {
  return NotSupported("TttBaseTable.SetToCursor");
}
TqdResult TttBaseTable::SetToEnd() {
  return NotSupported("TttBaseTable.SetToEnd");
}
TqdResult TttBaseTable::SetToKey(int32_t, bool, int32_t, int32_t, const uint8_t*) {
  return NotSupported("TttBaseTable.SetToKey");
}
TqdResult TttBaseTable::SetToRecordNo() {
  return NotSupportedQuietly();
}
TqdResult TttBaseTable::SetToSeqNo() {
  return NotSupportedQuietly();
}
TqdResult TttBaseTable::SwitchToIndex(const char*, const char*, int16_t, bool) {
  return NotSupported("TttBaseTable.SwitchToIndex");
}
TqdResult TttBaseTable::TruncateBlob(uint8_t*, int32_t, uint32_t) {
  return NotSupported("TttBaseTable.TruncateBlob");
}
TqdResult TttBaseTable::UndeleteRecord() {
  return NotSupportedQuietly();
}
TqdResult TttBaseTable::UnlinkDetail() {
  return NotSupported("TttBaseTable.UnlinkDetail");
}
TqdResult TttBaseTable::VerifyField() {
  return NotSupported("TttBaseTable.VerifyField");
}

TqdEmptyTable::TqdEmptyTable(TttCollectionItem* parent, std::string_view name,
                             TttCollection* collection)
    : TttBaseTable(parent, collection, name, nullptr, 0, 0, 0, 0) {}

TqdResult TqdEmptyTable::ReadNext(int32_t, uint8_t*, uint8_t*) {
  return SetResult(qdErrEOF);
}
TqdResult TqdEmptyTable::ReadPrior(int32_t, uint8_t*, uint8_t*) {
  return SetResult(qdErrBOF);
}

}  // namespace qd
