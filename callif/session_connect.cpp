// The connection sequence of a session: the server name from the owner,
// the configuration or a search; then preset credentials or the login
// with its retries.
#include <map>
#include <mutex>
#include <set>

#include "base/QDLLExcp.h"
#include "callif/QDCLSess.h"
#include "callif/dialog_hooks.h"
#include "comms/QDCLCfg.h"
#include "platform/hooks.h"

namespace qd {

namespace {

struct Credentials {
  TqdName UserName;
  TqdName Password;
};

// Process-wide settings and the credentials servers accepted, by server name.
struct ConnectSettings {
  std::mutex mutex;
  Credentials preset;
  uint8_t loginRetries = kDefaultLoginRetries;
  TqdConnectionHook hook = nullptr;
  std::map<std::string, Credentials> accepted;
};
ConnectSettings& Settings() {
  static ConnectSettings settings;
  return settings;
}

}  // namespace

void SetPresetCredentials(std::string_view userName, std::string_view password) {
  std::lock_guard lock(Settings().mutex);
  Settings().preset = Credentials{TqdName(userName), TqdName(password)};
}
void SetLoginRetryCount(uint8_t count) {
  std::lock_guard lock(Settings().mutex);
  Settings().loginRetries = count;
}
uint8_t LoginRetryCount() {
  std::lock_guard lock(Settings().mutex);
  return Settings().loginRetries;
}
void SetConnectionHook(TqdConnectionHook hook) {
  std::lock_guard lock(Settings().mutex);
  Settings().hook = hook;
}
void ForgetAcceptedCredentials() {
  std::lock_guard lock(Settings().mutex);
  Settings().accepted.clear();
}

TqdResult TqdClientSession::Connect() {
  TqdConnectionHook hook;
  {
    std::lock_guard lock(Settings().mutex);
    hook = Settings().hook;
  }
  if (hook != nullptr) hook(this, true, qdOK);
  // Another session logged the comms engine in already: this one is an
  // additional server session. An engine that lost its connection, or
  // whose login was refused, is connected afresh.
  if (IsConnected()) return OpenServerSession();
  serverSessionId_ = 0;
  TqdResult result = ConnectToServer();
  if (hook != nullptr) hook(this, false, result);
  return SetResult(result);
}

TqdResult TqdClientSession::ConnectToServer() {
  if (commsEngine_ == nullptr) return qdErrNetUnknown;
  if (serverName_.Empty()) serverName_.Assign(GetDefaultServerName());
  if (serverName_.Empty()) FindServer();
  if (serverName_.Empty()) return qdErrNetServerNotFound;
  Credentials preset;
  {
    std::lock_guard lock(Settings().mutex);
    preset = Settings().preset;
  }
  if (!preset.UserName.Empty() || !preset.Password.Empty())
    return commsEngine_->Attach(serverName_.View(), preset.UserName.View(), preset.Password.View());
  return Login();
}

TqdResult TqdClientSession::FindServer() {
  serverName_ = TqdNetAddress();
  if (commsEngine_ == nullptr) return SetResult(qdErrNetUnknown);
  if (OnFindServers) OnFindServers(this, true);
  std::vector<std::string> found;
  commsEngine_->GetServerNames(found);
  if (OnFindServers) OnFindServers(this, false);
  std::set<std::string> sorted(found.begin(), found.end());
  std::vector<std::string> names(sorted.begin(), sorted.end());
  if (names.size() == 1) {
    serverName_.Assign(names[0]);
  } else if (names.size() > 1) {
    std::string chosen;
    if (ChooseServer(names, chosen)) serverName_.Assign(chosen);
  }
  return SetResult(serverName_.Empty() ? qdErrNetServerNotFound : qdOK);
}

bool TqdClientSession::ChooseServer(const std::vector<std::string>& names, std::string& chosen) {
  if (OnChooseServer) {
    TqdNetAddress name;
    bool confirmed = false;
    OnChooseServer(this, names, name, confirmed);
    chosen = name.Str();
    return confirmed;
  }
  return RunServerDialog(names, chosen);
}

TqdResult TqdClientSession::Login() {
  if (commsEngine_ == nullptr) return SetResult(qdErrNetUnknown);
  std::string server = serverName_.Str();
  Credentials current;
  uint8_t retries;
  {
    std::lock_guard lock(Settings().mutex);
    auto known = Settings().accepted.find(server);
    if (known != Settings().accepted.end()) current = known->second;
    retries = Settings().loginRetries;
  }
  TqdResult result = commsEngine_->Attach(server, current.UserName.View(), current.Password.View());
  for (uint8_t attempt = 0; attempt < retries && result == qdErrInvalidPassword; ++attempt) {
    Beep();
    // Credentials the server refused are said to be so; the first try with
    // nothing filled in is no refusal worth a word. The user name stays for
    // the next try, the refused password does not.
    bool refusedGiven = !current.UserName.Empty() || !current.Password.Empty();
    std::string message = refusedGiven ? ResultCodeText(qdErrInvalidPassword) : std::string();
    current.Password = TqdName();
    if (!AskForLogin(current.UserName, current.Password, message)) break;
    result = commsEngine_->Attach(server, current.UserName.View(), current.Password.View());
    if (result != qdOK) Beep();
  }
  if (result == qdOK) {
    std::lock_guard lock(Settings().mutex);
    Settings().accepted[server] = current;
  }
  return SetResult(result);
}

bool TqdClientSession::AskForLogin(TqdName& userName, TqdName& password, const std::string& message) {
  if (OnLogin) {
    bool confirmed = false;
    OnLogin(this, userName, password, confirmed);
    return confirmed;
  }
  return RunLoginDialog(serverName_.Str(), message, userName, password);
}

bool TqdClientSession::CheckConnection() { return commsEngine_ != nullptr && commsEngine_->CheckConnection(); }

}  // namespace qd
