// A loopback port for tests that need one before the peer that binds it
// exists (a client's discovery port, a port nobody listens on).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace qd::test {

// Binds `fd` to 127.0.0.1 at `port` (0: a free one); the port bound, or 0
// when the bind failed.
inline uint16_t BindLoopback(int fd, uint16_t port = 0) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return 0;
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  return ntohs(sa.sin_port);
}

// A loopback port of `type` (SOCK_STREAM or SOCK_DGRAM) that was free a
// moment ago; its socket is closed again.
inline uint16_t FreeLoopbackPort(int type) {
  int fd = socket(AF_INET, type, 0);
  uint16_t port = BindLoopback(fd);
  close(fd);
  return port;
}

// True when a socket of `type` could be bound to the port a moment ago.
inline bool LoopbackPortIsFree(int type, uint16_t port) {
  int fd = socket(AF_INET, type, 0);
  bool free = BindLoopback(fd, port) != 0;
  close(fd);
  return free;
}

}  // namespace qd::test
