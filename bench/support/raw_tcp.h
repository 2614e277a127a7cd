// Plain TCP sockets on loopback for the benchmarks' raw exchanges, beside
// which the engine's are measured: no framing, no error reporting beyond
// what a benchmark needs to stop.
// Thread rules: none.
#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace qd::bench {

// A listening socket on 127.0.0.1; `port` receives the port it took.
inline int ListenOnLoopback(uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  listen(fd, 8);
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  port = ntohs(sa.sin_port);
  return fd;
}

inline bool ReadExact(int fd, uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t r = recv(fd, p, n, 0);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

inline bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t r = send(fd, p, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

inline void NoDelay(int fd) {
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

inline int ConnectRaw(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = htons(port);
  connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  NoDelay(fd);
  return fd;
}

}  // namespace qd::bench
