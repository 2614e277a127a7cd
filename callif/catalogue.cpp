#include "callif/catalogue.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/request_path.h"
#include "callif/request_records.h"
#include "comms/msg_numbers.h"
#include "dict/QDCLConv.h"
#include "dict/bde_desc.h"

namespace qd {

namespace {

// Catalogue cursors read; their records' properties say nothing.
void ClearProperties(uint8_t* properties) {
  if (properties != nullptr) std::memset(properties, 0, 4);
}

// The record was zero-filled: a text needs only its characters.
void PlaceText(uint8_t* area, size_t capacity, std::string_view text) {
  std::memcpy(area, text.data(), std::min(text.size(), capacity));
}

}  // namespace

// Lists over rows of one reply.

TqdStreamListTable::TqdStreamListTable(TttCollectionItem* parent, TttCollection* collection, const char* name,
                                       TqdClientCommsEngine* commsEngine)
    : TttBaseTable(parent, collection, name, nullptr, 0, dbiREADONLY, dbiOPENEXCL, 0), commsEngine_(commsEngine) {}

TqdStreamListTable::~TqdStreamListTable() {
  if (IsOpen()) TqdStreamListTable::CloseCursor();
}

TqdResult TqdStreamListTable::CloseCursor() {
  if (!IsOpen()) return SetResult(qdErrInvalidHandle);
  SetOpen(false);
  rows_.reset();
  return SetResult(qdOK);
}

TqdResult TqdStreamListTable::FetchRows(TqdMsgID msgId, const TqdRequestData& request) {
  auto rows = std::make_unique<TqdMemoryStream>();
  TqdResult result = SendRequest(commsEngine_, msgId, request, TqdReplyTarget{.Stream = rows.get()});
  if (result == qdOK) {
    rows->Seek(0);
    rows_ = std::move(rows);
    SetOpen(true);
  }
  return SetResult(result);
}

const uint8_t* TqdStreamListTable::NextRow(size_t size) {
  if (rows_ == nullptr || rows_->Remaining() < size) return nullptr;
  const uint8_t* row = rows_->Data() + rows_->Position();
  rows_->Seek(rows_->Position() + size);
  return row;
}

TqdDatabaseListTable::TqdDatabaseListTable(TqdClientSession* session, TttCollection* collection,
                                           TqdClientCommsEngine* commsEngine)
    : TqdStreamListTable(session, collection, "DBList", commsEngine) {}

TqdResult TqdDatabaseListTable::Open() { return FetchRows(msgGetAliasList, TqdRequestData{}); }

TqdResult TqdDatabaseListTable::GetNextRecord(int32_t, uint8_t* record, uint8_t* properties) {
  ClearProperties(properties);
  if (record != nullptr) std::memset(record, 0, kDatabaseDescSize);
  const uint8_t* row = NextRow(kAliasRowSize);
  if (row == nullptr) return SetResult(qdErrEOF);
  if (record != nullptr) {
    TqdAliasRow alias = *DecodeAliasRow({row, kAliasRowSize});
    PlaceText(record + kDbDescNameOffset, 31, alias.Name);
    PlaceText(record + kDbDescTextOffset, 31, alias.Path);
    PlaceText(record + kDbDescPhysicalNameOffset, 260, alias.Path);
    PlaceText(record + kDbDescTypeOffset, 31, kDriverName);
  }
  return SetResult(qdOK);
}

TqdTableListTable::TqdTableListTable(TQDClientDatabase* database, TttCollection* collection,
                                     TqdClientCommsEngine* commsEngine, bool extended, bool systemTables,
                                     const char* wildcard)
    : TqdStreamListTable(database, collection, "TblList", commsEngine),
      databaseId_(database->DatabaseId()),
      extended_(extended ? -1 : 0),
      systemTables_(systemTables ? -1 : 0),
      wildcard_(wildcard == nullptr ? "" : wildcard) {}

TqdResult TqdTableListTable::Open() {
  auto request = EncodeTableList(databaseId_, wildcard_);
  return FetchRows(msgGetTableList, TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr});
}

TqdResult TqdTableListTable::GetNextRecord(int32_t, uint8_t* record, uint8_t* properties) {
  ClearProperties(properties);
  if (record != nullptr) std::memset(record, 0, kTableDescSize);
  const uint8_t* row = NextRow(kTableRowSize);
  if (row == nullptr) return SetResult(qdErrEOF);
  if (record != nullptr) {
    TqdTableRow table = *DecodeTableRow({row, kTableRowSize});
    // The file name: the name and a dot (at most 32), then the extension.
    uint8_t* fileName = record + kTblDescFileNameOffset;
    PlaceText(fileName, 31, table.Name);
    size_t length = std::min<size_t>(table.Name.size(), 31);
    fileName[length++] = '.';
    PlaceText(fileName + length, 3, table.Extension);
    PlaceText(record + kTblDescNameOffset, 260, table.Name);
    PlaceText(record + kTblDescExtOffset, 3, table.Extension);
    PlaceText(record + kTblDescTypeOffset, 31, "QD");
    PutInt32LE(record + kTblDescSizeOffset, table.Size);
  }
  return SetResult(qdOK);
}

// Lists over a table's dictionary.

TqdDictionaryListTable::TqdDictionaryListTable(TQDClientDatabase* database, TttCollection* collection,
                                               const char* name, const char* tableName)
    : TttBaseTable(database, collection, name, nullptr, 0, dbiREADONLY, dbiOPENEXCL, 0),
      database_(database),
      tableName_(TqdDictName(tableName == nullptr ? "" : tableName).View()) {}

TqdDictionaryListTable::~TqdDictionaryListTable() {
  if (IsOpen()) TqdDictionaryListTable::CloseCursor();
}

TqdResult TqdDictionaryListTable::Open() {
  TqdMemoryStream stream;
  TqdResult result = database_->GetDictionary(tableName_, stream, false);
  if (result != qdOK) return SetResult(result);
  try {
    dictionary_.LoadFromStream(stream);
  } catch (const std::exception&) {
    return SetResult(qdErrCorruptHeader);
  }
  position_ = 0;
  SetOpen(true);
  return SetResult(qdOK);
}

TqdResult TqdDictionaryListTable::CloseCursor() {
  if (!IsOpen()) return SetResult(qdErrInvalidHandle);
  SetOpen(false);
  return SetResult(qdOK);
}

bool TqdDictionaryListTable::NextPosition(int32_t count) {
  if (!IsOpen() || position_ >= count) return false;
  ++position_;
  return true;
}

TqdFieldListTable::TqdFieldListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName,
                                     bool physicalTypes)
    : TqdDictionaryListTable(database, collection, "FldList", tableName), physicalTypes_(physicalTypes) {}

TqdResult TqdFieldListTable::GetNextRecord(int32_t, uint8_t* record, uint8_t* properties) {
  ClearProperties(properties);
  if (!NextPosition(dictionary_.FieldCount())) return SetResult(qdErrEOF);
  if (record != nullptr) {
    TqdFieldDescBytes desc = MakePhysicalFieldDesc(dictionary_.FieldDesc(position_ - 1));
    if (!physicalTypes_) desc = MakeLogicalFieldDesc(desc);
    std::copy(desc.begin(), desc.end(), record);
  }
  return SetResult(qdOK);
}

TqdIndexListTable::TqdIndexListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName)
    : TqdDictionaryListTable(database, collection, "IdxList", tableName) {}

TqdResult TqdIndexListTable::GetNextRecord(int32_t, uint8_t* record, uint8_t* properties) {
  ClearProperties(properties);
  if (!NextPosition(dictionary_.IndexCount())) return SetResult(qdErrEOF);
  if (record != nullptr) {
    TqdIndexDescBytes desc = MakeIndexDesc(dictionary_.IndexDesc(position_ - 1));
    std::copy(desc.begin(), desc.end(), record);
  }
  return SetResult(qdOK);
}

TqdVChkListTable::TqdVChkListTable(TQDClientDatabase* database, TttCollection* collection, const char* tableName)
    : TqdDictionaryListTable(database, collection, "VChkList", tableName) {}

TqdResult TqdVChkListTable::Open() {
  TqdResult result = TqdDictionaryListTable::Open();
  entryCount_ = result == qdOK ? CountValidityEntries(dictionary_) : 0;
  return result;
}

TqdResult TqdVChkListTable::GetNextRecord(int32_t, uint8_t* record, uint8_t* properties) {
  ClearProperties(properties);
  if (!NextPosition(entryCount_)) return SetResult(qdErrEOF);
  if (record != nullptr) DescribeValidityEntry(dictionary_, position_ - 1, record);
  return SetResult(qdOK);
}

// Validity entries: the fields that are required or carry a validity check.

namespace {
bool IsValidityEntry(const TqdDataDictionary& dictionary, int32_t field) {
  return dictionary.FieldIsRequired(field) || dictionary.FieldValidity(field) != nullptr;
}
}  // namespace

int32_t CountValidityEntries(const TqdDataDictionary& dictionary) {
  int32_t count = 0;
  for (int32_t f = 0; f < dictionary.FieldCount(); ++f) count += IsValidityEntry(dictionary, f) ? 1 : 0;
  return count;
}

bool DescribeValidityEntry(const TqdDataDictionary& dictionary, int32_t number, uint8_t* record) {
  int32_t seen = -1;
  for (int32_t f = 0; f < dictionary.FieldCount(); ++f) {
    if (!IsValidityEntry(dictionary, f) || ++seen != number) continue;
    bool required = dictionary.FieldIsRequired(f);
    if (const TqdDictValidity* validity = dictionary.FieldValidity(f)) {
      TqdValidityDescBytes desc = MakeValidityDesc(*validity, f + 1, required);
      std::copy(desc.begin(), desc.end(), record);
    } else {
      std::memset(record, 0, kValidityDescSize);
      PutInt16LE(record + kVchkFieldNumberOffset, static_cast<int16_t>(f + 1));
      if (required) PutInt16LE(record + kVchkRequiredOffset, -1);
    }
    return true;
  }
  return false;
}

}  // namespace qd
