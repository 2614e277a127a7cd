// A second server for discovery tests: it only answers a search, as
// "ANOTHER" at 127.0.0.1, on the same UDP port as the real server (a
// broadcast to the loopback network reaches both). A thread of its own
// answers until it is freed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "comms/discovery.h"

namespace qd::test {

class DiscoveryAnswerer {
 public:
  DiscoveryAnswerer(uint16_t port, uint16_t clientPort) : clientPort_(clientPort) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    thread_ = std::thread([this] { Serve(); });
  }
  ~DiscoveryAnswerer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  DiscoveryAnswerer(const DiscoveryAnswerer&) = delete;
  DiscoveryAnswerer& operator=(const DiscoveryAnswerer&) = delete;
  bool Bound() const { return bound_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t buffer[kDatagramBufferSize];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n <= 0 || !IsFindServers(buffer, static_cast<size_t>(n))) continue;
      uint8_t answer[kServerHereSize];
      EncodeServerHere({"ANOTHER", "127.0.0.1"}, answer);
      from.sin_port = htons(clientPort_);
      sendto(fd_, answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
    }
  }

  int fd_ = -1;
  uint16_t clientPort_;
  bool bound_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace qd::test
