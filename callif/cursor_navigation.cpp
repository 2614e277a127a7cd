// TQDClientTable: the cursor operations that the server carries out on its
// cursor: reads (the three primitives), positioning, counting, bookmarks,
// key searches, ranges and key extraction. Each sets 9473 before it builds
// its request, as every allocating operation does.
// Thread rules: the user-interface thread only.
#include <cstring>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/cursor_requests.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "dict/QDCLConv.h"

namespace qd {

// Slots 12 to 14: the record (at most the record length) goes into the
// buffer; without one the server still moves.
TqdResult TQDClientTable::ReadRecord(TqdMsgID msg, int32_t lock, uint8_t* record, uint8_t* properties) {
  if (properties != nullptr) std::memset(properties, 0, 4);
  const int32_t length = record == nullptr ? 0 : RecordLength();
  auto request = EncodeReadRecord(cursorId_, length, record == nullptr ? 0 : BookmarkSize(),
                                  static_cast<uint8_t>(LockTypeToEngine(lock)));
  return SetResult(SendRequest(commsEngine_, msg,
                               TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                               TqdReplyTarget{.Buffer = record, .Length = static_cast<uint32_t>(length)}));
}
TqdResult TQDClientTable::ReadNext(int32_t lock, uint8_t* record, uint8_t* properties) {
  return ReadRecord(msgGetNextRecord, lock, record, properties);
}
TqdResult TQDClientTable::ReadPrior(int32_t lock, uint8_t* record, uint8_t* properties) {
  return ReadRecord(msgGetPriorRecord, lock, record, properties);
}
TqdResult TQDClientTable::ReadCurrent(int32_t lock, uint8_t* record, uint8_t* properties) {
  return ReadRecord(msgGetRecord, lock, record, properties);
}

TqdResult TQDClientTable::SetToBegin() {
  return SetResult(SendRecord(commsEngine_, msgSetToBegin, EncodeInt32Record(cursorId_)));
}
TqdResult TQDClientTable::SetToEnd() {
  return SetResult(SendRecord(commsEngine_, msgSetToEnd, EncodeInt32Record(cursorId_)));
}
TqdResult TQDClientTable::ResetRange() {
  return SetResult(SendRecord(commsEngine_, msgResetRange, EncodeInt32Record(cursorId_)));
}

// Slot 65: the count the server gives (inside the cursor's range).
TqdResult TQDClientTable::GetRecordCount(uint32_t& count) {
  count = 0;
  uint8_t reply[4];
  TqdResult result = SendRecord(commsEngine_, msgGetRecordCount, EncodeInt32Record(cursorId_), reply, sizeof reply);
  if (result == qdOK) count = GetUInt32LE(reply);
  return SetResult(result);
}

// Slot 52: the server cannot see the filters, so with one active the
// records are counted here.
TqdResult TQDClientTable::GetExactRecordCount(uint32_t& count) {
  return SetResult(FiltersActive() ? TttBaseTable::GetRecordCount(count) : GetRecordCount(count));
}

// Slots 48, 96, 32.
TqdResult TQDClientTable::GetBookMark(uint8_t* bookmark) {
  if (bookmark == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  auto request = EncodeBookmarkRequest(cursorId_, BookmarkSize());
  return SetResult(SendRequest(commsEngine_, msgGetBookmark, RequestOf(request),
                               TqdReplyTarget{.Buffer = bookmark,
                                              .Length = static_cast<uint32_t>(BookmarkSize()),
                                              .FixedSize = true}));
}

TqdResult TQDClientTable::SetToBookmark(const uint8_t* bookmark) {
  if (bookmark == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  const size_t size = static_cast<size_t>(BookmarkSize());
  auto request = EncodeBookmarkRequest(cursorId_, BookmarkSize(), {{bookmark, size}});
  return SetResult(SendRequest(commsEngine_, msgSetToBookmark, RequestOf(request), TqdReplyTarget{}));
}

TqdResult TQDClientTable::CompareBookMarks(const uint8_t* bookmark1, const uint8_t* bookmark2, int32_t& comparison) {
  comparison = 0;
  if (bookmark1 == nullptr || bookmark2 == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  const size_t size = static_cast<size_t>(BookmarkSize());
  auto request = EncodeBookmarkRequest(cursorId_, BookmarkSize(), {{bookmark1, size}, {bookmark2, size}});
  uint8_t reply[4];
  TqdResult result = SendRequest(commsEngine_, msgCompareBookmarks, RequestOf(request),
                                 TqdReplyTarget{.Buffer = reply, .Length = sizeof reply, .FixedSize = true});
  if (result == qdOK) {
    const int32_t sign = GetInt32LE(reply);
    comparison = sign < 0 ? -1 : (sign > 0 ? 1 : 0);
  }
  return SetResult(result);
}

// The key a search sends: the index's key, or a whole record holding it.
int32_t TQDClientTable::SearchKeyLength(bool keyItself) { return keyItself ? KeyLength() : RecordLength(); }

// Slot 99.
TqdResult TQDClientTable::SetToKey(int32_t searchCondition, bool keyItself, int32_t fieldCount,
                                   int32_t partialLength, const uint8_t* key) {
  if (key == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  auto request = EncodeSetToKey(cursorId_, static_cast<uint8_t>(SearchCondToEngine(searchCondition)), keyItself,
                                fieldCount, partialLength,
                                {key, static_cast<size_t>(SearchKeyLength(keyItself))});
  return SetResult(SendRequest(commsEngine_, msgSetToKey, RequestOf(request), TqdReplyTarget{}));
}

// Slot 66. The request carries no lock: a lock asked for is taken by
// reading the record found again under it, so that the caller holds data
// read under the lock.
TqdResult TQDClientTable::GetRecordForKey(bool keyItself, int32_t fieldCount, int32_t partialLength,
                                          const uint8_t* key, int32_t lock, uint8_t* record) {
  if (!keyItself && indexId_ == 0) return SetResult(qdErrInvalidIndexType);
  if (key == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  const int32_t length = record == nullptr ? 0 : RecordLength();
  auto request = EncodeRecordForKey(cursorId_, keyItself, fieldCount, partialLength, length, BookmarkSize(),
                                    {key, static_cast<size_t>(SearchKeyLength(keyItself))});
  TqdResult result = SendRequest(commsEngine_, msgGetRecordForKey, RequestOf(request),
                                 TqdReplyTarget{.Buffer = record, .Length = static_cast<uint32_t>(length)});
  if (result == qdOK && lock != dbiNOLOCK) result = ReadCurrent(lock, record, nullptr);
  return SetResult(result);
}

// Slot 94.
TqdResult TQDClientTable::SetRange(bool keyItself, int32_t lowFieldCount, int32_t lowPartialLength,
                                   const uint8_t* lowKey, bool lowInclusive, int32_t highFieldCount,
                                   int32_t highPartialLength, const uint8_t* highKey, bool highInclusive) {
  SetResult(qdErrNoMemory);
  const int32_t length = SearchKeyLength(keyItself);
  auto request = EncodeSetRange(cursorId_, keyItself, {lowFieldCount, lowPartialLength, lowKey, length, lowInclusive},
                                {highFieldCount, highPartialLength, highKey, length, highInclusive});
  return SetResult(SendRequest(commsEngine_, msgSetRange, RequestOf(request), TqdReplyTarget{}));
}

// Slot 41: built here from a record whenever the dictionary can build the
// index's key; the server is asked for a user-defined key or for the key of
// the current record.
TqdResult TQDClientTable::ExtractKey(const uint8_t* record, uint8_t* key) {
  if (key == nullptr) return SetResult(qdErrInvalidParam);
  if (record != nullptr && indexId_ >= 0 && indexId_ < dictionary_.IndexCount() &&
      !dictionary_.IndexIsUserDefined(indexId_)) {
    dictionary_.BuildCompositeKey(indexId_, record, key);
    return SetResult(qdOK);
  }
  SetResult(qdErrNoMemory);
  auto request = EncodeExtractKey(
      cursorId_, KeyLength(),
      record == nullptr ? TqdBytesIn{} : TqdBytesIn{record, static_cast<size_t>(RecordLength())});
  return SetResult(SendRequest(commsEngine_, msgExtractKey, RequestOf(request),
                               TqdReplyTarget{.Buffer = key, .Length = static_cast<uint32_t>(KeyLength())}));
}

// Slot 29: the clone reads the same table by the same index from the same
// position; it joins this cursor's collection and has its own copy of the
// dictionary.
TqdResult TQDClientTable::CloneCursor(bool readOnly, TttBaseTable*& cursor) {
  cursor = nullptr;
  SetResult(qdErrNoMemory);
  auto request = EncodeLockRequest(cursorId_, readOnly ? 0 : 1);
  uint8_t reply[4];
  TqdResult result = SendRecord(commsEngine_, msgCloneCursor, request, reply, sizeof reply);
  if (result != qdOK) return SetResult(result);
  auto* clone = new TQDClientTable(Database(), Collection(), tableName_, indexName_.c_str(), indexId_, openMode_,
                                   shareMode_, translationMode_, commsEngine_);
  TqdMemoryStream copy;
  dictionary_.SaveToStream(copy);
  copy.Seek(0);
  clone->dictionary_.LoadFromStream(copy);
  clone->cursorId_ = GetInt32LE(reply);
  clone->fullName_ = fullName_;
  clone->SetOpen(IsOpen());
  clone->BuildFieldDescs();
  cursor = clone;
  return SetResult(qdOK);
}

// Slot 97: only another cursor of this engine's tables can be followed.
TqdResult TQDClientTable::SetToCursor(TttBaseTable* source) {
  auto* from = dynamic_cast<TQDClientTable*>(source);
  if (from == nullptr) return SetResult(qdErrInvalidHandle);
  return SetResult(SendRecord(commsEngine_, msgSetToCursor, EncodeTwoWords(from->cursorId_, cursorId_)));
}

}  // namespace qd
