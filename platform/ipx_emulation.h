// IPX datagrams and SPX streams emulated over IPv4, since Linux has no IPX
// stack. An IPX node is 00-00 followed by an IPv4 address, so an IPX address
// names a reachable host; the broadcast node stands for the configured
// discovery address. An IPX socket number is carried on the UDP (IPX) or
// TCP (SPX) port "socket + offset", so that IPX discovery on 24677/24933
// does not meet the TCP/IP transport's UDP ports on the same host. Each IPX
// datagram is one UDP datagram whose payload starts with the real 30-byte
// IPX header (the encapsulation of RFC 1234), so a capture reads as IPX. An
// SPX stream is a TCP connection; the network number is carried but not
// routed on.
// Thread rules: the functions keep no state; a socket is used by one thread.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/ipx_address.h"

namespace qd {

struct TqdIpxSocketAddress {
  TqdIpxAddress Address;
  uint16_t Socket = 0;
  friend bool operator==(const TqdIpxSocketAddress&, const TqdIpxSocketAddress&) = default;
};

// Checksum 2 + length 2 + transport control 1 + packet type 1 +
// destination (network 4 + node 6 + socket 2) + source (the same 12).
inline constexpr size_t kIpxHeaderSize = 2 + 2 + 1 + 1 + 12 + 12;
static_assert(kIpxHeaderSize == 30);
inline constexpr uint16_t kIpxNoChecksum = 0xFFFF;
inline constexpr uint8_t kIpxPacketExchangeType = 4;
// The largest IPX packet, header included.
inline constexpr size_t kIpxMaxPacketSize = 576;

struct TqdIpxHeader {
  uint16_t Length = kIpxHeaderSize;  // header and data
  uint8_t TransportControl = 0;      // hops so far
  uint8_t PacketType = kIpxPacketExchangeType;
  TqdIpxSocketAddress Destination;
  TqdIpxSocketAddress Source;
};

// REQUIRES: out holds kIpxHeaderSize bytes. Fields go in network order.
void EncodeIpxHeader(const TqdIpxHeader& header, uint8_t* out);
// nullopt unless `size` holds a header whose checksum field says "none" and
// whose length is the datagram's size.
std::optional<TqdIpxHeader> DecodeIpxHeader(const uint8_t* data, size_t size);

inline constexpr int32_t kDefaultIpxPortOffset = 10000;
// The offset keeps every fixed IPX socket (24677, 24933, 25189) a valid port.
inline constexpr int32_t kMaxIpxPortOffset = 65535 - 25189;
inline constexpr const char* kDefaultIpxDiscoveryAddress = "255.255.255.255";

struct TqdIpxEmulation {
  int32_t PortOffset = kDefaultIpxPortOffset;
  std::string DiscoveryAddress = kDefaultIpxDiscoveryAddress;  // dotted IPv4

  uint16_t PortOf(uint16_t socket) const { return static_cast<uint16_t>(socket + PortOffset); }
  uint16_t SocketOf(uint16_t port) const { return static_cast<uint16_t>(port - PortOffset); }
};

// The node of an IPv4 host, on network 00000000.
TqdIpxAddress IpxAddressOf(in_addr address);
bool IsIpxBroadcast(const TqdIpxAddress& address);
// The IPv4 host an address names: its node's last four bytes, or the
// discovery address for the broadcast node; nullopt for any other node.
std::optional<in_addr> IPv4Of(const TqdIpxAddress& address, const TqdIpxEmulation& emulation);

// Sends `size` bytes as one IPX datagram from `from` to `to` on the UDP
// socket `fd`. Returns what sendto returns (-1 with errno: EHOSTUNREACH for
// a node that names no IPv4 host, EMSGSIZE for a packet above 576 bytes).
ssize_t SendIpxDatagram(int fd, const TqdIpxEmulation& emulation, const TqdIpxSocketAddress& from,
                        const TqdIpxSocketAddress& to, const uint8_t* data, size_t size);
// Reads the next datagram that carries a sound IPX header; its data (cut to
// `size`) goes to `buffer`. The sender's node is taken from the datagram's
// IPv4 source, which is where it is reachable; its network and socket from
// the header. Datagrams without a sound header are dropped. Returns the data
// length, or -1 with errno (EAGAIN when nothing sound is waiting).
ssize_t ReceiveIpxDatagram(int fd, uint8_t* buffer, size_t size, TqdIpxSocketAddress& from);

}  // namespace qd
