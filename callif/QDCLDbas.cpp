#include "callif/QDCLDbas.h"

#include <algorithm>
#include <vector>

#include "base/endian.h"
#include "base/names.h"
#include "callif/QDCLSess.h"
#include "callif/QDClTabl.h"
#include "callif/catalogue.h"
#include "callif/maintenance.h"
#include "callif/request_path.h"
#include "callif/request_records.h"
#include "comms/msg_numbers.h"
#include "dict/QDCLConv.h"
#include "dict/bde_desc.h"

namespace qd {

namespace {

std::string_view TextOf(const char* text) { return text == nullptr ? std::string_view() : std::string_view(text); }

// The caller's description with the physical name an option named QDPATH
// gives; the value is cut to the name's 260 characters whatever length
// its descriptor claims.
TqdDatabaseDesc DescriptionWithPath(const uint8_t* desc, uint16_t count, const uint8_t* descs,
                                    const uint8_t* values) {
  TqdDatabaseDesc result{};
  if (desc != nullptr) {
    std::copy(desc, desc + kDatabaseDescSize, result.begin());
  } else {
    PutZeroText(result.data() + kDbDescTypeOffset, 31, kStandardDbType);
  }
  if (descs == nullptr || values == nullptr) return result;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* d = descs + static_cast<size_t>(i) * kFieldDescSize;
    if (CompareShortTextNoCase(GetZeroText(d + kFldNameOffset, kFldNameSize - 1), kOptionQdPath) != 0) continue;
    uint16_t offset = GetUInt16LE(d + kFldOffsetOffset);
    uint16_t length = GetUInt16LE(d + kFldLengthOffset);
    const char* value = reinterpret_cast<const char*>(values + offset);
    std::string_view path(value, std::min<size_t>(strnlen(value, length), 260));
    PutZeroText(result.data() + kDbDescPhysicalNameOffset, 260, path);
  }
  return result;
}

}  // namespace

TQDClientDatabase::TQDClientDatabase(TqdClientSession* session, TttCollection* collection, const uint8_t* desc,
                                     int32_t openMode, int32_t shareMode, const char* password, uint16_t optionCount,
                                     const uint8_t* optionDescs, const uint8_t* optionValues,
                                     TqdClientCommsEngine* commsEngine)
    : TttBaseDatabase(session, collection, DescriptionWithPath(desc, optionCount, optionDescs, optionValues).data(),
                      openMode, shareMode, password, optionCount, optionDescs, optionValues),
      commsEngine_(commsEngine) {}

TQDClientDatabase::~TQDClientDatabase() { cursors_.Clear(); }

TqdClientSession* TQDClientDatabase::Session() const { return dynamic_cast<TqdClientSession*>(Parent()); }

TqdResult TQDClientDatabase::Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply) {
  return SendRequest(commsEngine_, msgId, request, reply);
}

TqdResult TQDClientDatabase::BeginTran(int32_t, void*& transaction) {
  if (transactionState_ == 1) return SetResult(qdErrActiveTran);
  transaction = this;
  uint8_t reply[kInt32RecordSize];
  TqdResult result = SendRecord(commsEngine_, msgBeginTran, EncodeBeginTran(databaseId_, failSafe_), reply, sizeof reply);
  if (result == qdOK) {
    transactionState_ = 1;
    transactionId_ = GetInt32LE(reply);
  }
  return SetResult(result);
}

// Without an open transaction there is nothing to end: the server is not
// sent an id that names none.
TqdResult TQDClientDatabase::EndTran(void*, int32_t endKind) {
  if (transactionState_ != 1) return SetResult(qdErrNoActiveTran);
  TqdResult result = SendRecord(commsEngine_, msgEndTran, EncodeEndTran(transactionId_, endKind != xendABORT));
  if (result == qdOK) {
    transactionState_ = 0;
    transactionId_ = -1;
  }
  return SetResult(result);
}

TqdResult TQDClientDatabase::DeleteTable(const char* tableName) {
  return SetResult(SendRecord(commsEngine_, msgDeleteTable, EncodeTableRequest(databaseId_, TextOf(tableName))));
}

TqdResult TQDClientDatabase::RenameTable(const char* oldName, const char* newName) {
  return SetResult(
      SendRecord(commsEngine_, msgRenameTable, EncodeRenameTable(databaseId_, TextOf(oldName), TextOf(newName))));
}

TqdResult TQDClientDatabase::EmptyTable(TttBaseTable* cursor, const char* tableName, const char*) {
  auto* table = dynamic_cast<TQDClientTable*>(cursor);
  std::string name = tableName == nullptr ? std::string() : ExtractBaseTableName(tableName);
  return SetResult(SendRecord(commsEngine_, msgEmptyTable,
                              EncodeEmptyTable(databaseId_, table == nullptr ? 0 : table->CursorId(), name)));
}

TqdResult TQDClientDatabase::DeleteIndex(TttBaseTable* cursor, const char* tableName, const char*,
                                         const char* indexName, const char*, uint16_t indexId) {
  if (TextOf(indexName).empty() && indexId == 0) return SetResult(qdErrIndexReadOnly);
  auto* table = dynamic_cast<TQDClientTable*>(cursor);
  TqdResult result = SendRecord(
      commsEngine_, msgDeleteIndex,
      EncodeDeleteIndex(databaseId_, table == nullptr ? 0 : table->CursorId(), TextOf(tableName), TextOf(indexName),
                        indexId));
  if (table == nullptr && tableName != nullptr) {
    TttBaseTable* open = nullptr;
    if (FindOpenTable(tableName, open) == qdOK) table = dynamic_cast<TQDClientTable*>(open);
  }
  if (table != nullptr) RefreshDictionary(table);
  return SetResult(result);
}

void TQDClientDatabase::RefreshDictionary(TQDClientTable* cursor) {
  TqdMemoryStream stream;
  if (GetDictionary(cursor->GetTableName(), stream, true) != qdOK) return;
  stream.Seek(0);
  try {
    cursor->Dictionary().LoadFromStream(stream);
  } catch (const std::exception&) {
    // A dictionary the server sent malformed leaves the cursor's cleared.
  }
}

TqdResult TQDClientDatabase::GetDictionary(std::string_view tableName, TqdMemoryStream& stream, bool askServer) {
  if (!askServer) {
    TttBaseTable* open = nullptr;
    std::string name(tableName);
    auto* table = FindOpenTable(name.c_str(), open) == qdOK ? dynamic_cast<TQDClientTable*>(open) : nullptr;
    if (table != nullptr && table->Dictionary().FieldCount() >= 1) {
      stream.Clear();
      table->Dictionary().SaveToStream(stream);
      stream.Seek(0);
      return SetResult(qdOK);
    }
  }
  stream.Clear();
  auto request = EncodeTableRequest(databaseId_, ExtractBaseTableName(tableName));
  TqdResult result = SendRequest(commsEngine_, msgGetDictionary,
                                 TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                                 TqdReplyTarget{.Stream = &stream});
  stream.Seek(0);
  return SetResult(result);
}

TqdResult TQDClientDatabase::SetDirectory(const char* directory) {
  if (directory == nullptr) return SetResult(qdErrInvalidHandle);
  return TttBaseDatabase::SetDirectory(directory);
}

template <class Make>
TqdResult TQDClientDatabase::OpenCursor(TttBaseTable*& cursor, Make make) {
  cursor = nullptr;
  TttBaseTable* list = make();
  TqdResult result;
  try {
    result = list->Open();
  } catch (...) {
    delete list;
    throw;
  }
  if (result != qdOK) {
    delete list;
    return SetResult(result);
  }
  cursor = list;
  return SetResult(qdOK);
}

TqdResult TQDClientDatabase::OpenTable(const char* tableName, const char*, const char* indexName, const char*,
                                       int16_t indexId, int32_t openMode, int32_t shareMode,
                                       int32_t translationMode, bool, const uint8_t*, TttBaseTable*& cursor) {
  // A cursor whose open failed is of no use to anyone: it is not handed out.
  return OpenCursor(cursor, [&] {
    return new TQDClientTable(this, &cursors_, TextOf(tableName), indexName, indexId, openMode, shareMode,
                              translationMode, commsEngine_);
  });
}

TqdResult TQDClientDatabase::OpenTableList(bool extended, bool systemTables, const char* wildcard,
                                           TttBaseTable*& cursor) {
  return OpenCursor(cursor, [&] {
    return new TqdTableListTable(this, &cursors_, commsEngine_, extended, systemTables, wildcard);
  });
}

TqdResult TQDClientDatabase::OpenFieldList(const char* tableName, const char*, bool physicalTypes,
                                           TttBaseTable*& cursor) {
  return OpenCursor(cursor, [&] { return new TqdFieldListTable(this, &cursors_, tableName, physicalTypes); });
}

TqdResult TQDClientDatabase::OpenIndexList(const char* tableName, const char*, TttBaseTable*& cursor) {
  return OpenCursor(cursor, [&] { return new TqdIndexListTable(this, &cursors_, tableName); });
}

TqdResult TQDClientDatabase::OpenVchkList(const char* tableName, const char*, TttBaseTable*& cursor) {
  return OpenCursor(cursor, [&] { return new TqdVChkListTable(this, &cursors_, tableName); });
}

}  // namespace qd
