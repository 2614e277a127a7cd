// A client made of a bare socket, for tests of what a listening transport
// does with clients that do not keep to the protocol: it sends parts as
// they are (unscrambled, which a server's key of zero leaves alone) and
// reads or does not read as the test says.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/endian.h"
#include "comms/QDNetMsg.h"
#include "comms/single_user.h"

namespace qd::test {

// One part: a header for `data` with the given flags and total size.
inline std::vector<uint8_t> RawPart(TqdMsgID msg, const std::vector<uint8_t>& data, bool first, bool last,
                                    uint32_t totalSize) {
  TqdMsgHeader h;
  h.MsgID = msg;
  h.MsgLen = static_cast<uint32_t>(kMsgHeaderSize + data.size());
  h.TotalSize = totalSize;
  h.FirstPart = first ? 1 : 0;
  h.LastPart = last ? 1 : 0;
  std::vector<uint8_t> bytes(kMsgHeaderSize);
  EncodeMsgHeader(h, bytes.data());
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

class RawClient {
 public:
  // TCP to 127.0.0.1:port.
  explicit RawClient(uint16_t port) : stream_(true) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  // The single-user socket at `path`; the server's acceptance is read by
  // the first Receive.
  explicit RawClient(const std::string& path) : stream_(false) {
    fd_ = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
  }
  ~RawClient() { Close(); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return connected_; }
  int Fd() const { return fd_; }

  // Sends a part (on single user, as one data packet); false when refused.
  bool Send(const std::vector<uint8_t>& part) {
    std::vector<uint8_t> bytes;
    if (!stream_) {
      bytes.resize(4);
      PutUInt32LE(bytes.data(), kSingleUserData);
    }
    bytes.insert(bytes.end(), part.begin(), part.end());
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what arrives within `ms`: bytes of the stream, or one packet.
  // Empty on time-out; `closed` is set when the server hung up.
  std::vector<uint8_t> Receive(int ms, bool* closed = nullptr) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return {};
    std::vector<uint8_t> bytes(64 * 1024);
    ssize_t n = recv(fd_, bytes.data(), bytes.size(), 0);
    bool gone = n <= 0 || (!stream_ && n == 4 && GetUInt32LE(bytes.data()) == kSingleUserHangUp);
    if (closed != nullptr) *closed = gone;
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
  }
  // Closes at once with a reset (TCP), so the server's next send fails.
  void Reset() {
    linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  bool stream_;
  int fd_ = -1;
  bool connected_ = false;
};

}  // namespace qd::test
