// The record handlers of the core: insert (2053), modify (2054) and delete
// (2052) through a client's cursor. A change waits for no task: while a
// rebuild or pack works on the table it is refused (10243).
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
                                        std::optional<int32_t> cursorId, CursorWork work) {
  Cursor* cursor = CursorOf(c, client, msg, cursorId);
  if (cursor == nullptr) return;
  if (tasks_.TableBusy(*DirectoryOf(client, cursor->DatabaseId), cursor->Table)) {
    Reply(c, msg, qdErrTableBusy);
    return;
  }
  WorkOnCursor(c, client, msg, cursorId, std::move(work));
}

void TqdServerCore::OnInsertRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto insert = ReadWriteRecordRequest(request.Data);
  if (insert && insert->Flag != 0) {
    Reply(c, msgInsertRecord, qdErrNotSupported);  // locks come with their own change
    return;
  }
  ChangeThroughCursor(c, client, msgInsertRecord, insert ? std::optional(insert->CursorId) : std::nullopt,
                      [record = insert ? insert->Record : std::vector<uint8_t>{}](TqdRecordNavigator& nav,
                                                                                    TqdServerCursorView& view) {
                        view.Position = TqdRecordChanges(nav).Insert(record).Position();
                        return TqdJobResult{qdOK, {}};
                      });
}

void TqdServerCore::OnModifyRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto modify = ReadWriteRecordRequest(request.Data);
  ChangeThroughCursor(c, client, msgModifyRecord, modify ? std::optional(modify->CursorId) : std::nullopt,
                      [record = modify ? modify->Record : std::vector<uint8_t>{}](TqdRecordNavigator& nav,
                                                                                    TqdServerCursorView& view) {
                        if (view.Position.Where != TqdCursorPosition::On) return TqdJobResult{qdErrNoCurrRec, {}};
                        view.Position = TqdRecordChanges(nav).Modify(view.Position.Rid, record).Position();
                        return TqdJobResult{qdOK, {}};
                      });
}

void TqdServerCore::OnDeleteRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto del = ReadDeleteRecordRequest(request.Data);
  ChangeThroughCursor(c, client, msgDeleteRecord, del ? std::optional(del->CursorId) : std::nullopt,
                      [length = del ? del->RecordLength : 0](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                        if (view.Position.Where != TqdCursorPosition::On) return TqdJobResult{qdErrNoCurrRec, {}};
                        TqdFoundRecord old = TqdRecordChanges(nav).Delete(view.Position.Rid);
                        view.Position = {TqdCursorPosition::Before, old.Key, old.Rid};
                        return TqdJobResult{qdOK, RecordReply(old, length)};
                      });
}

}  // namespace qd
