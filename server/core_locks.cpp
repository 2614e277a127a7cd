// The lock handlers of the core: table locks (1296, 1297, 1298) and the
// release of record locks (2051). The rules are TqdLockTable's; a table
// that a cursor of another connection holds locked cannot be rebuilt,
// packed, restructured, deleted, renamed or emptied meanwhile (10243).
// An is-locked answer is the number of takes this cursor holds of that
// type (at most 255).
#include <algorithm>

#include "server/cursor_records.h"
#include "server/server_core.h"
#include "server/server_results.h"

namespace qd {

bool TqdServerCore::TableInUse(TqdCoreConnection c, const std::string& directory, const std::string& table) {
  return tasks_.TableBusy(directory, table) || HeldByOthers(c, directory, table);
}

bool TqdServerCore::HeldByOthers(TqdCoreConnection c, const std::string& directory, const std::string& table) {
  const std::string key = PackKey(directory, table);
  return locks_.LockedByOthers(key, c) || WrittenByOthers(c, directory) || OpenElsewhere(key, {c, -1}, true);
}

// Cursor ids start at 1: {c, 0} stands for a cursor of `c` not yet made,
// {c, -1} for all of them.
bool TqdServerCore::OpenElsewhere(const std::string& lockKey, TqdLockOwner self, bool exclusiveOnly) {
  for (auto& [connection, client] : clients_) {
    if (self.Cursor < 0 && connection == self.Connection) continue;
    for (const auto& [id, cursor] : client.Cursors) {
      if (connection == self.Connection && id == self.Cursor) continue;
      if ((cursor.Exclusive || !exclusiveOnly) && LockKeyOf(client, cursor) == lockKey) return true;
    }
  }
  return false;
}

std::string TqdServerCore::LockKeyOf(Client& client, const Cursor& cursor) {
  const std::string* dir = DirectoryOf(client, cursor.DatabaseId);
  return PackKey(dir == nullptr ? std::string() : *dir, cursor.Table);
}

void TqdServerCore::OnAcqTableLock(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto lock = ReadLockRequest(request.Data, kLockRequestSize);
  if (Cursor* cursor = CursorOf(c, client, msgAcqTableLock, lock ? std::optional(lock->CursorId) : std::nullopt))
    Reply(c, msgAcqTableLock, locks_.LockTable(LockKeyOf(client, *cursor), {c, lock->CursorId}, lock->First));
}

void TqdServerCore::OnRelTableLock(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto lock = ReadLockRequest(request.Data, kRelTableLockRequestSize);
  if (Cursor* cursor = CursorOf(c, client, msgRelTableLock, lock ? std::optional(lock->CursorId) : std::nullopt))
    Reply(c, msgRelTableLock,
          locks_.UnlockTable(LockKeyOf(client, *cursor), {c, lock->CursorId}, lock->First != 0, lock->Second));
}

void TqdServerCore::OnIsTableLocked(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto lock = ReadLockRequest(request.Data, kLockRequestSize);
  if (Cursor* cursor = CursorOf(c, client, msgIsTableLocked, lock ? std::optional(lock->CursorId) : std::nullopt)) {
    int takes = locks_.TableLocks(LockKeyOf(client, *cursor), {c, lock->CursorId}, lock->First);
    const uint8_t answer[1] = {static_cast<uint8_t>(std::min(takes, 255))};
    Reply(c, msgIsTableLocked, qdOK, answer);
  }
}

// With nothing locked this answers 0: a table component releases its
// record lock whenever it closes.
void TqdServerCore::OnRelRecordLock(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto lock = ReadLockRequest(request.Data, kLockRequestSize);
  Cursor* cursor = CursorOf(c, client, msgRelRecordLock, lock ? std::optional(lock->CursorId) : std::nullopt);
  if (cursor == nullptr) return;
  const std::string key = LockKeyOf(client, *cursor);
  const TqdLockOwner owner{c, lock->CursorId};
  if (lock->First != 0) {
    locks_.UnlockRecords(key, owner);
  } else if (cursor->Position.Where == TqdCursorPosition::On) {
    locks_.UnlockRecord(key, cursor->Position.Rid, owner);
  }
  Reply(c, msgRelRecordLock, qdOK);
}

}  // namespace qd
