#include "platform/ipx_emulation.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/inet_address.h"

namespace qd {
namespace {

// Datagrams without a sound header skipped per call before giving up.
constexpr int kMaxSkipped = 64;

void PutUInt16BE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
uint16_t GetUInt16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutSocketAddress(uint8_t* p, const TqdIpxSocketAddress& a) {
  std::copy(a.Address.Network.begin(), a.Address.Network.end(), p);
  std::copy(a.Address.Node.begin(), a.Address.Node.end(), p + 4);
  PutUInt16BE(p + 10, a.Socket);
}

TqdIpxSocketAddress GetSocketAddress(const uint8_t* p) {
  TqdIpxSocketAddress a;
  std::copy(p, p + 4, a.Address.Network.begin());
  std::copy(p + 4, p + 10, a.Address.Node.begin());
  a.Socket = GetUInt16BE(p + 10);
  return a;
}

}  // namespace

void EncodeIpxHeader(const TqdIpxHeader& header, uint8_t* out) {
  PutUInt16BE(out, kIpxNoChecksum);
  PutUInt16BE(out + 2, header.Length);
  out[4] = header.TransportControl;
  out[5] = header.PacketType;
  PutSocketAddress(out + 6, header.Destination);
  PutSocketAddress(out + 18, header.Source);
}

std::optional<TqdIpxHeader> DecodeIpxHeader(const uint8_t* data, size_t size) {
  if (size < kIpxHeaderSize || GetUInt16BE(data) != kIpxNoChecksum || GetUInt16BE(data + 2) != size)
    return std::nullopt;
  TqdIpxHeader header;
  header.Length = GetUInt16BE(data + 2);
  header.TransportControl = data[4];
  header.PacketType = data[5];
  header.Destination = GetSocketAddress(data + 6);
  header.Source = GetSocketAddress(data + 18);
  return header;
}

TqdIpxAddress IpxAddressOf(in_addr address) {
  TqdIpxAddress ipx;
  std::memcpy(ipx.Node.data() + 2, &address.s_addr, 4);  // s_addr is in network order
  return ipx;
}

bool IsIpxBroadcast(const TqdIpxAddress& address) {
  return std::all_of(address.Node.begin(), address.Node.end(), [](uint8_t b) { return b == 0xFF; });
}

std::optional<in_addr> IPv4Of(const TqdIpxAddress& address, const TqdIpxEmulation& emulation) {
  in_addr ip{};
  if (IsIpxBroadcast(address)) {
    if (inet_pton(AF_INET, emulation.DiscoveryAddress.c_str(), &ip) != 1) return std::nullopt;
    return ip;
  }
  if (address.Node[0] != 0 || address.Node[1] != 0) return std::nullopt;
  std::memcpy(&ip.s_addr, address.Node.data() + 2, 4);
  return ip;
}

ssize_t SendIpxDatagram(int fd, const TqdIpxEmulation& emulation, const TqdIpxSocketAddress& from,
                        const TqdIpxSocketAddress& to, const uint8_t* data, size_t size) {
  std::optional<in_addr> host = IPv4Of(to.Address, emulation);
  if (!host) {
    errno = EHOSTUNREACH;
    return -1;
  }
  if (size > kIpxMaxPacketSize - kIpxHeaderSize) {
    errno = EMSGSIZE;
    return -1;
  }
  uint8_t packet[kIpxMaxPacketSize];
  TqdIpxHeader header;
  header.Length = static_cast<uint16_t>(kIpxHeaderSize + size);
  header.Destination = to;
  header.Source = from;
  EncodeIpxHeader(header, packet);
  if (size > 0) std::memcpy(packet + kIpxHeaderSize, data, size);
  sockaddr_in sa = SocketAddress(*host, emulation.PortOf(to.Socket));
  ssize_t n = sendto(fd, packet, header.Length, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return n < 0 ? n : std::max<ssize_t>(0, n - static_cast<ssize_t>(kIpxHeaderSize));
}

ssize_t ReceiveIpxDatagram(int fd, uint8_t* buffer, size_t size, TqdIpxSocketAddress& from) {
  uint8_t packet[kIpxMaxPacketSize];
  for (int i = 0; i < kMaxSkipped; ++i) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ssize_t n = recvfrom(fd, packet, sizeof packet, MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0) return n;
    // A datagram longer than any IPX packet (MSG_TRUNC gives its real
    // length) is not IPX: it is dropped with the other unsound ones.
    if (static_cast<size_t>(n) > sizeof packet) continue;
    std::optional<TqdIpxHeader> header = DecodeIpxHeader(packet, static_cast<size_t>(n));
    if (!header || sa.sin_family != AF_INET) continue;
    from = header->Source;
    from.Address.Node = IpxAddressOf(sa.sin_addr).Node;
    size_t data = std::min(static_cast<size_t>(n) - kIpxHeaderSize, size);
    if (data > 0) std::memcpy(buffer, packet + kIpxHeaderSize, data);
    return static_cast<ssize_t>(data);
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace qd
