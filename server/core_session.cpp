// The connection-control and session handlers of the core: attach, login,
// detach, sessions, the alias list, adding an alias, opening and closing a
// database.
#include <strings.h>

#include <algorithm>
#include <random>

#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "comms/keepalive.h"
#include "comms/scramble.h"
#include "server/path_guard.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

int32_t RandomNonZeroCode() {
  static thread_local std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int32_t> pick(1, INT32_MAX);
  int32_t code = pick(generator);
  return (generator() & 1) ? code : -code;
}

bool SameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

// Attach (11): a client identifier (kept across attaches of a connection),
// the version, a fresh scrambling code and the keep-alive settings. The
// reply itself is never scrambled; the client's key is set behind it.
void TqdServerCore::OnAttach(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto attach = DecodeAttachRequest(request.Data.data(), request.Data.size());
  if (!attach) {
    Reply(c, msgAttach, qdErrInvalidParam);
    return;
  }
  if (client.ClientId == 0) client.ClientId = nextClientId_++;
  client.Attached = true;
  client.LoggedIn = false;
  client.UserName = attach->UserName;
  TqdAttachReply reply;
  reply.ClientID = client.ClientId;
  reply.ServerVersion = kServerVersion;
  reply.ScramblingCode = RandomNonZeroCode();
  TqdKeepAliveSettings keepAlive = KeepAliveSettings();
  reply.InactivityInterval = keepAlive.InactivityInterval;
  reply.KeepAliveInterval = keepAlive.CheckInterval;
  reply.KeepAliveRetries = keepAlive.Retries;
  reply.Secure = config_.Secure;
  uint8_t bytes[kAttachReplySize];
  EncodeAttachReply(reply, bytes);
  Reply(c, msgAttach, qdOK, bytes);
  std::string password;
  bool known = config_.PasswordOf(client.UserName, password);
  // An unknown user gets the plain code: the login fails whatever key the
  // client made.
  output_.SetScramblingSeed(c, ScramblingSeed(reply.ScramblingCode, config_.Secure && known, password));
}

// Login (9): it arrived readable, so the client's key is the server's. On a
// secure server the user must also be one of the configured users.
void TqdServerCore::OnLogin(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  std::string password;
  bool ok = client.Attached && request.ClientID == client.ClientId && request.Data.empty() &&
            !request.IsStream && (!config_.Secure || config_.PasswordOf(client.UserName, password));
  client.LoggedIn = ok;
  Reply(c, msgConfirmLogin, ok ? qdOK : qdErrInvalidPassword);
}

void TqdServerCore::OnDetach(TqdCoreConnection c, Client& client, const TqdServerRequest&) {
  Reply(c, msgDetach, qdOK);
  uint32_t id = client.ClientId;
  client = Client{};
  client.ClientId = id;
}

void TqdServerCore::OnOpenSession(TqdCoreConnection c, Client& client, const TqdServerRequest&) {
  if (!client.HasRoomForHandle()) {
    Reply(c, msgOpenSession, qdErrNoMemory);
    return;
  }
  int32_t id = NextId();
  client.Sessions.insert(id);
  Reply(c, msgOpenSession, qdOK, Int32Reply(id));
}

// Session 0 is the one every connection has: closing it is always fine.
void TqdServerCore::OnCloseSession(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (request.Data.size() < 4) {
    Reply(c, msgCloseSession, qdErrInvalidParam);
    return;
  }
  int32_t id = GetInt32LE(request.Data.data());
  bool known = id == 0 || client.Sessions.erase(id) > 0;
  Reply(c, msgCloseSession, known ? qdOK : qdErrInvalidSesHandle);
}

// The path of an alias row is the alias's directory, which open database
// takes back; a directory too long for the field is replaced by the alias
// name, which open database takes as well.
void TqdServerCore::OnAliasList(TqdCoreConnection c, Client&, const TqdServerRequest&) {
  std::vector<TqdAliasEntry> sorted = aliases_;
  std::sort(sorted.begin(), sorted.end(),
            [](const TqdAliasEntry& a, const TqdAliasEntry& b) { return strcasecmp(a.Name.c_str(), b.Name.c_str()) < 0; });
  std::vector<uint8_t> rows;
  for (const TqdAliasEntry& alias : sorted)
    AppendAliasRow(rows, alias.Name, alias.Directory.size() <= kPathCapacity ? alias.Directory : alias.Name);
  Reply(c, msgGetAliasList, qdOK, rows, kDataKindStream);
}

// An added alias lives until the server stops (at most kMaxAddedAliases
// of them); its directory must lie within DataDir or a configured alias
// directory.
void TqdServerCore::OnAddAlias(TqdCoreConnection c, Client&, const TqdServerRequest& request) {
  if (request.Data.size() < kAddAliasRequestSize) {
    Reply(c, msgAddAlias, qdErrInvalidParam);
    return;
  }
  std::string name = ShortStringAt(request.Data, 0, kAliasNameCapacity);
  auto dir = ResolveConfinedDirectory(ShortStringAt(request.Data, 32, kPathCapacity), config_.DataDir, roots_);
  if (!IsAliasNameText(name)) {
    Reply(c, msgAddAlias, qdErrInvalidParam);
  } else if (!dir) {
    Reply(c, msgAddAlias, qdErrInvalidDir);
  } else {
    for (const TqdAliasEntry& alias : aliases_) {
      if (SameText(alias.Name, name)) {
        Reply(c, msgAddAlias, alias.Directory == *dir ? qdOK : qdErrNameNotUnique);
        return;
      }
    }
    if (aliases_.size() - config_.Aliases.size() >= kMaxAddedAliases) {
      Reply(c, msgAddAlias, qdErrNoMemory);
      return;
    }
    aliases_.push_back({name, *dir});
    Reply(c, msgAddAlias, qdOK);
  }
}

std::string TqdServerCore::ResolveDatabase(const std::string& path) const {
  if (path.empty()) return {};
  for (const TqdAliasEntry& alias : aliases_) {
    if (SameText(alias.Name, path) || alias.Directory == path) return alias.Directory;
  }
  return ResolveConfinedDirectory(path, config_.DataDir, roots_).value_or("");
}

void TqdServerCore::OnOpenDatabase(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (request.Data.size() < kOpenDatabaseRequestSize) {
    Reply(c, msgOpenDatabase, qdErrInvalidParam);
    return;
  }
  std::string dir = ResolveDatabase(ShortStringAt(request.Data, 0, kPathCapacity));
  if (dir.empty()) {
    Reply(c, msgOpenDatabase, qdErrUnknownDB);
    return;
  }
  if (!client.HasRoomForHandle()) {
    Reply(c, msgOpenDatabase, qdErrNoMemory);
    return;
  }
  int32_t id = NextId();
  client.Databases[id] = dir;
  Reply(c, msgOpenDatabase, qdOK, Int32Reply(id));
}

void TqdServerCore::OnCloseDatabase(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (request.Data.size() < 4) {
    Reply(c, msgCloseDatabase, qdErrInvalidParam);
    return;
  }
  int32_t id = GetInt32LE(request.Data.data());
  if (client.Databases.erase(id) == 0) {
    Reply(c, msgCloseDatabase, qdErrInvalidHandle);
    return;
  }
  std::erase_if(client.Cursors, [id](const auto& entry) { return entry.second.DatabaseId == id; });
  Reply(c, msgCloseDatabase, qdOK);
}

}  // namespace qd
