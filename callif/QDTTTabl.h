// TttBaseTable: the engine-neutral cursor. Its virtual operations follow the
// BDE cursor operations: slots 0 to 20 are the primitives and internal
// operations that derived cursors override, slots 21 to 107 the cursor
// operations in the alphabetical order of their BDE names. Everything that
// can be built from the primitives (read next, prior and current, record
// length, bookmark size) is built here: record navigation with the
// client-side filters, relative moves, block reads and writes, counting by
// scanning, field access through field descriptors. Every other operation
// answers 12289, most of them after the not-supported message box.
//
// Also TttFieldDescItem (one field's BDE descriptors) and TqdEmptyTable, a
// cursor without records.
// Thread rules: one thread at a time (the user-interface thread).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "callif/QDTTBapi.h"
#include "dict/bde_desc.h"

namespace qd {

class TttFilterListItem;

inline constexpr size_t kCursorNameCapacity = 260;
inline constexpr size_t kIndexNameCapacity = 31;
// The BDE cursor-properties record.
inline constexpr size_t kCursorPropsSize = 427;

// BDE open, share and translation modes.
inline constexpr int32_t dbiREADWRITE = 0;
inline constexpr int32_t dbiREADONLY = 1;
inline constexpr int32_t dbiOPENSHARED = 0;
inline constexpr int32_t dbiOPENEXCL = 1;
inline constexpr int32_t xltFIELD = 2;  // values translated to the BDE logical types
inline constexpr int32_t dbiNOLOCK = 0;

using hDBIFilter = void*;
// A caller's record filter: non-zero accepts the record.
using TqdFilterCallback = uint16_t (*)(uint32_t clientData, const uint8_t* record, int32_t recordNumber);

// One field of a cursor: its physical descriptor (engine types), its
// logical one (BDE types) and its 1-based number.
class TttFieldDescItem : public TttCollectionItem {
 public:
  // `logical` defaults to the physical descriptor when not given.
  TttFieldDescItem(TttCollection* collection, const TqdFieldDescBytes& physical,
                   const TqdFieldDescBytes* logical = nullptr);
  TqdFieldDescBytes Physical{};
  TqdFieldDescBytes Logical{};
  int32_t FieldNumber() const { return Index() + 1; }
};

class TttBaseTable : public TttBapiListItem {
 public:
  TttBaseTable(TttCollectionItem* parent, TttCollection* collection, std::string_view tableName,
               const char* indexName, int16_t indexId, int32_t openMode, int32_t shareMode,
               int32_t translationMode);
  // Runs BeforeClose (this class's own: derived cursors close in their own
  // destructors) and frees the filters and field descriptors.
  ~TttBaseTable() override;

  // Slots 0 to 2.
  TqdResult GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize) override;
  TqdResult SetProp(uint32_t property, uint32_t value) override;
  TqdResult ValidateProp(uint32_t property, bool forWriting) override;
  // Slots 3 to 20: primitives and internal operations.
  virtual int32_t BookmarkSize();
  virtual std::string_view GetFullName();
  virtual std::string_view GetIndexName();
  virtual int32_t RecordLength();
  virtual std::string_view GetTableName();
  virtual void SetFullName(const char* text);
  virtual void SetTableName(const char* text);
  virtual bool RecordVisible(const uint8_t* record);
  virtual bool PassesFilters(const uint8_t* record);
  virtual TqdResult ReadNext(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult ReadPrior(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult ReadCurrent(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual void BuildFieldDescs();
  virtual void BeforeClose();
  virtual void AfterCreate();
  virtual int32_t CompareValues(const void* value1, const void* value2, int32_t length, bool caseInsensitive);
  virtual TqdResult TranslateGet(int32_t field, const uint8_t* record, bool& blank, void* value);
  virtual TqdResult TranslatePut(int32_t field, uint8_t* record, const void* value);
  // Slots 21 to 107: the cursor operations.
  virtual TqdResult AcqTableLock(int32_t lockType);
  virtual TqdResult ActivateFilter(hDBIFilter filter);
  virtual TqdResult AddFilter(uint32_t clientData, uint16_t priority, bool canAbort, const uint8_t* expression,
                              TqdFilterCallback callback, hDBIFilter& filter);
  virtual TqdResult AddIndex(const uint8_t* indexDesc, const char* keyIndex);
  virtual TqdResult AppendRecord(uint8_t* record);
  virtual TqdResult ApplyDelayedUpdates();
  virtual TqdResult BeginDelayedUpdates();
  virtual TqdResult BeginLinkMode();
  virtual TqdResult CloneCursor(bool readOnly, TttBaseTable*& cursor);
  virtual TqdResult CloseCursor();
  virtual TqdResult CloseIndex();
  virtual TqdResult CompareBookMarks(const uint8_t* bookmark1, const uint8_t* bookmark2, int32_t& comparison);
  virtual TqdResult CompareKeys();
  virtual TqdResult DeactivateFilter(hDBIFilter filter);
  virtual TqdResult DeleteIndex();
  virtual TqdResult DeleteRecord(uint8_t* record);
  virtual TqdResult DropFilter(hDBIFilter filter);
  virtual TqdResult EndDelayedUpdates();
  virtual TqdResult EmptyTable();
  virtual TqdResult EndLinkMode();
  virtual TqdResult ExtractKey(const uint8_t* record, uint8_t* key);
  virtual TqdResult ForceRecordReread(uint8_t* record);
  virtual TqdResult ForceReread();
  virtual TqdResult FreeBlob(uint8_t* record, int32_t field);
  virtual TqdResult GetBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length, uint8_t* buffer,
                            uint32_t& lengthRead);
  virtual TqdResult GetBlobHeading();
  virtual TqdResult GetBlobSize(uint8_t* record, int32_t field, uint32_t& size);
  virtual TqdResult GetBookMark(uint8_t* bookmark);
  virtual TqdResult GetCallBack();
  virtual TqdResult GetCursorProps(uint8_t* record);
  virtual TqdResult GetDelayedUpdates();
  virtual TqdResult GetExactRecordCount(uint32_t& count);
  virtual TqdResult GetField(int32_t field, const uint8_t* record, void* value, bool& blank);
  virtual TqdResult GetFieldDescs(uint8_t* buffer);
  virtual TqdResult GetFilterInfo(hDBIFilter filter, uint8_t* record, int32_t position);
  virtual TqdResult GetIndexDesc(int32_t indexNumber, uint8_t* record);
  virtual TqdResult GetIndexDescs(uint8_t* buffer);
  virtual TqdResult GetIndexForField();
  virtual TqdResult GetIndexSeqNo(const char* indexName, const char* tagName, int32_t& number, int16_t indexId);
  virtual TqdResult GetLdObj(void*& object);
  virtual TqdResult GetLinkStatus();
  virtual TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult GetPriorRecord(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult GetRecord(int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult GetRecordCount(uint32_t& count);
  virtual TqdResult GetRecordForKey(bool keyItself, int32_t fieldCount, int32_t partialLength, const uint8_t* key,
                                    int32_t lock, uint8_t* record);
  virtual TqdResult GetRelativeRecord(int32_t offset, int32_t lock, uint8_t* record, uint8_t* properties);
  virtual TqdResult GetRintDesc();
  virtual TqdResult GetSeqNo();
  virtual TqdResult GetVchkDesc(int32_t number, uint8_t* record);
  virtual TqdResult InitRecord(uint8_t* record);
  virtual TqdResult InsertRecord(int32_t lock, uint8_t* record);
  virtual TqdResult IsRecordLocked();
  virtual TqdResult IsTableLocked(int32_t lockType, int32_t& locked);
  virtual TqdResult IsTableShared(bool& shared);
  virtual TqdResult LinkDetail();
  virtual TqdResult LinkDetailToExp();
  virtual TqdResult MakePermanent();
  virtual TqdResult ModifyRecord(uint8_t* record, bool releaseLock);
  virtual TqdResult OpenBlob(uint8_t* record, int32_t field, int32_t openMode);
  virtual TqdResult OpenIndex();
  virtual TqdResult OpenLockList();
  virtual TqdResult Open();
  virtual TqdResult PutBlob(uint8_t* record, int32_t field, uint32_t offset, uint32_t length, const uint8_t* data);
  virtual TqdResult PutField(int32_t field, uint8_t* record, const void* value);
  virtual TqdResult ReadBlock(uint32_t& count, uint8_t* buffer);
  virtual TqdResult RegenIndexes();
  virtual TqdResult RegisterCallBack();
  virtual TqdResult RelRecordLock(bool all);
  virtual TqdResult RelTableLock(bool all, int32_t lockType);
  virtual TqdResult ResetRange();
  virtual TqdResult SaveChanges();
  virtual TqdResult SetFieldMap();
  virtual TqdResult SetRange(bool keyItself, int32_t lowFieldCount, int32_t lowPartialLength, const uint8_t* lowKey,
                             bool lowInclusive, int32_t highFieldCount, int32_t highPartialLength,
                             const uint8_t* highKey, bool highInclusive);
  virtual TqdResult SetToBegin();
  virtual TqdResult SetToBookmark(const uint8_t* bookmark);
  virtual TqdResult SetToCursor(TttBaseTable* source);
  virtual TqdResult SetToEnd();
  virtual TqdResult SetToKey(int32_t searchCondition, bool keyItself, int32_t fieldCount, int32_t partialLength,
                             const uint8_t* key);
  virtual TqdResult SetToRecordNo();
  virtual TqdResult SetToSeqNo();
  virtual TqdResult SwitchToIndex(const char* indexName, const char* tagName, int16_t indexId, bool keepCurrent);
  virtual TqdResult TruncateBlob(uint8_t* record, int32_t field, uint32_t length);
  virtual TqdResult UndeleteRecord();
  virtual TqdResult UnlinkDetail();
  virtual TqdResult VerifyField();
  virtual TqdResult WriteBlock(uint32_t& count, uint8_t* buffer);

  bool IsOpen() const { return open_ != 0; }
  int16_t IndexId() const { return indexId_; }
  int32_t OpenMode() const { return openMode_; }
  int32_t ShareMode() const { return shareMode_; }
  int32_t TranslationMode() const { return translationMode_; }
  TttCollection& FieldDescs() { return fieldDescs_; }
  TttCollection& Filters() { return filters_; }
  bool FiltersActive() const { return filtersActive_; }

 protected:
  void SetOpen(bool open) { open_ = open ? 1 : 0; }
  void SetIndex(int16_t id, std::string_view name);
  // The field descriptor of a 1-based field number, or nullptr.
  TttFieldDescItem* FieldDescOf(int32_t field);
  // Every reading operation with an absent record buffer reads into one of
  // the record length, freed at the end.
  template <class Read>
  TqdResult WithRecordBuffer(uint8_t* record, Read read);

  int32_t open_ = 0;
  TttCollection fieldDescs_;
  std::string fullName_;
  TttCollection filters_;
  std::string indexName_;
  int16_t indexId_ = 0;
  int32_t openMode_ = 0;
  int32_t shareMode_ = 0;
  std::string tableName_;
  bool filtersActive_ = false;
  int32_t translationMode_ = 0;

 private:
  // GetNextRecord and GetPriorRecord: reads in one direction until a record
  // is visible and passes the filters.
  TqdResult ReadAccepted(bool forward, int32_t lock, uint8_t* record, uint8_t* properties);
  // ReadBlock and WriteBlock: `step` once per record-length slot.
  template <class Step>
  TqdResult ForEachBlockRecord(uint32_t& count, uint8_t* buffer, Step step);
  // Counting by scanning from the beginning (GetRecordCount).
  TqdResult CountFromBegin(uint32_t& count);
  // The filter of this cursor that `filter` names, or nullptr.
  TttFilterListItem* FilterOf(hDBIFilter filter);
  void RecomputeFiltersActive();
};

template <class Read>
TqdResult TttBaseTable::WithRecordBuffer(uint8_t* record, Read read) {
  if (record != nullptr) return read(record);
  // At least one byte, so that a cursor without a record length still reads
  // into a buffer (a record that is absent passes no filter).
  std::vector<uint8_t> own(static_cast<size_t>(std::max<int32_t>(RecordLength(), 1)), 0);
  return read(own.data());
}

// A cursor with no records: every navigation ends at once.
class TqdEmptyTable : public TttBaseTable {
 public:
  TqdEmptyTable(TttCollectionItem* parent, std::string_view name, TttCollection* collection);
  TqdResult ReadNext(int32_t lock, uint8_t* record, uint8_t* properties) override;
  TqdResult ReadPrior(int32_t lock, uint8_t* record, uint8_t* properties) override;
};

}  // namespace qd
