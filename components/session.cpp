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
  if (engine != nullptr && !engine->ServerName().empty()) session->SetServerName(engine->ServerName());
  if (session->Connect() != qdOK) RaiseNodeError(this, dsCannotOpenSession, {SessionName()});
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
