#include "server/server_core.h"

#include "base/endian.h"
#include "base/names.h"
#include "base/ticks.h"
#include "server/path_guard.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {

TqdServerCore::TqdServerCore(const TqdServerConfig& config, TqdCoreOutput& output, std::function<void()> wake)
    : config_(config), output_(output), aliases_(config.Aliases), pool_(std::move(wake)) {
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
  };
}

TqdServerCore::~TqdServerCore() = default;

TqdCoreConnection TqdServerCore::AddConnection() {
  TqdCoreConnection c = nextConnection_++;
  clients_[c];
  return c;
}

void TqdServerCore::RemoveConnection(TqdCoreConnection c) {
  // Its tasks go on; its waiting answers and open objects go.
  clients_.erase(c);
  std::erase_if(waitingStatus_, [c](const WaitingStatus& w) { return w.Connection == c; });
}

TqdServerCore::Client* TqdServerCore::Find(TqdCoreConnection c) {
  auto it = clients_.find(c);
  return it == clients_.end() ? nullptr : &it->second;
}

const std::string* TqdServerCore::DirectoryOf(Client& client, int32_t databaseId) {
  auto it = client.Databases.find(databaseId);
  return it == client.Databases.end() ? nullptr : &it->second;
}

const std::string* TqdServerCore::RequestDirectory(TqdCoreConnection c, Client& client,
                                                   const TqdServerRequest& request, size_t size,
                                                   uint8_t dataKind) {
  if (request.Data.size() < size) {
    Reply(c, request.MsgID, qdErrInvalidParam, {}, dataKind);
    return nullptr;
  }
  const std::string* dir = DirectoryOf(client, GetInt32LE(request.Data.data()));
  if (dir == nullptr) Reply(c, request.MsgID, qdErrUnknownDB, {}, dataKind);
  return dir;
}

std::string TqdServerCore::IdleTableOf(TqdCoreConnection c, Client& client, const TqdServerRequest& request,
                                       const std::string& directory, size_t nameOffset) {
  std::string table = TableNameOf(ShortStringAt(request.Data, nameOffset, 31));
  if (table.empty()) {
    auto cursor = client.Cursors.find(GetInt32LE(request.Data.data() + 4));
    if (cursor == client.Cursors.end()) {
      Reply(c, request.MsgID, qdErrInvalidHandle);
      return {};
    }
    table = cursor->second.Table;
  }
  if (tasks_.TableBusy(directory, table)) {
    Reply(c, request.MsgID, qdErrTableBusy);
    return {};
  }
  return table;
}

std::string TqdServerCore::TableNameOf(const std::string& text) {
  return BaseNameOf(ExtractBaseTableName(text));
}

void TqdServerCore::Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, std::span<const uint8_t> data,
                          uint8_t dataKind) {
  Client* client = Find(c);
  output_.Reply(c, msg, result, dataKind, data, client ? client->ClientId : 0);
}

void TqdServerCore::OnRequest(TqdCoreConnection c, const TqdServerRequest& request) {
  Client* client = Find(c);
  if (client == nullptr) return;
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

void TqdServerCore::OnUnsound(TqdCoreConnection c, const uint8_t* part, size_t size) {
  Client* client = Find(c);
  // Only a login confirmation has a form the server can foresee; any other
  // unreadable part means the two sides have lost each other.
  if (client != nullptr && client->Attached && size == 24 && part[0] == msgConfirmLogin && part[1] == 0 &&
      part[2] == 0 && part[3] == 0) {
    client->LoggedIn = false;
    output_.ReplyToUnreadableLogin(c, {part, size}, client->ClientId, qdErrInvalidPassword);
    return;
  }
  output_.HangUp(c);
}

void TqdServerCore::Defer(TqdCoreConnection c, TqdMsgID msg, uint8_t dataKind, TqdRequestPool::Job job,
                          std::function<void(Client&, TqdJobResult&)> then) {
  pool_.Submit(std::move(job), [this, c, msg, dataKind, then = std::move(then)](TqdJobResult& result) {
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

void TqdServerCore::OnTimer() {
  uint32_t now = GetTickCount();
  std::vector<WaitingStatus> still;
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
      still.push_back(w);
    }
  }
  waitingStatus_.insert(waitingStatus_.end(), still.begin(), still.end());
  if (now - lastPurge_ >= 60000) {
    lastPurge_ = now;
    tasks_.Purge();
  }
}

}  // namespace qd
