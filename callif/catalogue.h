// The catalogue cursors: the server's aliases, the tables of a database,
// and the fields, indexes and validity checks of a table, read like any
// cursor (GetNextRecord until 8706). Each is a snapshot taken when it is
// opened. The alias and table lists read the rows of one reply; the field,
// index and validity-check lists walk the table's data dictionary.
// Rows are checked before they are read: a short row ends the list.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/stream.h"
#include "callif/QDTTTabl.h"
#include "comms/QDClComm.h"
#include "dict/QDLLDict.h"

namespace qd {

class TqdClientSession;
class TQDClientDatabase;

// The BDE table description a table-list row becomes.
inline constexpr size_t kTableDescSize = 574;
inline constexpr size_t kTblDescNameOffset = 0;        // 260 characters and a zero
inline constexpr size_t kTblDescFileNameOffset = 261;  // 260 characters and a zero
inline constexpr size_t kTblDescExtOffset = 522;       // 3 characters and a zero
inline constexpr size_t kTblDescTypeOffset = 526;      // 31 characters and a zero
inline constexpr size_t kTblDescSizeOffset = 566;      // 32-bit

// A list whose rows come in one reply stream of fixed-size rows.
class TqdStreamListTable : public TttBaseTable {
 public:
  TqdResult CloseCursor() override;
  ~TqdStreamListTable() override;

 protected:
  TqdStreamListTable(TttCollectionItem* parent, TttCollection* collection, const char* name,
                     TqdClientCommsEngine* commsEngine);
  // Sends the list request; the reply becomes the rows.
  TqdResult FetchRows(TqdMsgID msgId, const TqdRequestData& request);
  // The next whole row of `size` bytes, or nullptr at the end (a short
  // remainder ends the list too).
  const uint8_t* NextRow(size_t size);

  TqdClientCommsEngine* commsEngine_;
  std::unique_ptr<TqdMemoryStream> rows_;
};

class TqdDatabaseListTable : public TqdStreamListTable {
 public:
  TqdDatabaseListTable(TqdClientSession* session, TttCollection* collection, TqdClientCommsEngine* commsEngine);
  TqdResult Open() override;
  TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) override;
};

class TqdTableListTable : public TqdStreamListTable {
 public:
  TqdTableListTable(TQDClientDatabase* database, TttCollection* collection, TqdClientCommsEngine* commsEngine,
                    bool extended, bool systemTables, const char* wildcard);
  TqdResult Open() override;
  TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) override;

 private:
  int32_t databaseId_;
  int32_t extended_;
  int32_t systemTables_;
  std::string wildcard_;
};

// A list over a table's data dictionary.
class TqdDictionaryListTable : public TttBaseTable {
 public:
  TqdResult Open() override;
  TqdResult CloseCursor() override;
  ~TqdDictionaryListTable() override;

 protected:
  TqdDictionaryListTable(TQDClientDatabase* database, TttCollection* collection, const char* name,
                         const char* tableName);
  // Ends the list at `count` rows; otherwise advances and answers true.
  bool NextPosition(int32_t count);

  TQDClientDatabase* database_;
  std::string tableName_;
  TqdDataDictionary dictionary_{kDefaultBlockSize};
  int32_t position_ = 0;
};

class TqdFieldListTable : public TqdDictionaryListTable {
 public:
  TqdFieldListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName,
                    bool physicalTypes);
  TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) override;

 private:
  bool physicalTypes_;
};

class TqdIndexListTable : public TqdDictionaryListTable {
 public:
  TqdIndexListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName);
  TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) override;
};

class TqdVChkListTable : public TqdDictionaryListTable {
 public:
  TqdVChkListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName);
  TqdResult Open() override;
  TqdResult GetNextRecord(int32_t lock, uint8_t* record, uint8_t* properties) override;

 private:
  int32_t entryCount_ = 0;
};

// The validity-check description of the `number`th (from 0) field that is
// required or has a validity check; false when there is none.
bool DescribeValidityEntry(const TqdDataDictionary& dictionary, int32_t number, uint8_t* record);
int32_t CountValidityEntries(const TqdDataDictionary& dictionary);

}  // namespace qd
