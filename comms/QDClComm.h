// TqdClientCommsEngine: the client's single path to a server. It owns one
// transport and at most one connection through it, attaches with a user
// name and password, sends each request as one message (in parts where
// needed) and blocks the caller until the reply with the same message
// number is complete, returning the reply's result code. It also finds the
// servers that answer a broadcast.
//
// Result codes of its own: 11278 not connected / cannot connect, 8455
// re-entered, 11276 no reply in time or connection lost (also when the
// server's bytes stop making sense, or the transport fails while sending or
// waiting: the connection is dropped at once), 12039 server too old, 10036
// login refused, 11271 a reply whose data kind is not what the caller asked
// for. Any other code is the server's. A transport that raises during an
// exchange (Request, and Attach's requests) is answered with 11276, never
// passed on; only making a connection may still raise (no socket to be had).
//
// A reply that was complete before its connection was lost still answers
// the request waiting for it (a server may answer, then hang up at once);
// nothing received on a lost connection answers a request made on a later
// one.
//
// Thread rules: the engine belongs to the thread that created it (the owner
// of its transport's notify window, whose messages a waiting request pumps).
// Attach, Detach, Request and GetServerNames must be called on that thread;
// a call from any other thread aborts the program, in every build. A request
// started while one is running (from the idle event) answers 8455.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/padlock.h"
#include "base/result_codes.h"
#include "base/shortstr.h"
#include "base/stream.h"
#include "base/timer.h"
#include "comms/QDDtMsgQ.h"
#include "comms/QDLLProt.h"
#include "comms/protocol_class.h"

namespace qd {

using TqdName = TqdShortString<31>;

// What a session may ask of its user (raised by sessions, never by the engine).
using TqdLoginEvent = std::function<void(void* source, TqdName& userName, TqdName& password, bool& result)>;
using TqdChooseServerEvent = std::function<void(void* source, const std::vector<std::string>& serverNames,
                                                TqdNetAddress& serverName, bool& result)>;
using TqdFindServersEvent = std::function<void(void* source, bool starting)>;

// The request data: a block, or a stream whose whole content is sent.
struct TqdRequestData {
  const void* Block = nullptr;
  uint32_t Length = 0;
  const TqdMemoryStream* Stream = nullptr;
};
// Where the reply goes: a buffer of Length bytes, or a stream.
struct TqdReplyTarget {
  void* Buffer = nullptr;
  uint32_t Length = 0;
  TqdMemoryStream* Stream = nullptr;
  // A buffer that holds a record of fixed layout: a successful reply with
  // fewer than Length bytes of data means the server's bytes no longer make
  // sense, and is answered with 11276 after dropping the connection. (A
  // longer one fills the buffer, as any reply.)
  bool FixedSize = false;
  // When set, receives the number of data bytes of a successful reply, as
  // the server sent them (a buffer keeps at most Length of them); 0 for any
  // other result.
  uint32_t* Received = nullptr;
};

inline constexpr uint32_t kDefaultReplyTimeoutMs = 3600000;
inline constexpr const char* kLocalServerName = "local server";

class TqdClientCommsEngine {
 public:
  // Creates the transport (calling mode) from `protocolClass`; the client
  // name is cut to 31 characters.
  TqdClientCommsEngine(std::string_view clientName, const TqdProtocolClass& protocolClass);
  ~TqdClientCommsEngine();
  TqdClientCommsEngine(const TqdClientCommsEngine&) = delete;
  TqdClientCommsEngine& operator=(const TqdClientCommsEngine&) = delete;

  // Starts the transport once; transport errors reach the caller.
  void Startup();

  // `serverAddress` is "name@address" or a bare name. Detaches first. The
  // 25-byte attach reply is a fixed-size record. Any failure of the login
  // confirmation answers 10036, so that the caller asks the user again; the
  // server may have hung up meanwhile, and the next Attach connects anew.
  TqdResult Attach(std::string_view serverAddress, std::string_view userName, std::string_view password);
  void Detach();
  bool IsConnected() const { return connection_ != 0; }
  // Attached and the login confirmed, on a connection that still stands.
  bool IsLoggedIn() const { return connection_ != 0 && loggedIn_; }
  // Takes in what the transport holds already, without waiting (a hang-up
  // that the window's loop has not handled yet among it), then answers
  // IsLoggedIn. Inside a request it only answers.
  bool CheckConnection();
  uint32_t ClientID() const { return clientId_; }
  std::string ServerName() const { return serverName_.Str(); }

  // The servers that answer a broadcast, one entry per answer
  // ("name@address" or "name"); "local server" on the single-user transport.
  void GetServerNames(std::vector<std::string>& list);

  // Sends one request and waits for its reply (see the header comment).
  TqdResult Request(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply);
  // A block request with a reply buffer that takes at most its length.
  TqdResult Request(TqdMsgID msgId, const void* request, uint32_t requestLength, void* reply,
                    uint32_t replyLength) {
    return Request(msgId, TqdRequestData{request, requestLength, nullptr}, TqdReplyTarget{reply, replyLength, nullptr});
  }

  uint32_t ReplyTimeout() const { return replyTimeout_; }
  void SetReplyTimeout(uint32_t ms) { replyTimeout_ = ms; }

  TqdBaseCommsProtocol& Transport() { return *transport_; }
  TqdDataMessageQueue& Queue() { return queue_; }

 private:
  TqdResult RequestLocked(TqdMsgID msgId, const TqdRequestData& request, const TqdReplyTarget& reply);
  // The first queued message with the number (earlier ones are dropped),
  // or nullptr; `malformed` when a bundle on the way was malformed.
  TqdReceivedMessage* TakeQueuedReply(TqdMsgID msgId, bool& malformed);
  TqdResult SendParts(TqdMsgID msgId, const TqdRequestData& request);
  // Waits for a complete message; 0, or 11276 with the busy state ended.
  TqdResult WaitForMessage();
  TqdResult CopyReply(TqdReceivedMessage* message, const TqdReplyTarget& reply);
  // The server's bytes no longer make sense: drop the connection at once.
  void LoseSync();
  // Aborts the program when called off the owner thread.
  void RequireOwnerThread(const char* operation) const;

  bool OnMessage(TqdConnectionHandle handle, size_t size, uint8_t* part);
  void OnConnectionLost(TqdConnectionHandle handle);
  void OnDatagram(const uint8_t* data, size_t size);

  uint32_t clientId_ = 0;
  TqdName serverName_;
  uint32_t replyTimeout_ = kDefaultReplyTimeoutMs;
  uint8_t partAck_[24] = {};
  bool busy_ = false;
  bool loggedIn_ = false;
  TqdConnectionHandle connection_ = 0;
  TqdDataMessageQueue queue_;
  TqdPadLock lock_;
  std::unique_ptr<TqdBaseCommsProtocol> transport_;
  std::vector<std::string> serverNames_;
  std::vector<uint8_t> sendBuffer_;
  TqdName clientName_;
  TqdTimer replyTimer_;
  std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace qd
