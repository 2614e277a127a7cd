// The session handlers of the core: sessions, the alias list, adding an
// alias, opening and closing a database.
#include <strings.h>

#include <algorithm>

#include "comms/QDNetMsg.h"
#include "server/path_guard.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

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
  auto id = ReadIdRequest(request.Data);
  if (!id) {
    Reply(c, msgCloseSession, qdErrInvalidParam);
    return;
  }
  bool known = *id == 0 || client.Sessions.erase(*id) > 0;
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

// What adding `name` for `dir` answers without adding anything: 0 when it
// is there already, 10009 when the name is taken, 9473 at the cap; nullopt
// when it may be added.
std::optional<TqdResult> TqdServerCore::KnownAliasAnswer(const std::string& name, const std::string& dir) const {
  for (const TqdAliasEntry& alias : aliases_) {
    if (SameText(alias.Name, name)) return alias.Directory == dir ? qdOK : qdErrNameNotUnique;
  }
  if (aliases_.size() - config_.Aliases.size() >= kMaxAddedAliases) return qdErrNoMemory;
  return std::nullopt;
}

// An added alias lives until the server stops (at most kMaxAddedAliases
// of them); its directory must lie within DataDir or a configured alias
// directory, and becomes a database: its store is made when it has none.
void TqdServerCore::OnAddAlias(TqdCoreConnection c, Client&, const TqdServerRequest& request) {
  auto add = ReadAddAliasRequest(request.Data);
  auto dir = add ? ResolveConfinedDirectory(add->Path, config_.DataDir, roots_) : std::nullopt;
  if (!add || !IsAliasNameText(add->Name)) {
    Reply(c, msgAddAlias, qdErrInvalidParam);
  } else if (!dir) {
    Reply(c, msgAddAlias, qdErrInvalidDir);
  } else if (auto known = KnownAliasAnswer(add->Name, *dir)) {
    Reply(c, msgAddAlias, *known);
  } else {
    Defer(
        c, msgAddAlias, 0,
        [d = *dir](TqdStoreCache& stores) {
          stores.ForCreating(d);
          return TqdJobResult{};
        },
        [this, name = add->Name, d = *dir](Client&, TqdJobResult& result) {
          if (result.Result != qdOK) return;
          // Another client may have added it meanwhile.
          if (auto now = KnownAliasAnswer(name, d)) {
            result.Result = *now;
          } else {
            aliases_.push_back({name, d});
          }
        });
  }
}

bool TqdServerCore::IsAliasDirectory(const std::string& directory) const {
  return std::any_of(aliases_.begin(), aliases_.end(),
                     [&](const TqdAliasEntry& alias) { return alias.Directory == directory; });
}

std::string TqdServerCore::ResolveDatabase(const std::string& path) const {
  if (path.empty()) return {};
  for (const TqdAliasEntry& alias : aliases_) {
    if (SameText(alias.Name, path) || alias.Directory == path) return alias.Directory;
  }
  return ResolveConfinedDirectory(path, config_.DataDir, roots_).value_or("");
}

void TqdServerCore::OnOpenDatabase(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto path = ReadOpenDatabaseRequest(request.Data);
  if (!path) {
    Reply(c, msgOpenDatabase, qdErrInvalidParam);
    return;
  }
  std::string dir = ResolveDatabase(*path);
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
  auto read = ReadIdRequest(request.Data);
  if (!read) {
    Reply(c, msgCloseDatabase, qdErrInvalidParam);
    return;
  }
  int32_t id = *read;
  if (client.Databases.erase(id) == 0) {
    Reply(c, msgCloseDatabase, qdErrInvalidHandle);
    return;
  }
  DropTransactions(client, id);
  std::erase_if(client.Cursors, [&](const auto& entry) {
    if (entry.second.DatabaseId != id) return false;
    locks_.ForgetCursor({c, entry.first});
    return true;
  });
  Reply(c, msgCloseDatabase, qdOK);
}

}  // namespace qd
