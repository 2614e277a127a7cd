#include "components/session.h"

#include "callif/QDCLSess.h"
#include "callif/QDClEng.h"
#include "components/QDDB.h"
#include "components/errors.h"

namespace qd {

TqdSession::TqdSession(TqdComponent* owner) : TqdDBListItem(owner, 2, false, std::make_unique<TqdDBList>()) {
  StoreParentName(DefaultCommsEngine()->CommsEngineName());
}

TqdSession::~TqdSession() {
  auto* engine = static_cast<TqdCommsEngine*>(AttachedParent());
  if (engine != nullptr && ownDefault_) {
    engine->SetDefaultSession(this, false);
    // Still default: it is the engine's only session, so the engine stops
    // being the default one.
    if (ownDefault_) {
      if (engine->IsDefault()) engine->SetIsDefault(false);
      ownDefault_ = false;
    }
  }
  DestroyNode();
}

void TqdSession::SetSessionName(std::string_view name) {
  TqdSession* other = FindSession(name);
  if (other != nullptr && other != this) RaiseDatasetMessage(dsSessionNameExists, {name});
  SetOwnName(name);
}

bool TqdSession::IsDefault() {
  TqdCommsEngine* engine = CommsEngine();
  return engine != nullptr && engine->IsDefault() && ownDefault_;
}

void TqdSession::SetIsDefault(bool isDefault) {
  if (TqdCommsEngine* engine = CommsEngine())
    engine->SetDefaultSession(this, isDefault);
  else
    ownDefault_ = false;
}

TqdClientSession* TqdSession::ClientSession() {
  if (!Active()) SetActive(true);
  return LiveObject<TqdClientSession>(sessionHandle_);
}

hDBISes TqdSession::SessionHandle() {
  TqdClientSession* session = ClientSession();
  if (session == nullptr) RaiseMustBeOpen();
  return session->Handle();
}

hDBISes TqdSession::HeldSessionHandle() const {
  TqdClientSession* session = LiveObject<TqdClientSession>(sessionHandle_);
  return session == nullptr ? nullptr : session->Handle();
}

bool TqdSession::ReconnectIfLost() {
  if (!Active()) return false;
  TqdClientSession* session = LiveObject<TqdClientSession>(sessionHandle_);
  if (session != nullptr && session->CheckConnection()) return false;
  CloseWithEngine();
  SetActive(true);
  return true;
}

void TqdSession::Reconnect() {
  CloseWithEngine();
  serverUsed_.clear();
  SetActive(true);
}

void TqdSession::CloseWithEngine() {
  ForceClose();
  TqdCommsEngine* engine = CommsEngine();
  if (engine == nullptr || !engine->Active()) return;
  for (int i = 0; i < engine->SessionCount(); ++i) {
    if (engine->Sessions(i)->Active()) return;
  }
  engine->ForceClose();
}

TqdCommsEngine* TqdSession::CommsEngine() { return static_cast<TqdCommsEngine*>(Parent()); }

TqdDatabase* TqdSession::Databases(int index) { return static_cast<TqdDatabase*>(Children().Items(index)); }

TqdDBListItem* TqdSession::FindParent(std::string_view name) {
  return name.empty() ? FindDefaultCommsEngine() : FindCommsEngine(name);
}

void TqdSession::DoStartup() {
  if (OnStartup) OnStartup(*this);
}

void TqdSession::DoOpen() {
  DoStartup();
  if (!ClientEngineStarted() && StartClientEngine() != qdOK) RaiseNodeError(this, dsCannotStartClientEngine);
  TqdCommsEngine* engine = CommsEngine();
  CheckResult(ClientEngine()->NewSession(SessionName().c_str(), sessionHandle_,
                                         engine != nullptr ? engine->ClientCommsEngine() : nullptr));
  try {
    ConnectSessionObject();
  } catch (...) {
    FreeSessionObject();
    throw;
  }
}

void TqdSession::ConnectSessionObject() {
  TqdClientSession* session = LiveObject<TqdClientSession>(sessionHandle_);
  session->OnChooseServer = OnChooseServer;
  session->OnFindServers = OnFindServers;
  session->OnLogin = OnLogin;
  TqdCommsEngine* engine = CommsEngine();
  if (engine != nullptr && !engine->ServerName().empty())
    session->SetServerName(engine->ServerName());
  else if (!serverUsed_.empty())
    session->SetServerName(serverUsed_);
  TqdResult result = session->Connect();
  // The cause's own words and code stay with the error: a refused login
  // must not read as "no server".
  if (result != qdOK) RaiseComponentErrorWithCode(this, DatasetText(dsCannotOpenSession, {SessionName()}), result);
  if (!session->ServerName().empty()) serverUsed_ = session->ServerName();
}

void TqdSession::FreeSessionObject() {
  // The client engine frees every session object when it stops: only a
  // live one is freed here.
  delete LiveObject<TqdClientSession>(sessionHandle_);
  sessionHandle_ = nullptr;
}

void TqdSession::DoClose() {
  TqdDBListItem::DoClose();
  FreeSessionObject();
}

void TqdSession::RaiseMustBeClosed() { RaiseNodeError(this, dsSessionMustBeClosed); }
void TqdSession::RaiseMustBeOpen() { RaiseNodeError(this, dsSessionMustBeOpen); }

}  // namespace qd
