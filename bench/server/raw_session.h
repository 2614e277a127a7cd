// A client of qd-server made of a bare TCP socket, for the benchmarks of
// misbehaving clients: it attaches and logs in as the engine would, then
// sends requests without ever waiting for (or reading) their replies.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "comms/scramble.h"

namespace qd::bench {

class RawSession {
 public:
  explicit RawSession(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) Close();
  }
  ~RawSession() { Close(); }
  RawSession(const RawSession&) = delete;
  RawSession& operator=(const RawSession&) = delete;

  // Attach and login as `user` with `password` on a secure server.
  bool Login(const std::string& user, const std::string& password) {
    std::vector<uint8_t> attach(kAttachRequestSize);
    EncodeAttachRequest({"raw", user}, attach.data());
    if (!Send(msgAttach, attach, /*wait=*/true)) return false;
    std::vector<uint8_t> reply = Read(kMsgHeaderSize + kAttachReplySize);
    if (reply.size() != kMsgHeaderSize + kAttachReplySize) return false;
    TqdAttachReply a = DecodeAttachReply(reply.data() + kMsgHeaderSize);
    clientId_ = a.ClientID;
    key_.SetSeed(ScramblingSeed(a.ScramblingCode, a.Secure, password));
    if (!Send(msgConfirmLogin, {}, true)) return false;
    reply = Read(kMsgHeaderSize);
    if (reply.size() != kMsgHeaderSize) return false;
    key_.ScramblePart(reply.data(), reply.size());
    return DecodeMsgHeader(reply.data()).ResultCode == 0;
  }
  // Sends one request in one part; without `wait`, false when the socket
  // would block (the server no longer reads this client).
  bool Send(TqdMsgID msg, const std::vector<uint8_t>& data, bool wait = false) {
    TqdMsgHeader h;
    h.MsgID = msg;
    h.MsgLen = static_cast<uint32_t>(kMsgHeaderSize + data.size());
    h.TotalSize = static_cast<uint32_t>(data.size());
    h.ClientID = clientId_;
    h.Timeout = kRequestTimeoutField;
    std::vector<uint8_t> part(kMsgHeaderSize);
    EncodeMsgHeader(h, part.data());
    part.insert(part.end(), data.begin(), data.end());
    key_.ScramblePart(part.data(), part.size());
    ssize_t n = send(fd_, part.data(), part.size(), MSG_NOSIGNAL | (wait ? 0 : MSG_DONTWAIT));
    return n == static_cast<ssize_t>(part.size());
  }
  // Sends a request and reads its reply's data (`size` bytes); empty on
  // failure.
  std::vector<uint8_t> Ask(TqdMsgID msg, const std::vector<uint8_t>& data, size_t size) {
    if (!Send(msg, data, true)) return {};
    std::vector<uint8_t> reply = Read(kMsgHeaderSize + size);
    if (reply.size() != kMsgHeaderSize + size) return {};
    key_.ScramblePart(reply.data(), reply.size());
    if (DecodeMsgHeader(reply.data()).ResultCode != 0) return {};
    return std::vector<uint8_t>(reply.begin() + kMsgHeaderSize, reply.end());
  }
  bool Connected() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  std::vector<uint8_t> Read(size_t size) {
    std::vector<uint8_t> bytes;
    while (bytes.size() < size) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 30000) <= 0) break;
      uint8_t buffer[4096];
      ssize_t n = recv(fd_, buffer, std::min(sizeof buffer, size - bytes.size()), 0);
      if (n <= 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  int fd_ = -1;
  uint32_t clientId_ = 0;
  TqdScrambleKey key_;
};

}  // namespace qd::bench
