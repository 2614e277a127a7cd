#include "server/server_runner.h"

#include <cstdio>

#include "comms/QDLLWsck.h"
#include "comms/ipx_spx.h"
#include "comms/netbios_transport.h"
#include "comms/single_user.h"

namespace qd {
namespace {

constexpr uint32_t kWakeMessage = 0x8000 + 1;  // posted by the workers
constexpr uint32_t kCoreTimerId = 1;

}  // namespace

std::atomic<bool> TqdServerRunner::stopping_{false};

TqdServerRunner::TqdServerRunner(const TqdServerConfig& config, TqdServerCore::LogFunction log)
    : config_(config) {
  window_ = std::make_unique<TqdNotifyWindow>([this](uint32_t msg, uintptr_t wParam, intptr_t) -> intptr_t {
    if (msg == kWakeMessage) core_->RunCompletions();
    if (msg == WM_TIMER && wParam == kCoreTimerId) core_->OnTimer();
    return 0;
  });
  TqdNotifyWindow* window = window_.get();
  TqdCoreOutput& output = *this;
  core_ = std::make_unique<TqdServerCore>(config_, output, [window] { window->Post(kWakeMessage, 0, 0); },
                                          std::move(log));
}

TqdServerRunner::~TqdServerRunner() {
  core_->Shutdown();
  endpoints_.clear();
  transports_.clear();
  core_.reset();
  window_.reset();
}

void TqdServerRunner::Attach(TqdBaseCommsProtocol& transport, TqdServerEndpoint& endpoint) {
  // No request of the catalogue is larger than a restructure, so a client
  // can make the server hold no more than that; and nobody sends requests
  // in parts before logging in.
  endpoint.MaxRequestSize = kMaxRestructureBytes;
  endpoint.PartsNeedPermission = true;
  memoryCap_.Watch(endpoint);
  TqdServerEndpoint* e = &endpoint;
  transport.Events.OnConnectionAdded = [this, e](TqdBaseCommsProtocol& t, TqdConnectionHandle h) {
    TqdConnection* connection = t.FindConnection(h);
    std::string address = t.IsSingleUser() || connection == nullptr ? kLocalAddress : connection->RemoteName.Str();
    TqdCoreConnection c = core_->AddConnection(address);
    links_[c] = {e, h};
    connections_[{e, h}] = c;
  };
  endpoint.OnConnectionLost = [this](TqdServerEndpoint& from, TqdConnectionHandle h) {
    auto it = connections_.find({&from, h});
    if (it == connections_.end()) return;
    core_->RemoveConnection(it->second);
    links_.erase(it->second);
    connections_.erase(it);
  };
  endpoint.OnRequest = [this](TqdServerEndpoint& from, const TqdIncomingRequest& r) {
    auto it = connections_.find({&from, r.Connection});
    if (it != connections_.end()) core_->OnRequest(it->second, {r.MsgID, r.ClientID, r.IsStream, r.Data});
  };
  endpoint.OnUnsound = [this](TqdServerEndpoint& from, TqdConnectionHandle h, const uint8_t* part, size_t size) {
    auto it = connections_.find({&from, h});
    if (it != connections_.end()) core_->OnUnsound(it->second, part, size);
  };
}

void TqdServerRunner::Serve(std::unique_ptr<TqdBaseCommsProtocol> transport, bool discovery) {
  auto endpoint = std::make_unique<TqdServerEndpoint>(*transport);
  Attach(*transport, *endpoint);
  transport->Start();
  if (discovery) transport->StartDatagramListen();
  transports_.push_back(std::move(transport));
  endpoints_.push_back(std::move(endpoint));
}

std::string TqdServerRunner::StartTCPIP() {
  auto owned = std::make_unique<TqdTCPIPProtocol>(config_.Name, kListeningMode);
  TqdTCPIPProtocol& tcp = *owned;
  tcp.Endpoints.StreamPort = config_.Port;
  tcp.Endpoints.BindAddress = config_.BindAddress;
  tcp.Endpoints.ClientDiscoveryPort = config_.ClientDiscoveryPort;
  Serve(std::move(owned), false);
  // Discovery listens on the port the stream got (the same unless 0 asked for any).
  tcp.Endpoints.ServerDiscoveryPort = tcp.BoundStreamPort();
  tcp.StartDatagramListen();
  return "TCP/IP port " + std::to_string(tcp.BoundStreamPort()) + ", discovery on UDP port " +
         std::to_string(tcp.BoundDiscoveryPort());
}

std::string TqdServerRunner::StartIPXSPX() {
  auto owned = std::make_unique<TqdIPXSPXProtocol>(config_.Name, kListeningMode);
  TqdIPXSPXProtocol& ipx = *owned;
  ipx.SetEmulation({config_.IPXPortOffset, kDefaultIpxDiscoveryAddress});
  if (config_.Port == 0) ipx.Endpoints.StreamPort = 0;
  ipx.Endpoints.BindAddress = config_.BindAddress;
  Serve(std::move(owned), true);
  return "IPX/SPX address " + ipx.LocalAddress() + ", SPX on TCP port " + std::to_string(ipx.BoundStreamPort()) +
         ", discovery on UDP port " + std::to_string(ipx.BoundDiscoveryPort());
}

std::string TqdServerRunner::StartNetBIOS() {
  ConfigureNetBIOS(config_.NetBIOS);
  auto owned = std::make_unique<TqdNetBIOSProtocol>(config_.Name, kListeningMode);
  TqdNetBIOSProtocol& netbios = *owned;
  Serve(std::move(owned), true);
  return "NetBIOS name " + netbios.LocalAddress() + " on " + std::to_string(netbios.Lanas().size()) +
         " LANA(s), session port " + std::to_string(config_.NetBIOS.SessionPort);
}

std::vector<std::string> TqdServerRunner::Start() {
  std::vector<std::string> lines;
  SetKeepAliveSettings(config_.KeepAlive);
  for (TqdServerTransport kind : config_.Transports) {
    if (kind == TqdServerTransport::TCPIP) {
      lines.push_back(StartTCPIP());
    } else if (kind == TqdServerTransport::IPXSPX) {
      lines.push_back(StartIPXSPX());
    } else if (kind == TqdServerTransport::NetBIOS) {
      lines.push_back(StartNetBIOS());
    } else {
      auto owned = std::make_unique<TqdSingleUserProtocol>(config_.Name, kListeningMode);
      TqdSingleUserProtocol& single = *owned;
      Serve(std::move(owned), false);
      lines.push_back("Single User socket " + single.SocketPath());
    }
  }
  window_->SetTimer(kCoreTimerId, kCoreTimerMs);
  return lines;
}

void TqdServerRunner::Run() {
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  while (!stopping_) {
    queue.WaitFor(nullptr, 100);
    try {
      queue.DispatchPending();
    } catch (const std::exception& e) {
      // The message that raised is spent; the others wait for the next turn.
      std::fprintf(stderr, "qd-server: %s\n", e.what());
    }
  }
  window_->KillTimer(kCoreTimerId);
  core_->Shutdown();
}

const TqdServerRunner::Link* TqdServerRunner::LinkOf(TqdCoreConnection c) const {
  auto it = links_.find(c);
  return it == links_.end() ? nullptr : &it->second;
}

void TqdServerRunner::Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, uint8_t dataKind,
                            std::span<const uint8_t> data, uint32_t clientId) {
  if (const Link* link = LinkOf(c)) link->Endpoint->Reply(link->Handle, msg, result, dataKind, data, clientId);
}

void TqdServerRunner::ReplyToUnreadableLogin(TqdCoreConnection c, std::span<const uint8_t> part,
                                             uint32_t clientId, uint16_t result) {
  if (const Link* link = LinkOf(c)) link->Endpoint->ReplyToUnreadableLogin(link->Handle, part, clientId, result);
}

void TqdServerRunner::SetScramblingSeed(TqdCoreConnection c, int32_t seed) {
  if (const Link* link = LinkOf(c)) link->Endpoint->Transport().SetConnectionScramblingSeed(link->Handle, seed);
}

void TqdServerRunner::HangUp(TqdCoreConnection c) {
  if (const Link* link = LinkOf(c)) link->Endpoint->Transport().HangUp(link->Handle);
}

void TqdServerRunner::PauseRequests(TqdCoreConnection c, bool paused) {
  if (const Link* link = LinkOf(c)) link->Endpoint->PauseRequests(link->Handle, paused);
}

void TqdServerRunner::AllowRequestsInParts(TqdCoreConnection c, bool allowed) {
  if (const Link* link = LinkOf(c)) link->Endpoint->AllowRequestsInParts(link->Handle, allowed);
}

}  // namespace qd
