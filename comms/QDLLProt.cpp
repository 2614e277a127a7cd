#include "comms/QDLLProt.h"

#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "comms/QDNetMsg.h"
#include "comms/keepalive.h"

namespace qd {

std::string_view NamePartOf(std::string_view address) { return address.substr(0, address.find('@')); }

std::string_view AddressPartOf(std::string_view address) {
  size_t at = address.find('@');
  return at == std::string_view::npos ? address : address.substr(at + 1);
}

TqdConnection::TqdConnection(TqdBaseCommsProtocol& owner, std::string_view remoteName)
    : Owner(owner), RemoteName(remoteName) {
  // A zero-length deadline that has passed: a new connection counts as idle.
  InactivityDeadline.StartTick = InactivityDeadline.ExpiryTick = 0;
  InactivityDeadline.NoWrap = false;
}

TqdConnectionUse::TqdConnectionUse(TqdBaseCommsProtocol& transport, TqdConnection* connection)
    : transport_(transport), connection_(connection) {
  if (connection_ != nullptr && connection_->useCount_++ == 0) transport_.inUse_.Insert(connection_);
}

TqdConnectionUse::~TqdConnectionUse() {
  if (connection_ != nullptr && --connection_->useCount_ == 0)
    transport_.inUse_.Remove(connection_->Key());
}

TqdBaseCommsProtocol::TqdBaseCommsProtocol(std::string_view name, uint8_t mode)
    : mode_(mode), localName_(NamePartOf(name)) {}

TqdBaseCommsProtocol::~TqdBaseCommsProtocol() {
  // Connections close themselves as they are freed, which may use the
  // window, so they go first. They use only this base part of their owner.
  connections_.RemoveAll();
  inUse_.RemoveAll();
  if (window_) window_->KillTimer(kKeepAliveTimerId);
  window_.reset();
}

void TqdBaseCommsProtocol::CreateNotifyWindow() {
  try {
    window_ = std::make_unique<TqdNotifyWindow>(
        [this](uint32_t msg, uintptr_t wParam, intptr_t lParam) { return WindowProc(msg, wParam, lParam); });
  } catch (const std::system_error&) {
    RaiseTableError<EqdCommsException>(GeneralStrings(), gsNotifyWindowFailed);
  }
  if (window_->SetTimer(kKeepAliveTimerId, static_cast<uint32_t>(KeepAliveSettings().CheckInterval)) != 0)
    RaiseTableError<EqdCommsException>(GeneralStrings(), gsNotifyWindowFailed);
}

void TqdBaseCommsProtocol::Start() {
  if (started_) return;
  Startup();
  started_ = true;
}

intptr_t TqdBaseCommsProtocol::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t) {
  if (msg != WM_TIMER) return 0;
  if (wParam == kKeepAliveTimerId) KeepAliveCheck();
  // The keep-alive tick also ends a pause whose own timer could not be
  // made (a timer needs a descriptor too).
  if (wParam == kAcceptBackOffTimerId || wParam == kKeepAliveTimerId) {
    window_->KillTimer(kAcceptBackOffTimerId);
    if (backedOffListenFd_ >= 0) window_->AsyncSelect(std::exchange(backedOffListenFd_, -1), FD_ACCEPT);
  }
  return 0;
}

void TqdBaseCommsProtocol::BackOffAccepting(int listenFd, int err) {
  if (err != EMFILE && err != ENFILE && err != ENOBUFS && err != ENOMEM) return;
  window_->CancelSelect(listenFd);
  backedOffListenFd_ = listenFd;
  window_->SetTimer(kAcceptBackOffTimerId, kAcceptBackOffMs);
}

void TqdBaseCommsProtocol::SetReceivePaused(TqdConnectionHandle handle, bool paused) {
  TqdConnection* connection = FindConnection(handle);
  if (connection == nullptr || connection->ReceivePaused == paused) return;
  connection->ReceivePaused = paused;
  ReceivePausedChanged(*connection);
}

void TqdBaseCommsProtocol::Breathe(int32_t waitMs) {
  if (waitMs > 0) window_->WaitForMessage(waitMs);
  window_->DispatchOne();
  FireIdle();
}

TqdConnection* TqdBaseCommsProtocol::FindConnection(TqdConnectionHandle handle) {
  if (handle == 0) return nullptr;
  std::lock_guard guard(lock_);
  int32_t key = static_cast<int32_t>(handle);
  int at = connections_.IndexOfKey(&key);
  return at < 0 ? nullptr : static_cast<TqdConnection*>(connections_.Items(at));
}

int TqdBaseCommsProtocol::ConnectionCount() {
  std::lock_guard guard(lock_);
  return connections_.Count();
}

TqdConnection* TqdBaseCommsProtocol::ConnectionAt(int index) {
  std::lock_guard guard(lock_);
  return static_cast<TqdConnection*>(connections_.Items(index));
}

TqdConnection* TqdBaseCommsProtocol::FindConnectionIf(const std::function<bool(const TqdConnection&)>& match) {
  std::lock_guard guard(lock_);
  for (int i = 0; i < connections_.Count(); ++i) {
    auto* c = static_cast<TqdConnection*>(connections_.Items(i));
    if (match(*c)) return c;
  }
  return nullptr;
}

void TqdBaseCommsProtocol::AddConnection(TqdConnection* connection) {
  std::lock_guard guard(lock_);
  if (!connections_.Insert(connection)) delete connection;  // cannot happen: keys are identities
}

void TqdBaseCommsProtocol::RemoveConnection(TqdConnectionHandle handle) {
  std::lock_guard guard(lock_);
  TqdConnection* connection = FindConnection(handle);
  if (connection == nullptr) return;
  connection->Close();
  int32_t key = static_cast<int32_t>(handle);
  connections_.Remove(&key);
}

void TqdBaseCommsProtocol::HangUp(TqdConnectionHandle handle) {
  if (FindConnection(handle) == nullptr) return;
  FireConnectionLost(handle);
  RemoveConnection(handle);
}

void TqdBaseCommsProtocol::SetConnectionScramblingSeed(TqdConnectionHandle handle, int32_t seed) {
  TqdConnection* connection = FindConnection(handle);
  if (connection == nullptr) return;
  if (!connection->OwnKey) connection->OwnKey = std::make_unique<TqdScrambleKey>();
  connection->OwnKey->SetSeed(seed);
}

const TqdScrambleKey& TqdBaseCommsProtocol::KeyFor(const TqdConnection* connection) const {
  return connection != nullptr && connection->OwnKey ? *connection->OwnKey : key_;
}

void TqdBaseCommsProtocol::RestartKeepAliveTimer() {
  window_->KillTimer(kKeepAliveTimerId);
  window_->SetTimer(kKeepAliveTimerId, static_cast<uint32_t>(KeepAliveSettings().CheckInterval));
}

void TqdBaseCommsProtocol::KeepAliveCheck() {
  TqdKeepAliveSettings settings = KeepAliveSettings();
  uint8_t keepAlive[kKeepAliveSize];
  EncodeKeepAlive(keepAlive);
  // A client's send raises when it fails (the connection is hung up first);
  // from the timer there is no caller to tell, so the hang-up is all.
  auto send = [&](TqdConnectionHandle handle) {
    try {
      SendMsg(handle, keepAlive, sizeof keepAlive);
    } catch (const EqdCommsException&) {
    }
  };
  for (int i = ConnectionCount() - 1; i >= 0; --i) {
    TqdConnection* connection = ConnectionAt(i);
    if (connection == nullptr) continue;  // the list shrank meanwhile
    TqdConnectionHandle handle = connection->Handle();
    if (connection->Retries >= settings.Retries) {
      HangUp(handle);
    } else if (connection->KeepAliveRequested) {
      connection->KeepAliveRequested = false;
      ++connection->Retries;
      send(handle);
    } else if (TimerExpired(connection->InactivityDeadline)) {
      ++connection->Retries;
      send(handle);
    }
  }
}

bool TqdBaseCommsProtocol::HandleReceivedMessage(TqdConnectionHandle handle, uint8_t* part, size_t size) {
  TqdConnection* connection = FindConnection(handle);
  int32_t inactivity = KeepAliveSettings().InactivityInterval;
  if (IsKeepAlive(part, size)) {
    if (connection != nullptr) {
      connection->Retries = 0;
      StartTimer(connection->InactivityDeadline, inactivity);
      connection->KeepAliveRequested = true;
      ++connection->KeepAlivesReceived;
    }
    return true;
  }
  if (connection != nullptr) {
    connection->Retries = 0;
    StartTimer(connection->InactivityDeadline, inactivity);
    connection->KeepAliveRequested = false;
  }
  if (!Events.OnMessage) return true;
  KeyFor(connection).ScramblePart(part, size);
  return Events.OnMessage(*this, handle, size, part);
}

void TqdBaseCommsProtocol::FireConnectionLost(TqdConnectionHandle handle) {
  if (Events.OnConnectionLost) Events.OnConnectionLost(*this, handle);
}
void TqdBaseCommsProtocol::FireConnectionAdded(TqdConnectionHandle handle) {
  if (Events.OnConnectionAdded) Events.OnConnectionAdded(*this, handle);
}
void TqdBaseCommsProtocol::FireIdle() {
  if (Events.OnIdle) Events.OnIdle(*this);
}
void TqdBaseCommsProtocol::FireDatagram(std::string_view address, const uint8_t* data, size_t size) {
  if (Events.OnDatagram) Events.OnDatagram(*this, address, data, size);
}

}  // namespace qd
