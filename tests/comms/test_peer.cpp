#include "test_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "base/padlock.h"
#include "base/result_codes.h"
#include "comms/ipx_spx.h"
#include "comms/netbios_transport.h"
#include "comms/scramble.h"

namespace qd::test {
namespace {

// What the peer's waits allow: far beyond what a step takes even on busy
// cores under the sanitizers; a passing test never waits that long.
constexpr auto kPeerWait = std::chrono::seconds(20);

}  // namespace

const TqdProtocolClass& ProtocolClassOf(PeerTransport transport) {
  switch (transport) {
    case PeerTransport::kTCP: return TCPIPProtocolClass();
    case PeerTransport::kIPXSPX: return IPXSPXProtocolClass();
    case PeerTransport::kNetBIOS: return NetBIOSProtocolClass();
    default: return SingleUserProtocolClass();
  }
}

const char* LoopbackAddress(PeerTransport transport) {
  switch (transport) {
    case PeerTransport::kTCP: return "127.0.0.1";
    case PeerTransport::kIPXSPX: return kIpxLoopback;
    case PeerTransport::kNetBIOS: return "QDTEST";
    default: return "";
  }
}

TestPeer::TestPeer(PeerTransport transport, PeerBehaviour behaviour) : behaviour_(std::move(behaviour)) {
  SetMultiThreaded();
  thread_ = std::thread([this, transport] { Main(transport); });
  std::string error;
  {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kPeerWait, [this] { return ready_; })) startError_ = "the peer did not start";
    error = startError_;
  }
  if (!error.empty()) {
    // The thread must be joined before the constructor gives up.
    stop_ = true;
    thread_.join();
    throw std::runtime_error(error);
  }
}

TestPeer::~TestPeer() {
  stop_ = true;
  thread_.join();
}

void TestPeer::Log(std::vector<uint32_t>* ids, uint32_t id, std::string line) {
  std::lock_guard guard(mutex_);
  if (ids != nullptr) ids->push_back(id);
  if (!line.empty()) partLog_.push_back(std::move(line));
  changed_.notify_all();
}

std::vector<uint32_t> TestPeer::Received() {
  std::lock_guard guard(mutex_);
  return received_;
}

std::vector<std::string> TestPeer::PartLog() {
  std::lock_guard guard(mutex_);
  return partLog_;
}

int TestPeer::ConnectionCount() {
  std::lock_guard guard(mutex_);
  return connections_;
}

void TestPeer::Run(std::function<void(TqdBaseCommsProtocol&, TqdServerEndpoint&)> task) {
  std::unique_lock lock(mutex_);
  uint64_t ticket = ++submitted_;
  tasks_.emplace_back(ticket, std::move(task));
  if (changed_.wait_for(lock, kPeerWait, [&] { return finished_ >= ticket; })) return;
  auto pending = std::find_if(tasks_.begin(), tasks_.end(), [&](const auto& t) { return t.first == ticket; });
  if (pending != tasks_.end()) {
    tasks_.erase(pending);
    ADD_FAILURE() << "the peer did not take a task in time";
    return;
  }
  // Taken and running: it uses the caller's references until it ends.
  changed_.wait(lock, [&] { return finished_ >= ticket; });
}

bool TestPeer::WaitUntil(const std::function<bool()>& predicate) {
  auto deadline = std::chrono::steady_clock::now() + kPeerWait;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(10));
  }
  return true;
}

void TestPeer::Handle(TqdServerEndpoint& e, const TqdIncomingRequest& r) {
  Log(&received_, r.MsgID);
  if (behaviour_.OnRequest && behaviour_.OnRequest(e, r)) return;
  switch (r.MsgID) {
    case msgAttach: {
      TqdAttachReply reply{behaviour_.ClientID,      behaviour_.ServerVersion,     behaviour_.ScramblingCode,
                           behaviour_.InactivityInterval, behaviour_.KeepAliveInterval, behaviour_.KeepAliveRetries,
                           behaviour_.Secure};
      uint8_t bytes[kAttachReplySize];
      EncodeAttachReply(reply, bytes);
      e.Reply(r.Connection, msgAttach, 0, kDataKindBlock, bytes, behaviour_.ClientID);
      e.Transport().SetConnectionScramblingSeed(
          r.Connection, ScramblingSeed(behaviour_.ScramblingCode, behaviour_.Secure, behaviour_.Password));
      return;
    }
    case msgConfirmLogin:
    case msgDetach:
      e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, {}, behaviour_.ClientID);
      return;
    default:
      e.Reply(r.Connection, r.MsgID, 0, r.IsStream ? kDataKindStream : kDataKindBlock, r.Data, behaviour_.ClientID);
  }
}

void TestPeer::Main(PeerTransport kind) {
  std::unique_ptr<TqdBaseCommsProtocol> transport;
  std::unique_ptr<TqdServerEndpoint> endpoint;
  std::vector<std::pair<TqdConnectionHandle, std::vector<uint8_t>>> held;
  std::unique_ptr<TqdNotifyWindow> ackTimer;
  std::function<bool(TqdBaseCommsProtocol&, TqdConnectionHandle, size_t, uint8_t*)> inner;
  try {
    if (kind == PeerTransport::kNetBIOS) {
      transport = std::make_unique<TqdNetBIOSProtocol>(behaviour_.ServerName, kListeningMode);
    } else if (kind != PeerTransport::kSingleUser) {
      std::unique_ptr<TqdWinsockProtocol> winsock;
      if (kind == PeerTransport::kTCP)
        winsock = std::make_unique<TqdTCPIPProtocol>(behaviour_.ServerName, kListeningMode);
      else
        winsock = std::make_unique<TqdIPXSPXProtocol>(behaviour_.ServerName, kListeningMode);
      winsock->Endpoints.StreamPort = 0;
      if (behaviour_.ClientDiscoveryPort != 0) winsock->Endpoints.ClientDiscoveryPort = behaviour_.ClientDiscoveryPort;
      transport = std::move(winsock);
    } else {
      transport = std::make_unique<TqdSingleUserProtocol>(behaviour_.ServerName, kListeningMode);
    }
    endpoint = std::make_unique<TqdServerEndpoint>(*transport);
    endpoint->MaxRequestSize = behaviour_.MaxRequestSize;
    endpoint->OnRequest = [this](TqdServerEndpoint& e, const TqdIncomingRequest& r) { Handle(e, r); };
    endpoint->OnUnsound = [this](TqdServerEndpoint& e, TqdConnectionHandle c, const uint8_t* part, size_t size) {
      uint32_t id = size >= 4 ? PeekMsgID(part) : 0;
      Log(&received_, id);
      if (id == msgConfirmLogin && behaviour_.AnswerBadLoginReadably)
        e.ReplyToUnreadableLogin(c, {part, size}, behaviour_.ClientID, qdErrInvalidPassword);
      else
        e.Reply(c, id, qdErrInvalidPassword, kDataKindBlock, {}, behaviour_.ClientID);
      if (id == msgConfirmLogin && behaviour_.HangUpAfterFailedLogin) e.Transport().HangUp(c);
    };
    transport->Events.OnConnectionAdded = [this](TqdBaseCommsProtocol&, TqdConnectionHandle) {
      std::lock_guard guard(mutex_);
      ++connections_;
      changed_.notify_all();
    };
    endpoint->OnConnectionLost = [this](TqdServerEndpoint&, TqdConnectionHandle) {
      std::lock_guard guard(mutex_);
      --connections_;
      changed_.notify_all();
    };
    inner = transport->Events.OnMessage;
    ackTimer = std::make_unique<TqdNotifyWindow>([&](uint32_t msg, uintptr_t, intptr_t) -> intptr_t {
      if (msg != WM_TIMER) return 0;
      ackTimer->KillTimer(1);
      Log(nullptr, 0, "ack");
      auto parts = std::move(held);
      held.clear();
      for (auto& [c, bytes] : parts) inner(*transport, c, bytes.size(), bytes.data());
      return 0;
    });
    transport->Events.OnMessage = [&](TqdBaseCommsProtocol& t, TqdConnectionHandle c, size_t size, uint8_t* part) {
      if (size >= kMsgHeaderSize) {
        TqdMsgHeader h = DecodeMsgHeader(part);
        Log(nullptr, 0,
            "part " + std::to_string(h.MsgID) + " " + std::to_string(h.FirstPart) + std::to_string(h.LastPart) +
                " " + std::to_string(h.MsgLen));
        if (h.LastPart == 0 && behaviour_.AckDelayMs > 0 && IsSoundHeader(h, size, t.MaxMsgSize())) {
          held.emplace_back(c, std::vector<uint8_t>(part, part + size));
          ackTimer->SetTimer(1, behaviour_.AckDelayMs);
          return true;
        }
      }
      return inner(t, c, size, part);
    };
    transport->Start();
    if (kind == PeerTransport::kNetBIOS) transport->StartDatagramListen();
    if (kind == PeerTransport::kTCP || kind == PeerTransport::kIPXSPX) {
      auto& winsock = static_cast<TqdWinsockProtocol&>(*transport);
      uint16_t discovery = behaviour_.ServerDiscoveryPort;
      winsock.Endpoints.ServerDiscoveryPort = discovery != 0 ? discovery : winsock.BoundStreamPort();
      winsock.StartDatagramListen();
      port_ = winsock.BoundStreamPort();
    }
  } catch (const std::exception& e) {
    std::lock_guard guard(mutex_);
    startError_ = e.what();
    ready_ = true;
    changed_.notify_all();
    return;
  }
  {
    std::lock_guard guard(mutex_);
    ready_ = true;
    changed_.notify_all();
  }
  TqdMessageQueue& queue = TqdMessageQueue::ForThisThread();
  while (!stop_) {
    queue.WaitFor(nullptr, 10);
    queue.DispatchPending();
    std::vector<std::pair<uint64_t, Task>> tasks;
    {
      std::lock_guard guard(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task.second(*transport, *endpoint);
    if (!tasks.empty()) {
      std::lock_guard guard(mutex_);
      finished_ = tasks.back().first;
      changed_.notify_all();
    }
  }
  ackTimer.reset();
  endpoint.reset();
  transport.reset();
}

}  // namespace qd::test
