// The transport framework: TqdConnection and the abstract transport
// TqdBaseCommsProtocol with its connection list, keep-alive checks,
// scrambling, hidden notify window and five owner events.
//
// The same classes serve both sides. Calling mode (0) is the client: Call
// connects to a server. Listening mode (1) is a server: after Startup the
// transport accepts connections by itself and reports each through
// OnConnectionAdded; received parts arrive through OnMessage (already
// unscrambled), keep-alives are answered by the transport, and the server
// answers with SendMsg on the connection handle it was given. A server sets
// each client's key with SetConnectionScramblingSeed after its attach reply.
//
// Thread rules: a transport is used on the thread that created it; all its
// network events, timer ticks and received parts are handled in its notify
// window's procedure on that thread (its own loop, or Breathe). The lock
// only guards the connection list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/lists.h"
#include "base/padlock.h"
#include "base/shortstr.h"
#include "base/timer.h"
#include "comms/scramble.h"
#include "platform/notify_window.h"

namespace qd {

using TqdConnectionHandle = uint32_t;  // 0: none

inline constexpr uint8_t kCallingMode = 0;
inline constexpr uint8_t kListeningMode = 1;
// The window timer that drives the keep-alive checks.
inline constexpr uint32_t kKeepAliveTimerId = 1;
// The window timer that ends a pause in accepting connections.
inline constexpr uint32_t kAcceptBackOffTimerId = 2;
// How long a listening transport that ran out of descriptors leaves its
// listening socket alone before it tries to accept again.
inline constexpr uint32_t kAcceptBackOffMs = 100;
// Posted to a transport's window to deliver what a connection had received
// before its receiving was paused (first parameter: the handle).
inline constexpr uint32_t kResumeReceiveMessage = 0x8000 + 0x51;

class TqdBaseCommsProtocol;

class TqdConnection : public TqdSelfListItem {
 public:
  TqdConnection(TqdBaseCommsProtocol& owner, std::string_view remoteName);
  ~TqdConnection() override = default;

  TqdConnectionHandle Handle() const { return static_cast<uint32_t>(KeyValue()); }
  // Releases the network resources at once; the object may live on while a
  // transport routine still works on it. Must be idempotent.
  virtual void Close() {}

  TqdBaseCommsProtocol& Owner;
  TqdNetAddress RemoteName;
  int32_t Retries = 0;          // keep-alives sent without an answer
  TqdTimer InactivityDeadline;  // a new connection's deadline counts as expired
  bool KeepAliveRequested = false;
  uint32_t KeepAlivesReceived = 0;  // for diagnostics
  // While set nothing more is read from the peer (see SetReceivePaused).
  bool ReceivePaused = false;
  // The connection's own key (a server's clients each have one); without it
  // the transport's key is used.
  std::unique_ptr<TqdScrambleKey> OwnKey;

 private:
  friend class TqdConnectionUse;
  int useCount_ = 0;
};

// The five event slots; each is optional.
struct TqdProtocolEvents {
  std::function<void(TqdBaseCommsProtocol&, TqdConnectionHandle)> OnConnectionLost;
  std::function<void(TqdBaseCommsProtocol&, TqdConnectionHandle)> OnConnectionAdded;
  std::function<void(TqdBaseCommsProtocol&)> OnIdle;
  std::function<void(TqdBaseCommsProtocol&, std::string_view address, const uint8_t* data, size_t size)>
      OnDatagram;
  // The part (header included) is unscrambled; the answer says whether it
  // was consumed.
  std::function<bool(TqdBaseCommsProtocol&, TqdConnectionHandle, size_t size, uint8_t* part)> OnMessage;
};

class TqdBaseCommsProtocol {
 public:
  virtual ~TqdBaseCommsProtocol();
  TqdBaseCommsProtocol(const TqdBaseCommsProtocol&) = delete;
  TqdBaseCommsProtocol& operator=(const TqdBaseCommsProtocol&) = delete;

  // Starts the network use (a listening transport opens its endpoint).
  virtual void Startup() = 0;
  // Connects to a server; 0 when no connection was made. Raises
  // EqdCommsException (string 129) in listening mode.
  virtual TqdConnectionHandle Call(std::string_view address) = 0;
  // Fires connection lost, then removes and frees the connection.
  virtual void HangUp(TqdConnectionHandle handle);
  virtual void Listen() = 0;
  virtual void ConnectionInUse(TqdConnectionHandle) {}
  // Sends one part or keep-alive; scrambles a copy, never `data` itself.
  // An unknown handle sends nothing. REQUIRES: size <= MaxMsgSize().
  virtual void SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) = 0;
  virtual void StartDatagramListen() = 0;
  // An empty address is the broadcast address.
  virtual void SendDatagram(std::string_view address, const uint8_t* data, size_t size) = 0;
  virtual void StopDatagramListen() = 0;
  // Waits up to `waitMs` for a message of the notify window, processes at
  // most one, then fires the idle event.
  virtual void Breathe(int32_t waitMs = 0);
  virtual bool IsSingleUser() const { return false; }

  TqdProtocolEvents Events;

  // The owner's start: Startup once; a Startup that raised is tried again.
  void Start();
  bool Started() const { return started_; }

  uint8_t Mode() const { return mode_; }
  uint32_t MaxMsgSize() const { return maxMsgSize_; }
  bool NeedsPartAck() const { return needsPartAck_; }
  uint32_t DiscoveryWait() const { return discoveryWait_; }
  const std::string& LocalName() const { return localName_; }
  const std::string& LocalAddress() const { return localAddress_; }
  TqdNotifyWindow& Window() { return *window_; }

  // nullptr when the handle names no listed connection.
  TqdConnection* FindConnection(TqdConnectionHandle handle);
  int ConnectionCount();
  // The connection at `index` of the list, or nullptr.
  TqdConnection* ConnectionAt(int index);
  // The first connection for which `match` holds, or nullptr.
  TqdConnection* FindConnectionIf(const std::function<bool(const TqdConnection&)>& match);

  void SetScramblingSeed(int32_t seed) { key_.SetSeed(seed); }
  const TqdScrambleKey& ScrambleKey() const { return key_; }
  // Listening mode: the key of one client.
  void SetConnectionScramblingSeed(TqdConnectionHandle handle, int32_t seed);

  // Listening mode: stops reading a connection, so that a client that
  // sends faster than it is served waits in its own socket (its sends block)
  // instead of in the server's memory; parts already received but not yet
  // handed on stay where they are until receiving resumes.
  void SetReceivePaused(TqdConnectionHandle handle, bool paused);
  // Bytes of parts a connection's socket has not taken yet, and of all.
  virtual size_t UnsentBytes(TqdConnectionHandle) { return 0; }
  size_t UnsentBytesTotal() const { return unsentTotal_; }

  void RestartKeepAliveTimer();
  // One keep-alive check over every connection (the WM_TIMER work).
  void KeepAliveCheck();

 protected:
  TqdBaseCommsProtocol(std::string_view name, uint8_t mode);

  // Creates the notify window with the keep-alive timer; raises
  // EqdCommsException (string 128) when it cannot be made.
  void CreateNotifyWindow();
  virtual intptr_t WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam);

  // The listed connection whose socket (member Fd of TConnection) is `fd`,
  // or nullptr.
  template <class TConnection>
  TConnection* ConnectionOfFd(int fd) {
    return static_cast<TConnection*>(
        FindConnectionIf([fd](const TqdConnection& c) { return static_cast<const TConnection&>(c).Fd == fd; }));
  }

  // Takes ownership of `connection`.
  void AddConnection(TqdConnection* connection);
  // Closes and frees the connection (later, if a routine still uses it).
  void RemoveConnection(TqdConnectionHandle handle);

  void FireConnectionLost(TqdConnectionHandle handle);
  void FireConnectionAdded(TqdConnectionHandle handle);
  void FireIdle();
  void FireDatagram(std::string_view address, const uint8_t* data, size_t size);
  // Keep-alives are noted for the next check and consumed; any other part
  // resets the connection's keep-alive state, is unscrambled in place and
  // goes to the owner.
  bool HandleReceivedMessage(TqdConnectionHandle handle, uint8_t* part, size_t size);
  // The key for a connection (nullptr: the transport's key).
  const TqdScrambleKey& KeyFor(const TqdConnection* connection) const;
  // Applies a change of `connection.ReceivePaused` to its socket.
  virtual void ReceivePausedChanged(TqdConnection&) {}
  // Called after an accept failed with `err`: when the process is out of
  // descriptors (or memory) the listening socket stays readable, and
  // watching it would spin; it is left alone for kAcceptBackOffMs (or until
  // the next keep-alive tick, when not even a timer can be made).
  void BackOffAccepting(int listenFd, int err);

  void SetLocalAddress(std::string address) { localAddress_ = std::move(address); }

  uint8_t mode_;
  uint32_t maxMsgSize_ = 4096;
  bool needsPartAck_ = true;
  uint32_t discoveryWait_ = 250;
  size_t unsentTotal_ = 0;  // kept by the connections' unsent queues

 private:
  friend class TqdConnectionUse;

  TqdScrambleKey key_;
  std::string localName_;
  std::string localAddress_;
  std::unique_ptr<TqdNotifyWindow> window_;
  TqdPadLock lock_;
  TqdList connections_;  // owns the connections
  TqdList inUse_;        // keeps a hung-up connection alive while a routine uses it
  bool started_ = false;
  int backedOffListenFd_ = -1;
};

// Keeps a connection object alive while a transport routine works on it,
// even if a handler it calls hangs the connection up.
class TqdConnectionUse {
 public:
  TqdConnectionUse(TqdBaseCommsProtocol& transport, TqdConnection* connection);
  ~TqdConnectionUse();
  TqdConnectionUse(const TqdConnectionUse&) = delete;
  TqdConnectionUse& operator=(const TqdConnectionUse&) = delete;

 private:
  TqdBaseCommsProtocol& transport_;
  TqdConnection* connection_;
};

// The part of a name before its first "@" (the whole name without one).
std::string_view NamePartOf(std::string_view address);
// The part after the first "@" (the whole name without one).
std::string_view AddressPartOf(std::string_view address);

}  // namespace qd
