// The task handlers of the core: rebuild index (768), pack (769) and add
// index (1305) check their request on a worker, which starts the task, and
// answer with its number; task status (771) answers at once when there is
// news for the client and otherwise waits until the progress moves, the
// task ends (a task's thread says so at once) or kStatusWaitMs has passed.
#include "base/endian.h"
#include "base/ticks.h"
#include "server/maintenance.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {

// The worker that checked a task's request starts the task itself, so that
// the work begins without a detour through the serving thread.
void TqdServerCore::OnReindex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto reindex = ReadReindexRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, reindex.has_value(), reindex ? reindex->DatabaseId : 0);
  if (!dir) return;
  if (HeldByOthers(c, *dir, TableNameOf(reindex->Table))) {
    Reply(c, msgReindexTable, qdErrTableBusy);
    return;
  }
  Defer(c, msgReindexTable, 0,
        [this, c, d = *dir, table = TableNameOf(reindex->Table), indexName = reindex->IndexName,
         indexNo = reindex->IndexNumber, asked = TqdTaskClock::now()](TqdStoreCache& stores) {
          TqdTableStore& store = stores.For(d);
          auto id = store.FindTable(table);
          if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
          auto dict = store.LoadDictionary(*id);
          int32_t number = indexName.empty() ? indexNo : dict->IndexNumberOf(indexName);
          if (number < 0 || number >= dict->IndexCount()) return TqdJobResult{qdErrNoSuchIndex, {}};
          return StartTask(c, d, table, TqdTaskKind::Rebuild, asked, [table, number](TqdTableStore& s, TqdTaskProgress& p) {
            RunRebuildIndex(s, table, number, p);
          });
        });
}

void TqdServerCore::OnPack(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto pack = ReadTableRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, pack.has_value(), pack ? pack->DatabaseId : 0);
  if (!dir) return;
  if (HeldByOthers(c, *dir, TableNameOf(pack->Table))) {
    Reply(c, msgPackTable, qdErrTableBusy);
    return;
  }
  Defer(c, msgPackTable, 0,
        [this, c, d = *dir, table = TableNameOf(pack->Table), asked = TqdTaskClock::now()](TqdStoreCache& stores) {
    if (!stores.For(d).FindTable(table)) return TqdJobResult{qdErrNoSuchTable, {}};
    return StartTask(c, d, table, TqdTaskKind::Pack, asked,
                     [table](TqdTableStore& s, TqdTaskProgress& p) { RunPackTable(s, table, p); });
  });
}

void TqdServerCore::OnAddIndex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto add = ReadAddIndexRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, add.has_value(), add ? add->DatabaseId : 0);
  if (!dir) return;
  std::string table = TableNameOf(add->Table);
  if (table.empty()) {
    auto cursor = client.Cursors.find(add->CursorId);
    if (cursor == client.Cursors.end()) {
      Reply(c, msgAddIndex, qdErrInvalidHandle);
      return;
    }
    table = cursor->second.Table;
  }
  if (add->KeyFieldCount < 1 || add->KeyFieldCount > kMaxKeyFields) {
    Reply(c, msgAddIndex, qdErrInvalidIndexDesc);
    return;
  }
  TqdNewIndex index{add->Name, add->FieldNumbers, add->AllowDuplicates, add->Ascending, add->CaseInsensitive};
  Defer(c, msgAddIndex, 0, [this, c, d = *dir, table, index, asked = TqdTaskClock::now()](TqdStoreCache& stores) {
    TqdTableStore& store = stores.For(d);
    auto id = store.FindTable(table);
    if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
    if (TqdResult check = CheckNewIndex(*store.LoadDictionary(*id), index); check != qdOK) return TqdJobResult{check, {}};
    return StartTask(c, d, table, TqdTaskKind::AddIndex, asked,
                     [table, index](TqdTableStore& s, TqdTaskProgress& p) { RunAddIndex(s, table, index, p); });
  });
}

TqdJobResult TqdServerCore::StartTask(TqdCoreConnection owner, const std::string& directory, const std::string& table,
                                      TqdTaskKind kind, TqdTaskClock::time_point asked, TqdTaskManager::Work work) {
  int32_t task = tasks_.Start(owner, directory, table, kind, std::move(work),
                              {kMaxUnfinishedTasks, kMaxTasksPerClient}, asked);
  if (task == 0) return {qdErrDirBusy, {}};
  return {qdOK, Int32Reply(task)};
}

void TqdServerCore::OnTaskStatus(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto task = ReadIdRequest(request.Data);
  if (!task) {
    Reply(c, msgGetTaskStatus, qdErrInvalidParam);
    return;
  }
  TqdTaskStatusRecord status = tasks_.Status(*task);
  if (HasNews(client, *task, status)) {
    AnswerStatus(c, client, *task, status);
  } else {
    waitingStatus_.push_back({c, *task, GetTickCount()});
  }
}

// A client knows nothing of a task it has not asked about yet but that it
// has started, at 0 %: a first poll that would say just that waits too.
bool TqdServerCore::HasNews(const Client& client, int32_t task, const TqdTaskStatusRecord& status) {
  if (!status.Found || status.Finished) return true;
  auto last = client.LastPercent.find(task);
  return status.PercentDone != (last == client.LastPercent.end() ? 0 : last->second);
}

// A task that ended in failure answers with the failure's code, so that
// the client hears of it instead of seeing a full bar.
void TqdServerCore::AnswerStatus(TqdCoreConnection c, Client& client, int32_t task, const TqdTaskStatusRecord& status) {
  if (status.Found && !status.Finished) {
    client.LastPercent[task] = status.PercentDone;
  } else {
    client.LastPercent.erase(task);
  }
  auto bytes = EncodeTaskStatusReply(status);
  bool failed = status.Found && status.Finished && status.Result != qdOK;
  Reply(c, msgGetTaskStatus, failed ? status.Result : qdOK, bytes);
}

void TqdServerCore::AnswerWaitingStatus(uint32_t now) {
  std::vector<WaitingStatus> waiting;
  waiting.swap(waitingStatus_);
  for (const WaitingStatus& w : waiting) {
    Client* client = Find(w.Connection);
    if (client == nullptr) continue;
    TqdTaskStatusRecord status = tasks_.Status(w.Task);
    if (HasNews(*client, w.Task, status) || now - w.Since >= kStatusWaitMs) {
      AnswerStatus(w.Connection, *client, w.Task, status);
    } else {
      waitingStatus_.push_back(w);
    }
  }
}

void TqdServerCore::LogEndedTasks() {
  for (const TqdEndedTask& t : tasks_.Reap()) {
    std::string line = "task " + std::to_string(t.Number) + " (" + TaskKindName(t.Kind) + " of " + t.Table +
                       " in " + t.Directory + ") ";
    line += t.Result == qdOK ? "finished" : "failed with " + std::to_string(t.Result);
    line += " after " + std::to_string(t.Milliseconds) + " ms";
    if (t.Kind == TqdTaskKind::Pack) line += ", " + std::to_string(t.Reclaimed) + " bytes given back";
    Log(line);
    if (t.Kind == TqdTaskKind::Pack && t.Result == qdOK) AfterPack(t.Directory, t.Table);
  }
}

}  // namespace qd
