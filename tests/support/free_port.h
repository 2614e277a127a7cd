// A loopback port for tests that need one before the peer that binds it
// exists (a client's discovery port, a port nobody listens on).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace qd::test {

// A loopback port of `type` (SOCK_STREAM or SOCK_DGRAM) that was free a
// moment ago; its socket is closed again.
inline uint16_t FreeLoopbackPort(int type) {
  int fd = socket(AF_INET, type, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  close(fd);
  return ntohs(sa.sin_port);
}

}  // namespace qd::test
