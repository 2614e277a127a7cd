// TqdClientSession: the engine's session with one database server. It
// connects (configured, discovered or chosen server; login with retries),
// opens and closes the server-side session, lists and adds aliases and
// opens databases, all through the client comms engine it owns or shares.
//
// Process-wide settings: preset credentials (used instead of the login
// sequence when set), the number of login retries, and a hook told when a
// connection starts and ends. The credentials a server accepted are kept
// in memory (never written) and offered first at the next login to it.
// Thread rules: the user-interface thread only (the comms engine's owner).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/shortstr.h"
#include "callif/QDTTSess.h"
#include "comms/QDClComm.h"

namespace qd {

class TqdClientSession;

using TqdConnectionHook = void (*)(TqdClientSession* session, bool starting, TqdResult result);

void SetPresetCredentials(std::string_view userName, std::string_view password);
void SetLoginRetryCount(uint8_t count);
uint8_t LoginRetryCount();
void SetConnectionHook(TqdConnectionHook hook);
// Forgets the credentials servers accepted in this process (tests).
void ForgetAcceptedCredentials();

inline constexpr uint8_t kDefaultLoginRetries = 3;

class TqdClientSession : public TttBaseSession {
 public:
  // Without a comms engine the session makes one over the configured
  // transport (its Startup may raise) and owns it.
  TqdClientSession(TttCollectionItem* engine, TttCollection* collection, const char* sessionName,
                   const char* directory, TqdClientCommsEngine* commsEngine);
  // Frees the databases and cursors while the connection still stands,
  // closes the server session, then frees an owned comms engine.
  ~TqdClientSession() override;

  TqdResult AddAlias(void* cfg, const char* aliasName, const char* driverType, const char* params,
                     bool persistent) override;
  TqdResult CloseDatabase(TttBaseDatabase*& database) override;
  TqdResult GetErrorString(TqdResult code, char* buffer) override;
  TqdResult OpenDatabaseList(TttBaseTable*& cursor) override;
  TqdResult OpenDatabaseInternal(const uint8_t* desc, int32_t openMode, int32_t shareMode, const char* password,
                                 uint16_t optionCount, const uint8_t* optionDescs, const uint8_t* optionValues,
                                 TttBaseDatabase*& database) override;

  // Attaches and logs in, or (when the comms engine is logged in already)
  // opens an additional server session.
  TqdResult Connect();
  TqdResult FindServer();
  TqdResult Login();
  TqdResult OpenServerSession();
  TqdResult CloseServerSession();
  // A comms engine that is attached and logged in.
  bool IsConnected() const;
  // IsConnected, once the comms engine has taken in a hang-up that is
  // pending: a lost connection is seen before a request is made on it.
  bool CheckConnection();
  TqdResult Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply);

  TqdClientCommsEngine* CommsEngine() const { return commsEngine_; }
  bool OwnsCommsEngine() const { return ownedEngine_ != nullptr; }
  std::string_view ClientName() const { return clientName_.View(); }
  std::string ServerName() const { return serverName_.Str(); }
  void SetServerName(std::string_view name) { serverName_.Assign(name); }
  int32_t ServerSessionId() const { return serverSessionId_; }
  uint32_t OptionValue() const { return optionValue_; }
  void SetOptionValue(uint32_t value) { optionValue_ = value; }

  TqdChooseServerEvent OnChooseServer;
  TqdFindServersEvent OnFindServers;
  TqdLoginEvent OnLogin;

 private:
  TqdResult ConnectToServer();
  // Asks OnLogin or the login dialog (which shows `message` when it is not
  // empty); true when confirmed.
  bool AskForLogin(TqdName& userName, TqdName& password, const std::string& message);
  bool ChooseServer(const std::vector<std::string>& names, std::string& chosen);

  TqdClientCommsEngine* commsEngine_ = nullptr;
  std::unique_ptr<TqdClientCommsEngine> ownedEngine_;
  TqdNetAddress clientName_;
  TqdNetAddress serverName_;
  int32_t serverSessionId_ = 0;
  uint32_t optionValue_ = 0;
};

}  // namespace qd
