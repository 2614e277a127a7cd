// TQDClientTable: inserting, modifying and deleting records through the
// server's cursor.
// Thread rules: the user-interface thread only.
#include "callif/QDClTabl.h"
#include "callif/cursor_requests.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "dict/QDCLConv.h"

namespace qd {

TqdResult TQDClientTable::WriteRecord(TqdMsgID msg, uint8_t flag, const uint8_t* record) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  SetResult(qdErrNoMemory);
  auto request = EncodeWriteRecord(cursorId_, BookmarkSize(), flag, {record, static_cast<size_t>(RecordLength())});
  return SetResult(SendRequest(commsEngine_, msg, RequestOf(request), TqdReplyTarget{}));
}

// Slot 72.
TqdResult TQDClientTable::InsertRecord(int32_t lock, uint8_t* record) {
  return WriteRecord(msgInsertRecord, static_cast<uint8_t>(LockTypeToEngine(lock)), record);
}

// Slot 79.
TqdResult TQDClientTable::ModifyRecord(uint8_t* record, bool releaseLock) {
  return WriteRecord(msgModifyRecord, releaseLock ? 1 : 0, record);
}

// Slot 36: the current record; the record as it was goes into the buffer.
TqdResult TQDClientTable::DeleteRecord(uint8_t* record) {
  const int32_t length = record == nullptr ? 0 : RecordLength();
  return SetResult(SendRecord(commsEngine_, msgDeleteRecord, EncodeTwoWords(cursorId_, length), record,
                              static_cast<uint32_t>(length)));
}

}  // namespace qd
