// TqdServerEndpoint: the message layer of a server on a listening
// transport. It puts the parts of each client's requests together,
// acknowledges parts where the transport needs it, hands each complete
// request to OnRequest, and sends replies in parts, where needed waiting for
// the client's acknowledgement of each part without ever blocking.
//
// Every client is a stranger, so what one connection can make the endpoint
// hold is bounded: one request being put together per connection, no
// larger than MaxRequestSize and finished within AssemblyDeadlineMs; all
// such requests together announce at most MaxAssemblingBytes; with
// PartsNeedPermission a connection may send requests in parts only once the
// server allows it (after its login); and a TqdReplyMemoryCap may bound the
// reply bytes held for all clients.
//
// Typical server:
//   TqdTCPIPProtocol transport("QDSERVER", kListeningMode);
//   transport.Endpoints.StreamPort = port;
//   TqdServerEndpoint endpoint(transport);
//   endpoint.OnRequest = [&](TqdServerEndpoint& e, const TqdIncomingRequest& r) {
//     ... e.Reply(r.Connection, r.MsgID, 0, kDataKindBlock, replyBytes);
//   };
//   transport.Start();                 // listen
//   transport.StartDatagramListen();   // answer discovery
//   loop: TqdMessageQueue::ForThisThread().WaitFor(nullptr, ms); ...DispatchPending();
// After answering an attach (message 11, never scrambled) the server sets
// the client's key with transport.SetConnectionScramblingSeed.
//
// Thread rules: used on the transport's thread only. The handlers may call
// back into the endpoint (a reply from OnRequest, a hang-up anywhere).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "base/timer.h"
#include "comms/QDLLProt.h"
#include "comms/QDNetMsg.h"
#include "platform/notify_window.h"

namespace qd {

class TqdReplyMemoryCap;

struct TqdIncomingRequest {
  TqdConnectionHandle Connection = 0;
  TqdMsgID MsgID = 0;
  uint32_t ClientID = 0;  // from the request's last part
  bool IsStream = false;
  std::vector<uint8_t> Data;
};

// A request in parts must be complete this long after its first part.
inline constexpr uint32_t kDefaultAssemblyDeadlineMs = 60000;
// All requests being put together announce at most this many bytes.
inline constexpr size_t kDefaultMaxAssemblingBytes = 64u << 20;

class TqdServerEndpoint {
 public:
  // Installs itself in the transport's message-received and connection-lost
  // events; the endpoint must outlive its use of the transport.
  explicit TqdServerEndpoint(TqdBaseCommsProtocol& transport);
  ~TqdServerEndpoint();
  TqdServerEndpoint(const TqdServerEndpoint&) = delete;
  TqdServerEndpoint& operator=(const TqdServerEndpoint&) = delete;

  std::function<void(TqdServerEndpoint&, const TqdIncomingRequest&)> OnRequest;
  // A part whose header cannot be right after unscrambling (most often a
  // client whose key differs: a wrong password). Without a handler the
  // connection is hung up.
  std::function<void(TqdServerEndpoint&, TqdConnectionHandle, const uint8_t* part, size_t size)> OnUnsound;
  std::function<void(TqdServerEndpoint&, TqdConnectionHandle)> OnConnectionLost;

  // The largest request a client may send; a client that announces a larger
  // one is hung up before anything is kept.
  size_t MaxRequestSize = kMaxMessageDataSize;
  uint32_t AssemblyDeadlineMs = kDefaultAssemblyDeadlineMs;
  size_t MaxAssemblingBytes = kDefaultMaxAssemblingBytes;
  // When set, a new connection may send only requests of one part until
  // AllowRequestsInParts; the first part of a longer one hangs it up.
  bool PartsNeedPermission = false;
  // Told after each reply, so that it can bound what all clients hold.
  TqdReplyMemoryCap* MemoryCap = nullptr;

  void AllowRequestsInParts(TqdConnectionHandle connection, bool allowed);
  // Stops taking requests from a connection (its socket is not read, so the
  // client waits in its own sends), or takes them again.
  void PauseRequests(TqdConnectionHandle connection, bool paused) {
    transport_.SetReceivePaused(connection, paused);
  }

  // Sends a reply, in parts when it does not fit one.
  void Reply(TqdConnectionHandle connection, TqdMsgID msgId, uint16_t resultCode, uint8_t dataKind,
             std::span<const uint8_t> data, uint32_t clientId = 0);
  // Answers a login confirmation (message 9) that arrived scrambled with a
  // key the server does not know, so that the client can still read the
  // result: the key bytes of the header are recovered from the known form
  // of the request. `part` is the request as received (unscrambled with the
  // server's key for that client); a part shorter than a header cannot be
  // answered so, and its connection is hung up.
  void ReplyToUnreadableLogin(TqdConnectionHandle connection, std::span<const uint8_t> part,
                              uint32_t clientId, uint16_t resultCode);
  // Sends bytes as they are, as one part (tests of a client's defences).
  void SendRaw(TqdConnectionHandle connection, std::span<const uint8_t> part);

  // Reply bytes a connection has not taken yet, here and in the transport.
  size_t HeldBytes(TqdConnectionHandle connection);
  size_t HeldBytesTotal() const { return outgoingTotal_ + transport_.UnsentBytesTotal(); }
  // The connection that holds the most reply bytes (0 when none holds any).
  TqdConnectionHandle LargestHolder(size_t& bytes);
  // Bytes announced by the requests being put together.
  size_t AssemblingBytes() const { return assemblingTotal_; }
  // Hangs up connections whose request in parts is overdue (a timer of the
  // endpoint calls it every second).
  void CheckAssemblyDeadlines();

  TqdBaseCommsProtocol& Transport() { return transport_; }

 private:
  struct Outgoing {
    TqdMsgHeader Header;
    std::vector<uint8_t> Data;
    uint32_t Offset = 0;
  };
  struct Assembly {
    TqdMsgID MsgID = 0;
    bool IsStream = false;
    uint32_t TotalSize = 0;
    std::vector<uint8_t> Data;
    TqdTimer Deadline;
  };
  // What the endpoint keeps of one connection.
  struct Link {
    std::deque<Outgoing> Replies;
    size_t OutgoingBytes = 0;  // of Replies, not yet handed to the transport
    std::optional<Assembly> Partial;
    bool PartsAllowed = true;
  };

  bool OnMessage(TqdConnectionHandle connection, size_t size, uint8_t* part);
  void OnTransportLost(TqdConnectionHandle connection);
  // The connection's link, made on first use; nullptr for a connection the
  // transport does not know (any more).
  Link* LinkOf(TqdConnectionHandle connection);
  // Puts a part of a request in parts where it belongs; the request once it
  // is complete, else nullopt (the connection may have been hung up).
  std::optional<TqdIncomingRequest> Assemble(TqdConnectionHandle connection, Link& link,
                                             const TqdMsgHeader& header, const uint8_t* data, uint32_t size);
  void DropPartial(Link& link);
  void Deliver(const TqdIncomingRequest& request);
  // Sends the next part of the connection's first waiting reply; true when
  // that reply is finished.
  bool SendNextPart(TqdConnectionHandle connection, Link& link);
  void Pump(TqdConnectionHandle connection);

  TqdBaseCommsProtocol& transport_;
  std::map<TqdConnectionHandle, Link> links_;
  size_t outgoingTotal_ = 0;
  size_t assemblingTotal_ = 0;
  std::vector<uint8_t> partBuffer_;
  std::unique_ptr<TqdNotifyWindow> timerWindow_;
};

}  // namespace qd
