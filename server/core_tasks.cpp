// The task handlers of the core: rebuild index (768), pack (769) and add
// index (1305) check their request on a worker and answer with the number
// of the task they start; task status (771) answers at once when there is
// news for the client and otherwise waits until the progress moves, the
// task ends (a task's thread says so at once) or kStatusWaitMs has passed.
#include "base/endian.h"
#include "base/ticks.h"
#include "server/maintenance.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {

void TqdServerCore::OnReindex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto reindex = ReadReindexRequest(request.Data);
  const std::string* dir =
      RequestDirectory(c, client, request, reindex.has_value(), reindex ? reindex->DatabaseId : 0);
  if (!dir) return;
  std::string table = TableNameOf(reindex->Table);
  Defer(
      c, msgReindexTable, 0,
      [d = *dir, table, indexName = reindex->IndexName, indexNo = reindex->IndexNumber](TqdStoreCache& stores) {
        TqdTableStore& store = stores.For(d);
        auto id = store.FindTable(table);
        if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
        auto dict = store.LoadDictionary(*id);
        int32_t number = indexName.empty() ? indexNo : dict->IndexNumberOf(indexName);
        if (number < 0 || number >= dict->IndexCount()) return TqdJobResult{qdErrNoSuchIndex, {}};
        return TqdJobResult{qdOK, Int32Reply(number)};
      },
      [this, c, d = *dir, table](Client&, TqdJobResult& result) {
        if (result.Result != qdOK) return;
        int32_t number = GetInt32LE(result.Data.data());
        StartTask(c, d, table, TqdTaskKind::Rebuild, result, [table, number](TqdTableStore& s, TqdTaskProgress& p) {
          RunRebuildIndex(s, table, number, p);
        });
      });
}

void TqdServerCore::OnPack(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto pack = ReadTableRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, pack.has_value(), pack ? pack->DatabaseId : 0);
  if (!dir) return;
  std::string table = TableNameOf(pack->Table);
  Defer(
      c, msgPackTable, 0,
      [d = *dir, table](TqdStoreCache& stores) {
        return TqdJobResult{stores.For(d).FindTable(table) ? qdOK : qdErrNoSuchTable, {}};
      },
      [this, c, d = *dir, table](Client&, TqdJobResult& result) {
        StartTask(c, d, table, TqdTaskKind::Pack, result,
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
  Defer(
      c, msgAddIndex, 0,
      [d = *dir, table, index](TqdStoreCache& stores) {
        TqdTableStore& store = stores.For(d);
        auto id = store.FindTable(table);
        if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
        return TqdJobResult{CheckNewIndex(*store.LoadDictionary(*id), index), {}};
      },
      [this, c, d = *dir, table, index](Client&, TqdJobResult& result) {
        StartTask(c, d, table, TqdTaskKind::AddIndex, result, [table, index](TqdTableStore& s, TqdTaskProgress& p) {
          RunAddIndex(s, table, index, p);
        });
      });
}

void TqdServerCore::StartTask(TqdCoreConnection owner, const std::string& directory, const std::string& table,
                              TqdTaskKind kind, TqdJobResult& result, TqdTaskManager::Work work) {
  if (result.Result != qdOK) return;
  if (tasks_.UnfinishedCount() >= kMaxUnfinishedTasks || tasks_.UnfinishedCountOf(owner) >= kMaxTasksPerClient) {
    result = {qdErrDirBusy, {}};
    return;
  }
  result.Data = Int32Reply(tasks_.Start(owner, directory, table, kind, std::move(work)));
}

void TqdServerCore::OnTaskStatus(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto task = ReadIdRequest(request.Data);
  if (!task) {
    Reply(c, msgGetTaskStatus, qdErrInvalidParam);
    return;
  }
  TqdTaskStatusRecord status = tasks_.Status(*task);
  auto last = client.LastPercent.find(*task);
  bool news = !status.Found || status.Finished || last == client.LastPercent.end() ||
              last->second != status.PercentDone;
  if (news) {
    AnswerStatus(c, client, *task, status);
  } else {
    waitingStatus_.push_back({c, *task, GetTickCount()});
  }
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
    auto last = client->LastPercent.find(w.Task);
    bool moved = last == client->LastPercent.end() || last->second != status.PercentDone;
    if (!status.Found || status.Finished || moved || now - w.Since >= kStatusWaitMs) {
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
  }
}

}  // namespace qd
