#include "comms/ipx_spx.h"

#include <arpa/inet.h>

#include "comms/QDCLCfg.h"
#include "comms/winsock_sockets.h"

namespace qd {

TqdIPXSPXProtocol::TqdIPXSPXProtocol(std::string_view name, uint8_t mode) : TqdWinsockProtocol(name, mode) {
  SetEmulation(mode == kCallingMode ? GetClientIpxEmulation() : TqdIpxEmulation{});
  SetLocalAddress(AddressTextOf(LocalIPv4()));
}

void TqdIPXSPXProtocol::SetEmulation(const TqdIpxEmulation& emulation) {
  portOffset_ = emulation.PortOffset;
  Endpoints.StreamPort = emulation.PortOf(kSpxServerSocket);
  Endpoints.ServerDiscoveryPort = emulation.PortOf(kIpxServerDiscoverySocket);
  Endpoints.ClientDiscoveryPort = emulation.PortOf(kIpxClientDiscoverySocket);
  Endpoints.BroadcastAddress = emulation.DiscoveryAddress;
}

std::optional<in_addr> TqdIPXSPXProtocol::ResolveTarget(std::string_view address) {
  TqdIpxAddress broadcast;
  broadcast.Node.fill(0xFF);
  std::optional<TqdIpxAddress> target = address.empty() ? broadcast : ParseIpxAddress(address);
  if (!target) return std::nullopt;
  return IPv4Of(*target, Emulation());
}

std::string TqdIPXSPXProtocol::AddressTextOf(in_addr address) { return FormatIpxAddress(IpxAddressOf(address)); }

ssize_t TqdIPXSPXProtocol::SendDatagramBytes(int fd, const sockaddr_in& to, const uint8_t* data, size_t size) {
  TqdIpxEmulation emulation = Emulation();
  TqdIpxSocketAddress from{*ParseIpxAddress(LocalAddress()), mode_ == kListeningMode ? kIpxServerDiscoverySocket
                                                                                     : kIpxClientDiscoverySocket};
  // What goes to the discovery address was addressed to every node.
  std::optional<in_addr> everyone = ResolveTarget("");
  TqdIpxSocketAddress target{IpxAddressOf(to.sin_addr), emulation.SocketOf(ntohs(to.sin_port))};
  if (everyone && everyone->s_addr == to.sin_addr.s_addr) target.Address.Node.fill(0xFF);
  return SendIpxDatagram(fd, emulation, from, target, data, size);
}

ssize_t TqdIPXSPXProtocol::ReceiveDatagramBytes(int fd, uint8_t* buffer, size_t size, in_addr& from) {
  TqdIpxSocketAddress sender;
  ssize_t n = ReceiveIpxDatagram(fd, buffer, size, sender);
  if (n >= 0) from = *IPv4Of(sender.Address, Emulation());  // the node was made from the sender's IPv4 address
  return n;
}

}  // namespace qd
