// An IPv4 socket address from an address and a port in host order: the one
// place that fills a sockaddr_in.
// Thread rules: pure function.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

namespace qd {

inline sockaddr_in SocketAddress(in_addr address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr = address;
  sa.sin_port = htons(port);
  return sa;
}

}  // namespace qd
