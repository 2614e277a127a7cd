// TqdServerEndpoint: the message layer of a server on a listening
// transport. It puts the parts of each client's requests together,
// acknowledges parts where the transport needs it, hands each complete
// request to OnRequest, and sends replies in parts, where needed waiting for
// the client's acknowledgement of each part without ever blocking.
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
// Thread rules: used on the transport's thread only.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <span>
#include <vector>

#include "comms/QDDtMsgQ.h"
#include "comms/QDLLProt.h"
#include "comms/QDNetMsg.h"

namespace qd {

struct TqdIncomingRequest {
  TqdConnectionHandle Connection = 0;
  TqdMsgID MsgID = 0;
  uint32_t ClientID = 0;  // from the request's last part
  bool IsStream = false;
  std::vector<uint8_t> Data;
};

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
  // one is hung up before anything is kept. Each connection has at most one
  // request being put together, so one client holds at most this much.
  size_t MaxRequestSize = kMaxMessageDataSize;

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

  TqdBaseCommsProtocol& Transport() { return transport_; }

 private:
  struct Outgoing {
    TqdMsgHeader Header;
    std::vector<uint8_t> Data;
    uint32_t Offset = 0;
  };
  bool OnMessage(TqdConnectionHandle connection, size_t size, uint8_t* part);
  // Sends the next part of the connection's first waiting reply; true when
  // that reply is finished.
  bool SendNextPart(TqdConnectionHandle connection);
  void Pump(TqdConnectionHandle connection);

  TqdBaseCommsProtocol& transport_;
  TqdDataMessageQueue queue_;
  std::map<TqdConnectionHandle, std::deque<Outgoing>> outgoing_;
  std::vector<uint8_t> partBuffer_;
};

}  // namespace qd
