#include "server/server_core.h"

#include <cstdio>

#include "base/names.h"
#include "base/ticks.h"
#include "server/path_guard.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {

TqdServerCore::TqdServerCore(const TqdServerConfig& config, TqdCoreOutput& output, std::function<void()> wake,
                             LogFunction log)
    : config_(config),
      output_(output),
      log_(std::move(log)),
      aliases_(config.Aliases),
      tasks_(wake, &stop_),
      pool_(wake, &stop_) {
  roots_.push_back(config.DataDir);
  for (const TqdAliasEntry& alias : config.Aliases) roots_.push_back(alias.Directory);
  handlers_ = {
      {msgAttach, &TqdServerCore::OnAttach},
      {msgConfirmLogin, &TqdServerCore::OnLogin},
      {msgDetach, &TqdServerCore::OnDetach},
      {msgOpenSession, &TqdServerCore::OnOpenSession},
      {msgCloseSession, &TqdServerCore::OnCloseSession},
      {msgGetAliasList, &TqdServerCore::OnAliasList},
      {msgAddAlias, &TqdServerCore::OnAddAlias},
      {msgOpenDatabase, &TqdServerCore::OnOpenDatabase},
      {msgCloseDatabase, &TqdServerCore::OnCloseDatabase},
      {msgGetTableList, &TqdServerCore::OnTableList},
      {msgOpenTable, &TqdServerCore::OnOpenTable},
      {msgCloseCursor, &TqdServerCore::OnCloseCursor},
      {msgSwitchToIndex, &TqdServerCore::OnSwitchToIndex},
      {msgGetDictionary, &TqdServerCore::OnGetDictionary},
      {msgRestructureTable, &TqdServerCore::OnRestructure},
      {msgDeleteTable, &TqdServerCore::OnDeleteTable},
      {msgRenameTable, &TqdServerCore::OnRenameTable},
      {msgEmptyTable, &TqdServerCore::OnEmptyTable},
      {msgDeleteIndex, &TqdServerCore::OnDeleteIndex},
      {msgReindexTable, &TqdServerCore::OnReindex},
      {msgPackTable, &TqdServerCore::OnPack},
      {msgAddIndex, &TqdServerCore::OnAddIndex},
      {msgGetTaskStatus, &TqdServerCore::OnTaskStatus},
      {msgSetToBegin, &TqdServerCore::OnSetToBegin},
      {msgSetToEnd, &TqdServerCore::OnSetToEnd},
      {msgResetRange, &TqdServerCore::OnResetRange},
      {msgGetRecord, &TqdServerCore::OnReadRecord},
      {msgGetNextRecord, &TqdServerCore::OnReadRecord},
      {msgGetPriorRecord, &TqdServerCore::OnReadRecord},
      {msgGetRecordCount, &TqdServerCore::OnGetRecordCount},
      {msgSetToKey, &TqdServerCore::OnSetToKey},
      {msgGetRecordForKey, &TqdServerCore::OnGetRecordForKey},
      {msgSetRange, &TqdServerCore::OnSetRange},
      {msgGetBookmark, &TqdServerCore::OnGetBookmark},
      {msgSetToBookmark, &TqdServerCore::OnSetToBookmark},
      {msgCompareBookmarks, &TqdServerCore::OnCompareBookmarks},
      {msgExtractKey, &TqdServerCore::OnExtractKey},
      {msgCloneCursor, &TqdServerCore::OnCloneCursor},
      {msgSetToCursor, &TqdServerCore::OnSetToCursor},
      {msgInsertRecord, &TqdServerCore::OnInsertRecord},
      {msgModifyRecord, &TqdServerCore::OnModifyRecord},
      {msgDeleteRecord, &TqdServerCore::OnDeleteRecord},
      {msgAcqTableLock, &TqdServerCore::OnAcqTableLock},
      {msgBeginTran, &TqdServerCore::OnBeginTran},
      {msgCreateBlob, &TqdServerCore::OnCreateBlob},
      {msgGetBlob, &TqdServerCore::OnGetBlob},
      {msgGetBlobSize, &TqdServerCore::OnGetBlobSize},
      {msgTruncateBlob, &TqdServerCore::OnTruncateBlob},
      {msgPutBlob, &TqdServerCore::OnPutBlob},
      {msgFreeBlob, &TqdServerCore::OnFreeBlob},
      {msgEndTran, &TqdServerCore::OnEndTran},
      {msgRelTableLock, &TqdServerCore::OnRelTableLock},
      {msgIsTableLocked, &TqdServerCore::OnIsTableLocked},
      {msgRelRecordLock, &TqdServerCore::OnRelRecordLock},
  };
}

TqdServerCore::~TqdServerCore() = default;

void TqdServerCore::Shutdown() {
  stop_.Stop();
  pool_.Stop();
  tasks_.Shutdown();
}

TqdServerCore::Scope::~Scope() {
  if (--core_.depth_ == 0) core_.FlushDeferred();
}

void TqdServerCore::FlushDeferred() {
  ++depth_;  // a hang-up reports its loss back here: it is kept for this loop
  while (!pendingHangUps_.empty() || !pendingRemovals_.empty()) {
    std::vector<TqdCoreConnection> hangUps;
    hangUps.swap(pendingHangUps_);
    for (TqdCoreConnection c : hangUps) {
      try {
        output_.HangUp(c);  // its loss comes back as a removal...
      } catch (const std::exception&) {
      }
      pendingRemovals_.push_back(c);  // ...and if it does not, the client goes all the same
    }
    std::vector<TqdCoreConnection> removals;
    removals.swap(pendingRemovals_);
    for (TqdCoreConnection c : removals) {
      if (auto gone = clients_.find(c); gone != clients_.end()) DropTransactions(gone->second);
      clients_.erase(c);
      locks_.ForgetConnection(c);
      std::erase_if(waitingStatus_, [c](const WaitingStatus& w) { return w.Connection == c; });
      std::erase_if(heldLogins_, [c](const HeldLogin& h) { return h.Connection == c; });
    }
  }
  --depth_;
}

void TqdServerCore::HangUpLater(TqdCoreConnection c) {
  auto it = clients_.find(c);
  if (it == clients_.end() || it->second.Gone) return;
  it->second.Gone = true;
  pendingHangUps_.push_back(c);
}

void TqdServerCore::Log(const std::string& line) {
  if (log_) {
    log_(line);
  } else {
    std::fprintf(stderr, "qd-server: %s\n", line.c_str());
  }
}

std::string TqdServerCore::Who(const Client& client) const {
  // A user name is a client's text: only printable characters reach the log.
  std::string user;
  for (char c : client.UserName) user += (c >= 0x20 && c < 0x7F && c != '"') ? c : '?';
  return "user \"" + user + "\" from " + client.Address;
}

// The caps may hang the newcomer (or another) up: that happens at the end
// of the core's next turn, once the caller has listed the connection.
TqdCoreConnection TqdServerCore::AddConnection(const std::string& address) {
  TqdCoreConnection c = nextConnection_++;
  Client& client = clients_[c];
  client.Address = address;
  client.Sequence = nextSequence_++;
  client.LoginClock = GetTickCount();
  CapUnauthenticated(c);
  return c;
}

void TqdServerCore::RemoveConnection(TqdCoreConnection c) {
  // Its tasks go on; its waiting answers and open objects go (once the
  // handling under way, if any, has returned).
  Scope scope(*this);
  auto it = clients_.find(c);
  if (it == clients_.end()) return;
  it->second.Gone = true;
  pendingRemovals_.push_back(c);
}

TqdServerCore::Client* TqdServerCore::Find(TqdCoreConnection c) {
  auto it = clients_.find(c);
  return it == clients_.end() || it->second.Gone ? nullptr : &it->second;
}

std::optional<int32_t> TqdServerCore::CursorIndex(TqdCoreConnection c, int32_t cursor) const {
  auto client = clients_.find(c);
  if (client == clients_.end()) return std::nullopt;
  auto it = client->second.Cursors.find(cursor);
  if (it == client->second.Cursors.end()) return std::nullopt;
  return it->second.IndexId;
}

const std::string* TqdServerCore::DirectoryOf(Client& client, int32_t databaseId) {
  auto it = client.Databases.find(databaseId);
  return it == client.Databases.end() ? nullptr : &it->second;
}

const std::string* TqdServerCore::RequestDirectory(TqdCoreConnection c, Client& client,
                                                   const TqdServerRequest& request, bool readable,
                                                   int32_t databaseId, uint8_t dataKind) {
  if (!readable) {
    Reply(c, request.MsgID, qdErrInvalidParam, {}, dataKind);
    return nullptr;
  }
  const std::string* dir = DirectoryOf(client, databaseId);
  if (dir == nullptr) Reply(c, request.MsgID, qdErrUnknownDB, {}, dataKind);
  return dir;
}

std::string TqdServerCore::IdleTableOf(TqdCoreConnection c, Client& client, const TqdServerRequest& request,
                                       const std::string& directory, const std::string& table, int32_t cursorId) {
  std::string name = TableNameOf(table);
  if (name.empty()) {
    auto cursor = client.Cursors.find(cursorId);
    if (cursor == client.Cursors.end()) {
      Reply(c, request.MsgID, qdErrInvalidHandle);
      return {};
    }
    name = cursor->second.Table;
  }
  if (TableInUse(c, directory, name)) {
    Reply(c, request.MsgID, qdErrTableBusy);
    return {};
  }
  return name;
}

std::string TqdServerCore::TableNameOf(const std::string& text) {
  return BaseNameOf(ExtractBaseTableName(text));
}

void TqdServerCore::Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, std::span<const uint8_t> data,
                          uint8_t dataKind) {
  Client* client = Find(c);
  if (client == nullptr) return;
  CountReply(c, *client);
  output_.Reply(c, msg, result, dataKind, data, client->ClientId);
}

void TqdServerCore::OnRequest(TqdCoreConnection c, const TqdServerRequest& request) {
  Scope scope(*this);
  Client* client = Find(c);
  if (client == nullptr) return;
  CountRequest(c, *client);
  auto it = handlers_.find(request.MsgID);
  if (it == handlers_.end()) {
    Reply(c, request.MsgID, qdErrNotSupported);
    return;
  }
  bool connectionControl =
      request.MsgID == msgAttach || request.MsgID == msgConfirmLogin || request.MsgID == msgDetach;
  if (!client->LoggedIn && !connectionControl) {
    Reply(c, request.MsgID, qdErrInvalidPassword);
    return;
  }
  try {
    (this->*(it->second))(c, *client, request);
  } catch (const std::exception&) {
    // Out of memory or threads: this request fails, the server goes on.
    Reply(c, request.MsgID, qdErrServerUnexpected);
  }
}

void TqdServerCore::Defer(TqdCoreConnection c, TqdMsgID msg, uint8_t dataKind, TqdRequestPool::Job job,
                          std::function<void(Client&, TqdJobResult&)> then) {
  pool_.Submit(c, std::move(job), [this, c, msg, dataKind, then = std::move(then)](TqdJobResult& result) {
    Client* client = Find(c);
    if (client == nullptr) return;
    if (then) {
      try {
        then(*client, result);
      } catch (const std::exception&) {
        result = {qdErrServerUnexpected, {}};
      }
    }
    Reply(c, msg, result.Result, result.Data, dataKind);
  });
}

int TqdServerCore::RunCompletions() {
  Scope scope(*this);
  int ran = pool_.RunCompletions();
  // A task's news (its percentage moved, or it ended) also wakes us; the
  // clients waiting for it are answered before the ended threads are joined.
  AnswerWaitingStatus(GetTickCount());
  LogEndedTasks();
  return ran;
}

void TqdServerCore::OnTimer() {
  Scope scope(*this);
  uint32_t now = GetTickCount();
  AnswerWaitingStatus(now);
  ReleaseHeldLogins(now);
  if (now - lastDeadlineCheck_ >= 1000) {
    lastDeadlineCheck_ = now;
    CheckLoginDeadlines(now);
  }
  if (now - lastPurge_ >= 60000) {
    lastPurge_ = now;
    LogEndedTasks();
    tasks_.Purge();
    throttle_.Forget(now);
  }
}

}  // namespace qd
