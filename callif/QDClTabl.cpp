#include "callif/QDClTabl.h"

#include <algorithm>
#include <cstring>

#include "base/endian.h"
#include "base/names.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/catalogue.h"
#include "callif/maintenance.h"
#include "callif/request_path.h"
#include "callif/request_records.h"
#include "comms/msg_numbers.h"

namespace qd {

TQDClientTable::TQDClientTable(TQDClientDatabase* database, TttCollection* collection, std::string_view tableName,
                               const char* indexName, int16_t indexId, int32_t openMode, int32_t shareMode,
                               int32_t translationMode, TqdClientCommsEngine* commsEngine)
    : TttBaseTable(database, collection, tableName, indexName, indexId, openMode, shareMode, translationMode),
      commsEngine_(commsEngine) {}

TQDClientTable::~TQDClientTable() {
  if (cursorId_ != -1) CloseCursor();
}

TQDClientDatabase* TQDClientTable::Database() const { return dynamic_cast<TQDClientDatabase*>(Parent()); }

TqdResult TQDClientTable::Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply) {
  return SendRequest(commsEngine_, msgId, request, reply);
}

int32_t TQDClientTable::KeyLength() const {
  return indexId_ >= 0 && indexId_ < dictionary_.IndexCount() ? dictionary_.IndexKeyLength(indexId_) : 0;
}
// The longest key of the table's indexes and 20, the same whichever index
// is current: a bookmark taken on one index is handed back after a switch
// to another, and must then be as long as the size read from it.
int32_t TQDClientTable::BookmarkSize() {
  int32_t longest = 0;
  for (int32_t i = 0; i < dictionary_.IndexCount(); ++i) longest = std::max(longest, dictionary_.IndexKeyLength(i));
  return longest + 20;
}
int32_t TQDClientTable::RecordLength() { return dictionary_.RecordSize(); }

TqdResult TQDClientTable::Open() {
  SetResult(qdErrNoMemory);
  TQDClientDatabase* db = Database();
  auto request = EncodeOpenTable(db == nullptr ? -1 : db->DatabaseId(), ExtractBaseTableName(tableName_),
                                 indexName_, indexId_, openMode_, shareMode_);
  TqdMemoryStream reply;
  TqdResult result = SendRequest(commsEngine_, msgOpenTable,
                                 TqdRequestData{request.data(), static_cast<uint32_t>(request.size()), nullptr},
                                 TqdReplyTarget{.Stream = &reply});
  if (result == qdOK) {
    if (std::optional<TqdOpenTableReply> opened = DecodeOpenTableReply(reply, dictionary_)) {
      cursorId_ = opened->CursorId;
      SetIndex(static_cast<int16_t>(opened->IndexId), dictionary_.IndexName(opened->IndexId));
      fullName_ = tableName_;
    } else {
      // The server opened a cursor whose description makes no sense: close
      // it there rather than leave it open for the rest of the session.
      if (reply.Size() >= kInt32RecordSize)
        SendRecord(commsEngine_, msgCloseCursor, EncodeInt32Record(GetInt32LE(reply.Data())));
      result = qdErrCorruptHeader;
    }
  }
  try {
    BuildFieldDescs();
  } catch (const std::exception&) {
    fieldDescs_.Clear();
    if (result == qdOK) result = qdErrCorruptHeader;
  }
  return SetResult(result);
}

TqdResult TQDClientTable::CloseCursor() {
  if (cursorId_ == -1) return SetResult(qdErrInvalidHandle);
  TqdResult result = SendRecord(commsEngine_, msgCloseCursor, EncodeInt32Record(cursorId_));
  if (result == qdOK) {
    SetOpen(false);
    cursorId_ = -1;
  }
  return SetResult(result);
}

void TQDClientTable::BuildFieldDescs() {
  fieldDescs_.Clear();
  int32_t offset = 0;
  for (int32_t n = 0; n < dictionary_.FieldCount(); ++n) {
    TqdFieldDescBytes physical = MakePhysicalFieldDesc(dictionary_.FieldDesc(n));
    TqdFieldDescBytes logical = MakeLogicalFieldDesc(physical);
    // The logical fields lie one after the other.
    PutUInt16LE(logical.data() + kFldOffsetOffset, static_cast<uint16_t>(offset));
    offset += GetUInt16LE(logical.data() + kFldLengthOffset);
    new TttFieldDescItem(&fieldDescs_, physical, &logical);
  }
}

TqdResult TQDClientTable::InitRecord(uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  dictionary_.ClearRecord(record);
  return SetResult(qdOK);
}

TqdResult TQDClientTable::GetIndexSeqNo(const char* indexName, const char*, int32_t& number, int16_t indexId) {
  number = indexId != 0 ? indexId : dictionary_.IndexNumberOf(indexName == nullptr ? "" : indexName);
  return SetResult(qdOK);
}

TqdResult TQDClientTable::GetIndexDesc(int32_t indexNumber, uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kIndexDescSize);
  int32_t n = indexNumber == 0 ? indexId_ : indexNumber - 1;
  if (n < 0 || n >= dictionary_.IndexCount()) return SetResult(qdErrNoSuchIndex);
  TqdIndexDescBytes desc = MakeIndexDesc(dictionary_.IndexDesc(n));
  std::copy(desc.begin(), desc.end(), record);
  return SetResult(qdOK);
}

TqdResult TQDClientTable::GetVchkDesc(int32_t number, uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  return SetResult(DescribeValidityEntry(dictionary_, number - 1, record) ? qdOK : qdErrObjNotFound);
}

TqdResult TQDClientTable::SwitchToIndex(const char* indexName, const char*, int16_t indexId, bool keepCurrent) {
  std::string_view name = indexName == nullptr ? std::string_view() : std::string_view(indexName);
  TqdResult result =
      SendRecord(commsEngine_, msgSwitchToIndex, EncodeSwitchToIndex(cursorId_, name, indexId, keepCurrent));
  if (result != qdOK) return SetResult(result);
  int32_t chosen = name.empty() ? indexId : dictionary_.IndexNumberOf(name);
  if (chosen >= 0 && chosen < dictionary_.IndexCount())
    SetIndex(static_cast<int16_t>(chosen), name.empty() ? dictionary_.IndexName(chosen) : std::string(name));
  return SetResult(qdOK);
}

}  // namespace qd
