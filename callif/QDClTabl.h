// TQDClientTable: a table cursor opened on the server. The open reply gives
// the cursor id and the table's data dictionary, from which the cursor
// builds its field and index descriptions and its cursor properties; it
// switches index and adds indexes through the server.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string_view>

#include "callif/QDTTTabl.h"
#include "comms/QDClComm.h"
#include "dict/QDLLDict.h"

namespace qd {

class TQDClientDatabase;

class TQDClientTable : public TttBaseTable {
 public:
  TQDClientTable(TQDClientDatabase* database, TttCollection* collection, std::string_view tableName,
                 const char* indexName, int16_t indexId, int32_t openMode, int32_t shareMode,
                 int32_t translationMode, TqdClientCommsEngine* commsEngine);
  // Closes the cursor on the server when it is open there.
  ~TQDClientTable() override;

  int32_t BookmarkSize() override;
  int32_t RecordLength() override;
  void BuildFieldDescs() override;
  // The values are TqdFilterValue (callif/filter_value.h).
  int32_t CompareValues(const void* value1, const void* value2, int32_t length, bool caseInsensitive) override;
  TqdResult TranslateGet(int32_t field, const uint8_t* record, bool& blank, void* value) override;
  TqdResult TranslatePut(int32_t field, uint8_t* record, const void* value) override;
  TqdResult AddIndex(const uint8_t* indexDesc, const char* keyIndex) override;
  TqdResult CloseCursor() override;
  TqdResult GetCursorProps(uint8_t* record) override;
  TqdResult GetIndexDesc(int32_t indexNumber, uint8_t* record) override;
  TqdResult GetIndexSeqNo(const char* indexName, const char* tagName, int32_t& number, int16_t indexId) override;
  TqdResult GetVchkDesc(int32_t number, uint8_t* record) override;
  TqdResult InitRecord(uint8_t* record) override;
  TqdResult Open() override;
  // Reading and positioning on the server (cursor_navigation.cpp).
  TqdResult ReadNext(int32_t lock, uint8_t* record, uint8_t* properties) override;
  TqdResult ReadPrior(int32_t lock, uint8_t* record, uint8_t* properties) override;
  TqdResult ReadCurrent(int32_t lock, uint8_t* record, uint8_t* properties) override;
  TqdResult SetToBegin() override;
  TqdResult SetToEnd() override;
  TqdResult GetRecordCount(uint32_t& count) override;
  TqdResult GetExactRecordCount(uint32_t& count) override;
  TqdResult GetBookMark(uint8_t* bookmark) override;
  TqdResult SetToBookmark(const uint8_t* bookmark) override;
  TqdResult CompareBookMarks(const uint8_t* bookmark1, const uint8_t* bookmark2, int32_t& comparison) override;
  TqdResult SetToKey(int32_t searchCondition, bool keyItself, int32_t fieldCount, int32_t partialLength,
                     const uint8_t* key) override;
  TqdResult GetRecordForKey(bool keyItself, int32_t fieldCount, int32_t partialLength, const uint8_t* key,
                            int32_t lock, uint8_t* record) override;
  TqdResult SetRange(bool keyItself, int32_t lowFieldCount, int32_t lowPartialLength, const uint8_t* lowKey,
                     bool lowInclusive, int32_t highFieldCount, int32_t highPartialLength, const uint8_t* highKey,
                     bool highInclusive) override;
  TqdResult ResetRange() override;
  TqdResult ExtractKey(const uint8_t* record, uint8_t* key) override;
  TqdResult CloneCursor(bool readOnly, TttBaseTable*& cursor) override;
  TqdResult SetToCursor(TttBaseTable* source) override;
  // Changing records on the server (cursor_records.cpp).
  TqdResult InsertRecord(int32_t lock, uint8_t* record) override;
  TqdResult ModifyRecord(uint8_t* record, bool releaseLock) override;
  TqdResult DeleteRecord(uint8_t* record) override;
  // Locks on the server (cursor_locks.cpp).
  TqdResult AcqTableLock(int32_t lockType) override;
  TqdResult RelTableLock(bool all, int32_t lockType) override;
  TqdResult IsTableLocked(int32_t lockType, int32_t& locked) override;
  TqdResult RelRecordLock(bool all) override;
  // BLOBs on the server (cursor_blobs.cpp).
  TqdResult OpenBlob(uint8_t* record, int32_t field, int32_t openMode) override;
  TqdResult GetBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length, uint8_t* buffer,
                    uint32_t& lengthRead) override;
  TqdResult GetBlobSize(uint8_t* record, int32_t field, uint32_t& size) override;
  TqdResult PutBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length, const uint8_t* data) override;
  TqdResult TruncateBlob(uint8_t* record, int32_t field, uint32_t length) override;
  TqdResult FreeBlob(uint8_t* record, int32_t field) override;
  TqdResult SwitchToIndex(const char* indexName, const char* tagName, int16_t indexId, bool keepCurrent) override;

  TqdResult Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply);

  int32_t CursorId() const { return cursorId_; }
  TqdDataDictionary& Dictionary() { return dictionary_; }
  TQDClientDatabase* Database() const;
  TqdClientCommsEngine* CommsEngine() const { return commsEngine_; }
  // The key length of the current index (0 when the dictionary lacks it).
  int32_t KeyLength() const;

 private:
  bool HasField(int32_t field) const;
  TqdResult ReadRecord(TqdMsgID msg, int32_t lock, uint8_t* record, uint8_t* properties);
  int32_t SearchKeyLength(bool keyItself);
  TqdResult WriteRecord(TqdMsgID msg, uint8_t flag, const uint8_t* record);
  // The BLOB number a BLOB field of the record holds (0 for none); 9986,
  // 9985 or 10030 (not a BLOB field) in `result` when there is none to be had.
  int32_t BlobNumberOf(const uint8_t* record, int32_t field, TqdResult& result);

  TqdClientCommsEngine* commsEngine_;
  int32_t cursorId_ = -1;
  TqdDataDictionary dictionary_{kDefaultBlockSize};
};

}  // namespace qd
