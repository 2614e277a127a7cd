// An IPX port offset for tests: one that puts the IPX discovery sockets of
// server and client (24677 and 24933) on loopback UDP ports that were free
// a moment ago.
#pragma once

#include <sys/socket.h>

#include <cstdint>

#include "comms/ipx_spx.h"
#include "tests/support/free_port.h"

namespace qd::test {

inline int32_t FreeIpxPortOffset() {
  int32_t offset = kDefaultIpxPortOffset;
  for (int i = 0; i < 100; ++i) {
    offset = FreeLoopbackPort(SOCK_DGRAM) - kIpxServerDiscoverySocket;
    if (offset >= 0 && offset <= kMaxIpxPortOffset &&
        LoopbackPortIsFree(SOCK_DGRAM, static_cast<uint16_t>(kIpxClientDiscoverySocket + offset)))
      break;
  }
  return offset;
}

}  // namespace qd::test
