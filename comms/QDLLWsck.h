// TqdWinsockProtocol and TqdTCPIPProtocol: message parts framed on TCP
// streams, discovery over UDP datagrams, every socket event delivered to the
// notify window as message 5105 so that all socket work runs on the
// transport's thread. Errors carry Winsock numbers mapped from errno. The
// address family's own part (how an address text names a host, how a host
// is written, what a datagram carries around its data) is left to the
// concrete transport: TCP/IP here, IPX/SPX in comms/ipx_spx.h.
//
// Calling mode (client): Call connects (waiting up to 5000 ms while
// breathing); a send that would block waits by breathing, so received data
// is still handled meanwhile, until the socket takes its bytes, the
// connection ends or nothing was taken for SendStallLimitMs.
// Listening mode (server): Startup opens the listening socket on
// Endpoints.StreamPort (0 picks a free port, see BoundStreamPort), accepted
// connections fire OnConnectionAdded; StartDatagramListen opens the server
// discovery socket, and a discovery request (datagram 6) is answered with
// datagram 7 carrying LocalName() and LocalAddress() before OnDatagram
// fires. A listening transport never blocks in a send and never raises from
// one: what the socket does not take is queued and sent as the socket
// drains, and a connection whose send fails is hung up. Endpoints.BindAddress
// limits the listening and discovery sockets to one local address.
// Thread rules: as every transport (QDLLProt.h).
#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <vector>

#include "comms/QDLLProt.h"
#include "comms/stream_framer.h"
#include "comms/unsent_queue.h"

namespace qd {

inline constexpr uint32_t kWinsockMaxMsgSize = 24576;
inline constexpr int kConnectWaitMs = 5000;
inline constexpr uint16_t kServerStreamPort = 24677;
inline constexpr uint16_t kServerDiscoveryPort = 24677;
inline constexpr uint16_t kClientDiscoveryPort = 24933;
inline constexpr const char* kBroadcastAddress = "255.255.255.255";
// A client's send waits at most this long for a socket that takes nothing:
// as long as a reply may take.
inline constexpr int32_t kDefaultSendStallMs = 3600000;
// A listening transport drops a client that lets this much go unread.
inline constexpr size_t kMaxUnsentBytes = 80u << 20;

struct TqdWinsockEndpoints {
  uint16_t StreamPort = kServerStreamPort;
  uint16_t ServerDiscoveryPort = kServerDiscoveryPort;
  uint16_t ClientDiscoveryPort = kClientDiscoveryPort;
  std::string BroadcastAddress = kBroadcastAddress;
  // Listening mode: the local IPv4 address to listen on; empty for all.
  std::string BindAddress;
};

class TqdWinsockConnection : public TqdConnection {
 public:
  TqdWinsockConnection(TqdBaseCommsProtocol& owner, int fd, std::string_view remoteName, size_t* unsentTotal);
  ~TqdWinsockConnection() override;
  void Close() override;  // shuts the socket down both ways and closes it

  int Fd = -1;
  TqdStreamFramer Framer;
  std::vector<uint8_t> SendBuffer;
  TqdUnsentQueue Unsent;     // scrambled bytes the socket has not taken yet
  bool SendWaiting = false;  // a send of this connection is breathing
};

class TqdWinsockProtocol : public TqdBaseCommsProtocol {
 public:
  ~TqdWinsockProtocol() override;

  void Startup() override;
  TqdConnectionHandle Call(std::string_view address) override;
  void Listen() override;
  void SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) override;
  void StartDatagramListen() override;
  void SendDatagram(std::string_view address, const uint8_t* data, size_t size) override;
  void StopDatagramListen() override;
  size_t UnsentBytes(TqdConnectionHandle handle) override;

  // Set before Startup / Call / StartDatagramListen.
  TqdWinsockEndpoints Endpoints;
  // A client's blocked send gives up (the connection is hung up, the send
  // raises WSAETIMEDOUT) when the socket has taken nothing for this long.
  int32_t SendStallLimitMs = kDefaultSendStallMs;
  // The ports actually bound (useful when 0 asked for a free one).
  uint16_t BoundStreamPort() const { return boundStreamPort_; }
  uint16_t BoundDiscoveryPort() const { return boundDiscoveryPort_; }

 protected:
  TqdWinsockProtocol(std::string_view name, uint8_t mode);
  // The host an address text names; the empty text names the broadcast
  // target. nullopt when it names none.
  virtual std::optional<in_addr> ResolveTarget(std::string_view address) = 0;
  // A host written in the family's address form.
  virtual std::string AddressTextOf(in_addr address) = 0;
  // One discovery datagram on the wire; both return what sendto/recvfrom
  // do. TCP/IP sends the bytes as they are.
  virtual ssize_t SendDatagramBytes(int fd, const sockaddr_in& to, const uint8_t* data, size_t size);
  virtual ssize_t ReceiveDatagramBytes(int fd, uint8_t* buffer, size_t size, in_addr& from);
  intptr_t WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void ReceivePausedChanged(TqdConnection& connection) override;

 private:
  void Accept();
  void ReadStream(TqdWinsockConnection* connection);
  // Hands on the complete parts already received; false when the
  // connection broke or went meanwhile.
  bool DeliverBuffered(TqdWinsockConnection* connection);
  void ReadDatagrams();
  // Sends what the socket takes; false after a send error (connection hung up).
  bool Flush(TqdWinsockConnection* connection);
  void SocketEvent(int fd, uint16_t event, uint16_t error);

  int listenFd_ = -1;
  int discoveryFd_ = -1;
  int connectFd_ = -1;
  bool connecting_ = false;
  bool connectFailed_ = false;
  uint16_t boundStreamPort_ = 0;
  uint16_t boundDiscoveryPort_ = 0;
};

class TqdTCPIPProtocol : public TqdWinsockProtocol {
 public:
  // Raises EqdWinsockException (string 138) when the host's own address
  // cannot be found. In calling mode the endpoints come from the client
  // configuration (defaults unless overridden there).
  TqdTCPIPProtocol(std::string_view name, uint8_t mode);

 protected:
  std::optional<in_addr> ResolveTarget(std::string_view address) override;
  std::string AddressTextOf(in_addr address) override;
};

// A dotted IPv4 address or a host name; nullopt when it does not resolve.
std::optional<in_addr> ResolveIPv4(std::string_view text);

}  // namespace qd
