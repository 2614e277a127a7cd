// TqdSession: the tree's level 2. While open it owns one call-interface
// session object, made through the client engine over its comms engine's
// client comms engine and connected (server found, attached, logged in).
// It lists the server's aliases and the tables of a database, opening what
// it needs for the listing; its children are the databases.
// Thread rules: the user-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "callif/QDTTBapi.h"
#include "comms/QDClComm.h"
#include "components/QDDBBase.h"

namespace qd {

class TqdClientSession;
class TqdCommsEngine;
class TqdDatabase;

class TqdSession final : public TqdDBListItem {
 public:
  // Takes the default comms engine's name as CommsEngineName; raises 54539
  // when there is no default comms engine.
  explicit TqdSession(TqdComponent* owner);
  ~TqdSession() override;
  std::string_view ClassName() const override { return "TqdSession"; }

  const std::string& SessionName() const { return OwnName(); }
  // Raises 54550 when another session has the name already.
  void SetSessionName(std::string_view name);
  std::string CommsEngineName() { return ParentName(); }
  void SetCommsEngineName(std::string_view name) { SetParentName(name); }
  // Its comms engine is the default one and its own flag is set.
  bool IsDefault();
  void SetIsDefault(bool isDefault);
  bool OwnDefaultFlag() const { return ownDefault_; }
  void SetOwnDefaultFlag(bool isDefault) { ownDefault_ = isDefault; }

  // Opens the session when it is closed.
  TqdClientSession* ClientSession();
  // The session object's handle, opening the session first; raises 54546
  // when it cannot be had (an open deferred while a form is read).
  hDBISes SessionHandle();
  // The session object's handle while one is held, else nullptr; never
  // opens the session (closing, and a task's poll, must not connect).
  hDBISes HeldSessionHandle() const;

  // The server the session connected to last: later connections go to it
  // without a search or a choice, until Reconnect. Empty before the first.
  const std::string& ServerUsed() const { return serverUsed_; }
  // An open session whose connection was lost (the server stopped or
  // restarted, the network failed) is closed, which closes its databases
  // and forgets what they had open on the server, and opened again: on the
  // server it used, with the login that server accepted. True when it was
  // re-made; raises as an open does when the new connection fails (the
  // session is then closed). A closed session is left to its next open.
  bool ReconnectIfLost();
  // Drops the connection, if any (the session, its databases and, when no
  // other session of it is open, its comms engine are closed), forgets the
  // server it used, and opens the session again: the server is found anew
  // and logged in with the credentials it accepted before, else asked for.
  void Reconnect();
  TqdCommsEngine* CommsEngine();
  int DatabaseCount() { return Children().Count(); }
  TqdDatabase* Databases(int index);

  // Adds the server's alias names not yet in `list` (case ignored). A
  // session (and comms engine) closed before is closed again afterwards.
  void ListAliasNames(std::vector<std::string>& list);
  // Replaces `list` with the tables of the database or alias `databaseName`
  // (empty when neither exists); `extensions` adds ".EXT" where there is one.
  void ListTableNames(std::string_view databaseName, std::string_view pattern, bool extensions,
                      bool systemTables, std::vector<std::string>& list);
  // The database of that name, or a temporary one for an alias, opened
  // once; nullptr when neither exists.
  TqdDatabase* OpenDatabaseByName(std::string_view name);
  // Closes the database once; a temporary one that is then closed is freed.
  void CloseTemporaryDatabase(TqdDatabase* database);

  std::function<void(TqdSession&)> OnStartup;
  TqdChooseServerEvent OnChooseServer;
  TqdFindServersEvent OnFindServers;
  TqdLoginEvent OnLogin;

 protected:
  void DoOpen() override;
  void DoClose() override;
  TqdDBListItem* FindParent(std::string_view name) override;
  [[noreturn]] void RaiseMustBeClosed() override;
  [[noreturn]] void RaiseMustBeOpen() override;
  virtual void DoStartup();

 private:
  void ConnectSessionObject();
  void FreeSessionObject();
  // Closes the session, and its comms engine when no other session of it
  // is open, so that the next open starts from a new transport.
  void CloseWithEngine();
  // Reads the alias rows into `list`; the cursor is always closed.
  void ReadAliasNames(std::vector<std::string>& list);

  // The session object while open: owned, though it lives in the client
  // engine's collection (which frees it when the engine stops).
  hDBISes sessionHandle_ = nullptr;
  bool ownDefault_ = false;
  std::string serverUsed_;
};

}  // namespace qd
