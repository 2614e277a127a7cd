// An in-test server on its own thread, built from the listening transports
// (TCP/IP, IPX/SPX or single user)
// and TqdServerEndpoint: attaches clients, confirms logins, answers detach,
// echoes other requests unless the test supplies its own handler, and logs
// what it sees.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comms/QDLLWsck.h"
#include "comms/protocol_class.h"
#include "comms/server_endpoint.h"
#include "comms/single_user.h"

namespace qd::test {

enum class PeerTransport { kTCP, kIPXSPX, kSingleUser, kNetBIOS };

// The client's transport class for a peer's transport.
const TqdProtocolClass& ProtocolClassOf(PeerTransport transport);
// The loopback host in the transport's address form ("" for single user,
// the peer's name for NetBIOS).
const char* LoopbackAddress(PeerTransport transport);
// The IPX node of 127.0.0.1.
inline constexpr const char* kIpxLoopback = "00000000:00-00-7F-00-00-01";

struct PeerBehaviour {
  int32_t ServerVersion = 15200;
  int32_t ScramblingCode = 0x1234567;
  bool Secure = false;
  std::string Password = "secret";
  uint32_t ClientID = 77;
  int32_t InactivityInterval = 5000;
  int32_t KeepAliveInterval = 2500;
  int32_t KeepAliveRetries = 5;
  // A login scrambled with another key is answered so that the client can
  // read it (else it is answered with the peer's key: noise to the client).
  bool AnswerBadLoginReadably = true;
  // A refused login is answered, then the connection is hung up at once.
  bool HangUpAfterFailedLogin = false;
  // Non-final parts are handed on (and acknowledged) only after this delay.
  uint32_t AckDelayMs = 0;
  std::string ServerName = "QDTEST";
  uint16_t ClientDiscoveryPort = 0;  // 0: the fixed port
  uint16_t ServerDiscoveryPort = 0;  // 0: the stream port
  size_t MaxRequestSize = kMaxMessageDataSize;
  // Handles a request itself when it answers true (runs on the peer thread).
  std::function<bool(TqdServerEndpoint&, const TqdIncomingRequest&)> OnRequest;
};

class TestPeer {
 public:
  TestPeer(PeerTransport transport, PeerBehaviour behaviour);
  ~TestPeer();

  uint16_t Port() const { return port_; }
  // Every message number received (sound or not), in order.
  std::vector<uint32_t> Received();
  // The log of parts ("part <id> <first><last> <len>") and acknowledgements ("ack").
  std::vector<std::string> PartLog();
  int ConnectionCount();
  // Runs `task` on the peer thread and waits for it. A task the peer has
  // not begun within the peer's deadline is withdrawn (a test failure), so
  // that it never runs after the caller's references are gone.
  void Run(std::function<void(TqdBaseCommsProtocol&, TqdServerEndpoint&)> task);
  // Waits for `predicate` (checked on the caller's thread) until the peer's
  // deadline; false when it never held.
  bool WaitUntil(const std::function<bool()>& predicate);

 private:
  void Main(PeerTransport transport);
  void Handle(TqdServerEndpoint& endpoint, const TqdIncomingRequest& request);
  void Log(std::vector<uint32_t>* ids, uint32_t id, std::string line = {});

  PeerBehaviour behaviour_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<uint16_t> port_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  std::string startError_;
  std::vector<uint32_t> received_;
  std::vector<std::string> partLog_;
  using Task = std::function<void(TqdBaseCommsProtocol&, TqdServerEndpoint&)>;
  std::vector<std::pair<uint64_t, Task>> tasks_;  // by ticket, in order
  int connections_ = 0;
  uint64_t submitted_ = 0;
  uint64_t finished_ = 0;  // the ticket of the last task run
};

}  // namespace qd::test
