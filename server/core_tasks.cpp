// The task handlers of the core: rebuild index (768), pack (769) and add
// index (1305) check their request on a worker and answer with the number
// of the task they start; task status (771) answers at once when there is
// news for the client and otherwise waits (on the timer) until the
// progress moves or kStatusWaitMs has passed.
#include "base/endian.h"
#include "base/ticks.h"
#include "server/maintenance.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
void TqdServerCore::OnReindex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const auto& data = request.Data;
  const std::string* dir = RequestDirectory(c, client, request, kReindexRequestSize);
  if (!dir) return;
  std::string table = TableNameOf(ShortStringAt(data, 4, 31));
  std::string indexName = ShortStringAt(data, 36, 31);
  int32_t indexNo = GetInt32LE(data.data() + 68);
  Defer(
      c, msgReindexTable, 0,
      [d = *dir, table, indexName, indexNo](TqdStoreCache& stores) {
        TqdTableStore& store = stores.For(d);
        auto id = store.FindTable(table);
        if (!id) return TqdJobResult{qdErrNoSuchTable, {}};
        auto dict = store.LoadDictionary(*id);
        int32_t number = indexName.empty() ? indexNo : dict->IndexNumberOf(indexName);
        if (number < 0 || number >= dict->IndexCount()) return TqdJobResult{qdErrNoSuchIndex, {}};
        return TqdJobResult{qdOK, Int32Reply(number)};
      },
      [this, d = *dir, table](Client&, TqdJobResult& result) {
        if (result.Result != qdOK) return;
        int32_t number = GetInt32LE(result.Data.data());
        StartTask(d, table, TqdTaskKind::Rebuild, result, [table, number](TqdTableStore& s, TqdTaskProgress& p) {
          RunRebuildIndex(s, table, number, p);
        });
      });
}

void TqdServerCore::OnPack(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const std::string* dir = RequestDirectory(c, client, request, kTableRequestSize);
  if (!dir) return;
  std::string table = TableNameOf(ShortStringAt(request.Data, 4, 31));
  Defer(
      c, msgPackTable, 0,
      [d = *dir, table](TqdStoreCache& stores) {
        return TqdJobResult{stores.For(d).FindTable(table) ? qdOK : qdErrNoSuchTable, {}};
      },
      [this, d = *dir, table](Client&, TqdJobResult& result) {
        StartTask(d, table, TqdTaskKind::Pack, result,
                  [table](TqdTableStore& s, TqdTaskProgress& p) { RunPackTable(s, table, p); });
      });
}

void TqdServerCore::OnAddIndex(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto add = ReadAddIndexRequest(request.Data);
  const std::string* dir = add ? DirectoryOf(client, add->DatabaseId) : nullptr;
  if (!dir) {
    Reply(c, msgAddIndex, add ? qdErrUnknownDB : qdErrInvalidParam);
    return;
  }
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
      [this, d = *dir, table, index](Client&, TqdJobResult& result) {
        StartTask(d, table, TqdTaskKind::AddIndex, result, [table, index](TqdTableStore& s, TqdTaskProgress& p) {
          RunAddIndex(s, table, index, p);
        });
      });
}

void TqdServerCore::StartTask(const std::string& directory, const std::string& table, TqdTaskKind kind,
                              TqdJobResult& result, TqdTaskManager::Work work) {
  if (result.Result != qdOK) return;
  if (tasks_.UnfinishedCount() >= kMaxUnfinishedTasks) {
    result = {qdErrDirBusy, {}};
    return;
  }
  result.Data = Int32Reply(tasks_.Start(directory, table, kind, std::move(work)));
}

void TqdServerCore::OnTaskStatus(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (request.Data.size() < 4) {
    Reply(c, msgGetTaskStatus, qdErrInvalidParam);
    return;
  }
  int32_t task = GetInt32LE(request.Data.data());
  TqdTaskStatusRecord status = tasks_.Status(task);
  auto last = client.LastPercent.find(task);
  bool news = !status.Found || status.Finished || last == client.LastPercent.end() ||
              last->second != status.PercentDone;
  if (news) {
    AnswerStatus(c, client, task, status);
  } else {
    waitingStatus_.push_back({c, task, GetTickCount()});
  }
}

void TqdServerCore::AnswerStatus(TqdCoreConnection c, Client& client, int32_t task, const TqdTaskStatusRecord& status) {
  if (status.Found && !status.Finished) {
    client.LastPercent[task] = status.PercentDone;
  } else {
    client.LastPercent.erase(task);
  }
  auto bytes = EncodeTaskStatusReply(status);
  Reply(c, msgGetTaskStatus, qdOK, bytes);
}

}  // namespace qd
