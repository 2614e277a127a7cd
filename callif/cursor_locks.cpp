// TQDClientTable: table locks and the release of record locks on the
// server. Lock types go to the server converted (BDE write 1 -> 2, read
// 2 -> 1).
// Thread rules: the user-interface thread only.
#include "callif/QDClTabl.h"
#include "callif/cursor_requests.h"
#include "callif/request_path.h"
#include "comms/msg_numbers.h"
#include "dict/QDCLConv.h"

namespace qd {
namespace {

uint8_t EngineLock(int32_t lockType) { return static_cast<uint8_t>(LockTypeToEngine(lockType)); }

}  // namespace

// Slot 21.
TqdResult TQDClientTable::AcqTableLock(int32_t lockType) {
  return SetResult(SendRecord(commsEngine_, msgAcqTableLock, EncodeLockRequest(cursorId_, EngineLock(lockType))));
}

// Slot 90.
TqdResult TQDClientTable::RelTableLock(bool all, int32_t lockType) {
  return SetResult(SendRecord(commsEngine_, msgRelTableLock, EncodeRelTableLock(cursorId_, all, EngineLock(lockType))));
}

// Slot 74.
TqdResult TQDClientTable::IsTableLocked(int32_t lockType, int32_t& locked) {
  locked = 0;
  uint8_t answer[1];
  TqdResult result = SendRecord(commsEngine_, msgIsTableLocked, EncodeLockRequest(cursorId_, EngineLock(lockType)),
                                answer, sizeof answer);
  if (result == qdOK) locked = answer[0] != 0 ? 1 : 0;
  return SetResult(result);
}

// Slot 89.
TqdResult TQDClientTable::RelRecordLock(bool all) {
  return SetResult(SendRecord(commsEngine_, msgRelRecordLock, EncodeLockRequest(cursorId_, all ? 1 : 0)));
}

}  // namespace qd
