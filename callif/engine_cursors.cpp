// The engine's cursor operations: each hands the call to the live cursor
// the handle names (9990 for none) and keeps its result.
#include "callif/QDTTTabl.h"
#include "callif/engine_forward.h"

namespace qd {

namespace {


}  // namespace

TqdResult TqdClientEngine::ActivateFilter(hDBICur cursor, hDBIFilter filter) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.ActivateFilter(filter); });
}

TqdResult TqdClientEngine::AddFilter(hDBICur cursor, uint32_t clientData, uint16_t priority, bool canAbort, const uint8_t* expression, TqdFilterCallback callback, hDBIFilter& filter) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.AddFilter(clientData, priority, canAbort, expression, callback, filter); });
}

TqdResult TqdClientEngine::AppendRecord(hDBICur cursor, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.AppendRecord(record); });
}

TqdResult TqdClientEngine::CompareBookMarks(hDBICur cursor, const uint8_t* bookmark1, const uint8_t* bookmark2, int32_t& comparison) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.CompareBookMarks(bookmark1, bookmark2, comparison); });
}

TqdResult TqdClientEngine::DeactivateFilter(hDBICur cursor, hDBIFilter filter) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.DeactivateFilter(filter); });
}

TqdResult TqdClientEngine::DeleteRecord(hDBICur cursor, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.DeleteRecord(record); });
}

TqdResult TqdClientEngine::DropFilter(hDBICur cursor, hDBIFilter filter) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.DropFilter(filter); });
}

TqdResult TqdClientEngine::FreeBlob(hDBICur cursor, uint8_t* record, int32_t field) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.FreeBlob(record, field); });
}

TqdResult TqdClientEngine::GetBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t offset, uint32_t length, uint8_t* buffer, uint32_t& lengthRead) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetBlob(record, field, offset, length, buffer, lengthRead); });
}

TqdResult TqdClientEngine::GetBlobSize(hDBICur cursor, uint8_t* record, int32_t field, uint32_t& size) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetBlobSize(record, field, size); });
}

TqdResult TqdClientEngine::GetBookMark(hDBICur cursor, uint8_t* bookmark) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetBookMark(bookmark); });
}

TqdResult TqdClientEngine::GetCursorProps(hDBICur cursor, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetCursorProps(record); });
}

TqdResult TqdClientEngine::GetExactRecordCount(hDBICur cursor, uint32_t& count) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetExactRecordCount(count); });
}

TqdResult TqdClientEngine::GetIndexDesc(hDBICur cursor, int32_t indexNumber, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetIndexDesc(indexNumber, record); });
}

TqdResult TqdClientEngine::GetIndexDescs(hDBICur cursor, uint8_t* buffer) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetIndexDescs(buffer); });
}

TqdResult TqdClientEngine::GetNextRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetNextRecord(lock, record, properties); });
}

TqdResult TqdClientEngine::GetPriorRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetPriorRecord(lock, record, properties); });
}

TqdResult TqdClientEngine::GetRecord(hDBICur cursor, int32_t lock, uint8_t* record, uint8_t* properties) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetRecord(lock, record, properties); });
}

TqdResult TqdClientEngine::GetRecordForKey(hDBICur cursor, bool keyItself, int32_t fieldCount, int32_t partialLength, const uint8_t* key, int32_t lock, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.GetRecordForKey(keyItself, fieldCount, partialLength, key, lock, record); });
}

TqdResult TqdClientEngine::InitRecord(hDBICur cursor, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.InitRecord(record); });
}

TqdResult TqdClientEngine::InsertRecord(hDBICur cursor, int32_t lock, uint8_t* record) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.InsertRecord(lock, record); });
}

TqdResult TqdClientEngine::ModifyRecord(hDBICur cursor, uint8_t* record, bool releaseLock) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.ModifyRecord(record, releaseLock); });
}

TqdResult TqdClientEngine::OpenBlob(hDBICur cursor, uint8_t* record, int32_t field, int32_t openMode) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.OpenBlob(record, field, openMode); });
}

TqdResult TqdClientEngine::PutBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t offset, uint32_t length, const uint8_t* data) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.PutBlob(record, field, offset, length, data); });
}

TqdResult TqdClientEngine::PutField(hDBICur cursor, int32_t field, uint8_t* record, const void* value) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.PutField(field, record, value); });
}

TqdResult TqdClientEngine::RelRecordLock(hDBICur cursor, bool all) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.RelRecordLock(all); });
}

TqdResult TqdClientEngine::ResetRange(hDBICur cursor) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.ResetRange(); });
}

TqdResult TqdClientEngine::SetRange(hDBICur cursor, bool keyItself, int32_t lowFieldCount, int32_t lowPartialLength, const uint8_t* lowKey, bool lowInclusive, int32_t highFieldCount, int32_t highPartialLength, const uint8_t* highKey, bool highInclusive) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.SetRange(keyItself, lowFieldCount, lowPartialLength, lowKey, lowInclusive, highFieldCount, highPartialLength, highKey, highInclusive); });
}

TqdResult TqdClientEngine::SetToBegin(hDBICur cursor) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.SetToBegin(); });
}

TqdResult TqdClientEngine::SetToBookmark(hDBICur cursor, const uint8_t* bookmark) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.SetToBookmark(bookmark); });
}

TqdResult TqdClientEngine::SetToEnd(hDBICur cursor) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.SetToEnd(); });
}

TqdResult TqdClientEngine::SwitchToIndex(hDBICur cursor, const char* indexName, const char* tagName, int16_t indexId, bool keepCurrent) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.SwitchToIndex(indexName, tagName, indexId, keepCurrent); });
}

TqdResult TqdClientEngine::TruncateBlob(hDBICur cursor, uint8_t* record, int32_t field, uint32_t length) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) { return c.TruncateBlob(record, field, length); });
}

TqdResult TqdClientEngine::CloneCursor(hDBICur cursor, bool readOnly, hDBICur& clone) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) {
    TttBaseTable* made = nullptr;
    TqdResult result = c.CloneCursor(readOnly, made);
    clone = made == nullptr ? nullptr : made->Handle();
    return result;
  });
}

TqdResult TqdClientEngine::CloseCursor(hDBICur& cursor) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) {
    TqdResult result = ClosedAnyway(c.CloseCursor());
    delete &c;
    cursor = nullptr;
    return result;
  });
}

TqdResult TqdClientEngine::GetField(hDBICur cursor, int32_t field, const uint8_t* record, void* value,
                                    int32_t& blank) {
  return Forward<TttBaseTable>(cursor, [&](TttBaseTable& c) {
    bool isBlank = false;
    TqdResult result = c.GetField(field, record, value, isBlank);
    if (result == qdOK) blank = isBlank ? -1 : 0;
    return result;
  });
}

TqdResult TqdClientEngine::SetToCursor(hDBICur first, hDBICur second) {
  auto* source = LiveObject<TttBaseTable>(first);
  return Forward<TttBaseTable>(second, [&](TttBaseTable& c) { return c.SetToCursor(source); });
}

}  // namespace qd
