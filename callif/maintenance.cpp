#include "callif/maintenance.h"

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/endian.h"
#include "base/names.h"
#include "base/string_ids.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDClTabl.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "dict/QDLLDict.h"

namespace qd {

namespace {

// The live object of kind T, or nullptr for none (9990 for the caller);
// a live object of another kind is a programming fault: raise 776.
template <class T>
T* Require(hDBIObj handle) {
  TttBapiListItem* item = LiveItem(handle);
  if (item == nullptr) return nullptr;
  auto* object = dynamic_cast<T*>(item);
  if (object == nullptr) RaiseTableError<EqdClientException>(ClientStrings(), csOnlyQuilldriveComponents);
  return object;
}

// Sends a request whose 4-byte reply is a task number.
template <class Record>
TqdResult RequestTask(TqdClientCommsEngine* engine, TqdMsgID msgId, const Record& request, int32_t& taskNumber) {
  uint8_t reply[kInt32RecordSize];
  TqdResult result = SendRecord(engine, msgId, request, reply, sizeof reply);
  if (result == qdOK) taskNumber = GetInt32LE(reply);
  return result;
}

}  // namespace

// The base name is taken from the whole name before it is cut to 31
// characters: a long path keeps its file part.
TqdResult ReIndexTable(hDBIDb database, std::string_view tableName, int32_t indexNumber, int32_t& taskNumber) {
  auto* db = Require<TQDClientDatabase>(database);
  if (db == nullptr) return qdErrInvalidHandle;
  taskNumber = kNoTask;
  return RequestTask(db->CommsEngine(), msgReindexTable,
                     EncodeReindex(db->DatabaseId(), ExtractBaseTableName(tableName), indexNumber), taskNumber);
}

TqdResult PackTable(hDBIDb database, std::string_view tableName, int32_t& taskNumber) {
  auto* db = Require<TQDClientDatabase>(database);
  if (db == nullptr) return qdErrInvalidHandle;
  taskNumber = kNoTask;
  return RequestTask(db->CommsEngine(), msgPackTable,
                     EncodeTableRequest(db->DatabaseId(), ExtractBaseTableName(tableName)), taskNumber);
}

TqdResult GetTaskStatus(hDBISes session, int32_t taskNumber, bool& finished, TaskStatus& status) {
  auto* s = Require<TqdClientSession>(session);
  if (s == nullptr) return qdErrInvalidHandle;
  if (taskNumber == kNoTask) {
    finished = true;
    status = TaskStatus{};
    status.Bytes[kTaskFinishedOffset] = 1;
    return qdOK;
  }
  uint8_t reply[kTaskStatusReplySize];
  TqdResult result = SendRecord(s->CommsEngine(), msgGetTaskStatus, EncodeInt32Record(taskNumber), reply, sizeof reply);
  if (result != qdOK) return result;
  std::optional<TqdTaskStatusReply> decoded = DecodeTaskStatusReply(reply);
  if (!decoded || !decoded->Found) return qdErrObjNotFound;
  status = decoded->Status;
  finished = status.Finished();
  return qdOK;
}

TqdResult RestructureTable(hDBIDb database, bool overwrite, std::string_view tableName,
                           TqdDataDictionary& dictionary) {
  auto* db = Require<TQDClientDatabase>(database);
  if (db == nullptr) return qdErrInvalidHandle;
  TqdMemoryStream request;
  auto header = EncodeRestructureHeader(db->DatabaseId(), overwrite, ExtractBaseTableName(tableName));
  request.Write(header.data(), header.size());
  dictionary.SaveToStream(request);
  return SendRequest(db->CommsEngine(), msgRestructureTable, TqdRequestData{.Stream = &request}, TqdReplyTarget{});
}

TqdResult AddIndex(hDBICur cursor, const TqdRecord<kIndexDescriptorSize>& descriptor, int32_t& taskNumber) {
  auto* table = LiveObject<TQDClientTable>(cursor);
  if (table == nullptr || table->Database() == nullptr) return qdErrInvalidHandle;
  taskNumber = kNoTask;
  return RequestTask(table->CommsEngine(), msgAddIndex,
                     EncodeAddIndex(table->Database()->DatabaseId(), table->CursorId(), descriptor), taskNumber);
}

}  // namespace qd
