#include "components/comms_engine.h"

#include "comms/QDCLCfg.h"
#include "components/QDDB.h"
#include "components/errors.h"
#include "framework/app_exceptions.h"

namespace qd {

TqdCommsEngine::TqdCommsEngine(TqdComponent* owner)
    : TqdDBListItem(owner, 1, true, std::make_unique<TqdDBList>()) {
  if (TqdDBList* list = CommsEngines()) list->Add(this);
}

TqdCommsEngine::~TqdCommsEngine() {
  if (isDefault_) SetIsDefault(false);
  DestroyNode();
  if (TqdDBList* list = CommsEngines()) list->Remove(this);
}

void TqdCommsEngine::SetCommsEngineName(std::string_view name) {
  TqdCommsEngine* other = FindCommsEngine(name);
  if (other != nullptr && other != this) RaiseDatasetMessage(dsCommsEngineNameExists, {name});
  SetOwnName(name);
}

void TqdCommsEngine::SetIsDefault(bool isDefault) {
  if (isDefault) {
    if (TqdCommsEngine* current = FindDefaultCommsEngine()) current->isDefault_ = false;
    isDefault_ = true;
    if (SessionCount() > 0) DefaultSessionOf();
    return;
  }
  isDefault_ = false;
  // While no other engine is, the automatic one stays the default.
  if (FindDefaultCommsEngine() == nullptr) {
    if (TqdCommsEngine* automatic = FindAutoCommsEngine()) automatic->isDefault_ = true;
  }
}

void TqdCommsEngine::SetProtocol(TqdProtocolType protocol) {
  CheckInactive(false);
  protocol_ = protocol;
}

void TqdCommsEngine::SetServerName(std::string_view name) {
  CheckInactive(false);
  serverName_.Assign(name);
}

void TqdCommsEngine::SetUserName(std::string_view name) {
  CheckInactive(false);
  userName_.Assign(name);
}

TqdSession* TqdCommsEngine::Sessions(int index) { return static_cast<TqdSession*>(Children().Items(index)); }

TqdSession* TqdCommsEngine::DefaultSessionOf() {
  int count = SessionCount();
  if (count == 0) return nullptr;
  for (int i = 0; i < count; ++i) {
    if (Sessions(i)->OwnDefaultFlag()) return Sessions(i);
  }
  Sessions(0)->SetOwnDefaultFlag(true);
  return Sessions(0);
}

void TqdCommsEngine::SetDefaultSession(TqdSession* session, bool isDefault) {
  if (isDefault) {
    for (int i = 0; i < SessionCount(); ++i) Sessions(i)->SetOwnDefaultFlag(false);
    session->SetOwnDefaultFlag(true);
    return;
  }
  bool wasDefault = session->OwnDefaultFlag();
  session->SetOwnDefaultFlag(false);
  if (!wasDefault || SessionCount() == 0) return;
  TqdSession* next = Sessions(0);
  for (int i = 0; i < SessionCount(); ++i) {
    if (Sessions(i) != session) {
      next = Sessions(i);
      break;
    }
  }
  next->SetOwnDefaultFlag(true);
}

void TqdCommsEngine::ChildAdded(TqdDBListItem* child) {
  if (SessionCount() == 1) static_cast<TqdSession*>(child)->SetOwnDefaultFlag(true);
}

void TqdCommsEngine::ChildRemoved(TqdDBListItem* child) {
  auto* session = static_cast<TqdSession*>(child);
  if (session->OwnDefaultFlag()) SetDefaultSession(session, false);
}

const TqdProtocolClass& TqdCommsEngine::ProtocolClass() {
  switch (protocol_) {
    case TqdProtocolType::ptTCPIP: return TCPIPProtocolClass();
    case TqdProtocolType::ptIPXSPX: return IPXSPXProtocolClass();
    case TqdProtocolType::ptNetBIOS: return NetBIOSProtocolClass();
    case TqdProtocolType::ptRegistry:
      if (registryClass_ == nullptr) registryClass_ = GetDefaultProtocolClass();
      return *registryClass_;
    default: return SingleUserProtocolClass();
  }
}

void TqdCommsEngine::DoOpen() {
  clientCommsEngine_ = std::make_unique<TqdClientCommsEngine>(userName_.View(), ProtocolClass());
  try {
    clientCommsEngine_->Startup();
  } catch (const std::exception& e) {
    clientCommsEngine_.reset();
    if (!IsDesigning()) throw;
    HandleApplicationException(e);
  }
}

void TqdCommsEngine::DoClose() {
  TqdDBListItem::DoClose();
  clientCommsEngine_.reset();
}

void TqdCommsEngine::RaiseMustBeClosed() { RaiseNodeError(this, dsCommsEngineMustBeInactive); }
void TqdCommsEngine::RaiseMustBeOpen() { RaiseNodeError(this, dsCommsEngineMustBeActive); }

}  // namespace qd
