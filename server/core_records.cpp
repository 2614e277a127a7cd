// The record handlers of the core: insert (2053), modify (2054) and delete
// (2052) through a client's cursor. A change waits for no task or lock:
// while a rebuild or pack works on the table, or a cursor of another
// connection holds a table lock, it is refused (10243); a record another
// cursor holds locked is refused 10241.
//
// Choices the client's records leave open, made here: after an insert or
// a modify the cursor is on the record; after a delete it stands just
// before where the record was (the next read gives the record after it),
// and the reply is the record as it was before the delete; modify and
// delete need the cursor on a record (8709 otherwise).
#include "server/cursor_records.h"
#include "server/cursor_replies.h"
#include "server/record_changes.h"
#include "server/server_core.h"
#include "server/server_results.h"

namespace qd {

void TqdServerCore::ChangeThroughCursor(TqdCoreConnection c, Client& client, TqdMsgID msg,
                                        std::optional<int32_t> cursorId, bool ofCurrentRecord, CursorWork work,
                                        CursorAfter after) {
  Cursor* cursor = CursorOf(c, client, msg, cursorId);
  if (cursor == nullptr) return;
  if (tasks_.TableBusy(*DirectoryOf(client, cursor->DatabaseId), cursor->Table)) {
    Reply(c, msg, qdErrTableBusy);
    return;
  }
  std::optional<int64_t> rid;
  if (ofCurrentRecord && cursor->Position.Where == TqdCursorPosition::On) rid = cursor->Position.Rid;
  if (TqdResult allowed = locks_.MayChange(LockKeyOf(client, *cursor), {c, *cursorId}, rid); allowed != qdOK) {
    Reply(c, msg, allowed);
    return;
  }
  if (WrittenByOthers(c, *DirectoryOf(client, cursor->DatabaseId))) {
    Reply(c, msg, qdErrTableBusy);
    return;
  }
  // A change inside the client's transaction holds the store's write lock
  // from now until the transaction ends.
  auto txn = TransactionOf(client, cursor->DatabaseId);
  WorkOnCursor(c, client, msg, cursorId, std::move(work),
               [txn, after = std::move(after)](Client& owner, Cursor& state, TqdJobResult& result) {
                 if (txn && result.Result == qdOK) txn->Wrote = true;
                 if (after) after(owner, state, result);
               });
}

// The lock the change asks for or ends, on the record the cursor is on
// once the change is done.
TqdServerCore::CursorAfter TqdServerCore::RecordLockAfterChange(TqdCoreConnection c, int32_t cursorId, bool take) {
  return [this, c, cursorId, take](Client& client, Cursor& cursor, TqdJobResult& result) {
    if (result.Result != qdOK) return;
    const std::string key = LockKeyOf(client, cursor);
    if (take) {
      locks_.LockRecord(key, cursor.Position.Rid, {c, cursorId});
    } else {
      locks_.UnlockRecord(key, cursor.Position.Rid, {c, cursorId});
    }
  };
}

void TqdServerCore::OnInsertRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto insert = ReadWriteRecordRequest(request.Data);
  CursorAfter lock;
  if (insert && insert->Flag != 0) lock = RecordLockAfterChange(c, insert->CursorId, true);
  ChangeThroughCursor(c, client, msgInsertRecord, insert ? std::optional(insert->CursorId) : std::nullopt, false,
                      [record = insert ? insert->Record : std::vector<uint8_t>{}](TqdRecordNavigator& nav,
                                                                                    TqdServerCursorView& view) {
                        view.Position = TqdRecordChanges(nav).Insert(record).Position();
                        return TqdJobResult{qdOK, {}};
                      },
                      std::move(lock));
}

void TqdServerCore::OnModifyRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto modify = ReadWriteRecordRequest(request.Data);
  CursorAfter release;
  if (modify && modify->Flag != 0) release = RecordLockAfterChange(c, modify->CursorId, false);
  ChangeThroughCursor(c, client, msgModifyRecord, modify ? std::optional(modify->CursorId) : std::nullopt, true,
                      [record = modify ? modify->Record : std::vector<uint8_t>{}](TqdRecordNavigator& nav,
                                                                                    TqdServerCursorView& view) {
                        if (view.Position.Where != TqdCursorPosition::On) return TqdJobResult{qdErrNoCurrRec, {}};
                        view.Position = TqdRecordChanges(nav).Modify(view.Position.Rid, record).Position();
                        return TqdJobResult{qdOK, {}};
                      },
                      std::move(release));
}

void TqdServerCore::OnDeleteRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto del = ReadDeleteRecordRequest(request.Data);
  // The record is gone: so is its lock. (The cursor stands just before
  // where it was, with its number.)
  CursorAfter release;
  if (del) release = RecordLockAfterChange(c, del->CursorId, false);
  ChangeThroughCursor(c, client, msgDeleteRecord, del ? std::optional(del->CursorId) : std::nullopt, true,
                      [length = del ? del->RecordLength : 0](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                        if (view.Position.Where != TqdCursorPosition::On) return TqdJobResult{qdErrNoCurrRec, {}};
                        TqdFoundRecord old = TqdRecordChanges(nav).Delete(view.Position.Rid);
                        view.Position = {TqdCursorPosition::Before, old.Key, old.Rid};
                        return TqdJobResult{qdOK, RecordReply(old, length)};
                      },
                      std::move(release));
}

}  // namespace qd
