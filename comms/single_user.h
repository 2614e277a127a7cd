// TqdSingleUserProtocol: client and server processes of one machine joined
// by a Unix-domain SOCK_SEQPACKET socket. The listening server binds
// $XDG_RUNTIME_DIR/quilldrive/single-user (fallback
// /tmp/quilldrive-<uid>/single-user, directory mode 0700; the environment
// variable QUILLDRIVE_SINGLE_USER_SOCKET overrides). Without the override
// both sides refuse a directory that is not the user's own or that others
// may write to. A client's Call
// connects there; the server accepts by sending the packet 20804. Every
// other packet starts with a 32-bit identifier: 20805 a message part or
// keep-alive (the bytes follow), 20806 a hang-up. Parts are at most 4096
// bytes and acknowledged (NeedsPartAck). A listening transport never waits
// for a client: packets its socket does not take are queued and sent as it
// drains (a client's send waits up to kSingleUserSendWaitMs).
// Server side: construct with kListeningMode, set Events, call Start(); each
// accepted client fires OnConnectionAdded.
// Thread rules: as every transport (QDLLProt.h).
#pragma once

#include <string>
#include <vector>

#include "comms/QDLLProt.h"
#include "comms/unsent_queue.h"

namespace qd {

inline constexpr uint32_t kSingleUserAccepted = 20804;  // 0x5144
inline constexpr uint32_t kSingleUserData = 20805;      // 0x5145
inline constexpr uint32_t kSingleUserHangUp = 20806;    // 0x5146
inline constexpr uint32_t kSingleUserMaxMsgSize = 4096;
// A packet: the identifier and at most one part.
inline constexpr uint32_t kSingleUserPacketSize = 4 + kSingleUserMaxMsgSize;
// How long Call waits for the server's acceptance.
inline constexpr int kSingleUserAcceptWaitMs = 5000;
// How long a client's send waits for a server that does not read.
inline constexpr int kSingleUserSendWaitMs = 2000;
// A listening transport drops a client that lets this much go unread.
inline constexpr size_t kSingleUserMaxUnsentBytes = 16u << 20;

// The socket path; empty when no usable path can be formed.
std::string SingleUserSocketPath();

class TqdSingleUserConnection : public TqdConnection {
 public:
  TqdSingleUserConnection(TqdBaseCommsProtocol& owner, int fd, size_t* unsentTotal);
  ~TqdSingleUserConnection() override;
  void Close() override;  // sends the hang-up unless the peer closed first

  int Fd = -1;
  bool PeerClosed = false;
  std::vector<uint8_t> SendBuffer;
  std::vector<uint8_t> ReceiveBuffer;
  TqdUnsentQueue Unsent;  // whole packets the socket has not taken yet
};

class TqdSingleUserProtocol : public TqdBaseCommsProtocol {
 public:
  TqdSingleUserProtocol(std::string_view name, uint8_t mode);
  ~TqdSingleUserProtocol() override;

  void Startup() override;  // listening mode: binds and listens
  TqdConnectionHandle Call(std::string_view address) override;  // the address is not used
  void Listen() override {}
  void SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) override;
  void StartDatagramListen() override { listeningForDatagrams_ = true; }
  void SendDatagram(std::string_view, const uint8_t*, size_t) override {}
  void StopDatagramListen() override { listeningForDatagrams_ = false; }
  bool IsSingleUser() const override { return true; }
  size_t UnsentBytes(TqdConnectionHandle handle) override;

  const std::string& SocketPath() const { return path_; }

 protected:
  intptr_t WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void ReceivePausedChanged(TqdConnection& connection) override;

 private:
  void Accept();
  void Read(TqdSingleUserConnection* connection);
  // Client: sends one packet, waiting up to kSingleUserSendWaitMs for room;
  // false when the peer is gone or stopped reading.
  bool SendPacket(TqdSingleUserConnection* connection, const uint8_t* data, size_t size);
  // Server: sends one packet or queues it behind those still waiting;
  // false when the connection is to be hung up.
  bool QueuePacket(TqdSingleUserConnection* connection, const uint8_t* data, size_t size);
  // Sends what is queued as far as the socket takes it; false after an error.
  bool Flush(TqdSingleUserConnection* connection);
  // The socket events a connection is watched for.
  uint16_t SelectedEvents(const TqdSingleUserConnection& connection) const;

  int listenFd_ = -1;
  std::string path_;
  bool listeningForDatagrams_ = false;
};

}  // namespace qd
