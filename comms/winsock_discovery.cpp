// The discovery side of the Winsock transports: the discovery socket, reading
// its datagrams (a listening transport answers datagram 6 with datagram 7)
// and sending one datagram, to an address or broadcast.
// Thread rules: the transport's thread.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/QDLLExcp.h"
#include "base/shortstr.h"
#include "base/string_ids.h"
#include "comms/QDLLWsck.h"
#include "comms/discovery.h"
#include "comms/winsock_sockets.h"

namespace qd {
namespace {

// Datagrams read per FD_READ before other messages get their turn.
constexpr int kDatagramsPerEvent = 64;

}  // namespace

void TqdWinsockProtocol::ReadDatagrams() {
  uint8_t buffer[kDatagramBufferSize];
  for (int i = 0; i < kDatagramsPerEvent && discoveryFd_ >= 0; ++i) {
    in_addr from{};
    ssize_t n = ReceiveDatagramBytes(discoveryFd_, buffer, sizeof buffer, from);
    if (n < 0) return;
    std::string sender = std::string(TqdNetName(AddressTextOf(from)).View());
    if (mode_ == kListeningMode && IsFindServers(buffer, static_cast<size_t>(n))) {
      uint8_t here[kServerHereSize];
      EncodeServerHere({LocalName(), LocalAddress()}, here);
      try {
        SendDatagram(sender, here, sizeof here);
      } catch (const EqdWinsockException&) {
        // One unanswered discovery is harmless; the client asks again.
      }
    }
    FireDatagram(sender, buffer, static_cast<size_t>(n));
  }
}

ssize_t TqdWinsockProtocol::SendDatagramBytes(int fd, const sockaddr_in& to, const uint8_t* data, size_t size) {
  return sendto(fd, data, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

ssize_t TqdWinsockProtocol::ReceiveDatagramBytes(int fd, uint8_t* buffer, size_t size, in_addr& from) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  ssize_t n = recvfrom(fd, buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), &len);
  from = sa.sin_addr;
  return n;
}

void TqdWinsockProtocol::StartDatagramListen() {
  if (discoveryFd_ >= 0) return;
  uint16_t port = mode_ == kListeningMode ? Endpoints.ServerDiscoveryPort : Endpoints.ClientDiscoveryPort;
  // A client binds to every local address, so that answers sent to any of
  // them, loopback included, arrive; a server confined to one address
  // answers only what is sent to that address.
  const std::string& local = mode_ == kListeningMode ? Endpoints.BindAddress : std::string();
  int fd = OpenBoundSocket(Window(), SOCK_DGRAM, local, port, FD_READ);
  discoveryFd_ = fd;
  boundDiscoveryPort_ = LocalPort(fd);
}

void TqdWinsockProtocol::StopDatagramListen() { CloseSocket(Window(), discoveryFd_); }

void TqdWinsockProtocol::SendDatagram(std::string_view address, const uint8_t* data, size_t size) {
  bool broadcast = address.empty();
  std::optional<in_addr> target = ResolveTarget(address);
  if (!target) return;
  uint16_t port = mode_ == kListeningMode ? Endpoints.ClientDiscoveryPort : Endpoints.ServerDiscoveryPort;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseTableError<EqdWinsockException>(GeneralStrings(), gsWinsockCannotCreateSocket);
  int on = 1;
  sockaddr_in sa = SocketAddress(*target, port);
  if ((broadcast && setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) ||
      SendDatagramBytes(fd, sa, data, size) < 0) {
    int err = errno;
    close(fd);
    RaiseWinsock(err);
  }
  close(fd);
}

}  // namespace qd
