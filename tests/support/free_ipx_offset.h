// An IPX port offset for tests: one that puts the IPX discovery sockets of
// server and client (24677 and 24933) on loopback UDP ports that were free
// a moment ago.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "comms/ipx_spx.h"
#include "tests/support/free_port.h"

namespace qd::test {

inline bool UdpPortIsFree(uint16_t port) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  bool free = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  close(fd);
  return free;
}

inline int32_t FreeIpxPortOffset() {
  int32_t offset = kDefaultIpxPortOffset;
  for (int i = 0; i < 100; ++i) {
    offset = FreeLoopbackPort(SOCK_DGRAM) - kIpxServerDiscoverySocket;
    if (offset >= 0 && offset <= kMaxIpxPortOffset &&
        UdpPortIsFree(static_cast<uint16_t>(kIpxClientDiscoverySocket + offset)))
      break;
  }
  return offset;
}

}  // namespace qd::test
