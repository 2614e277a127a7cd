#include "comms/single_user.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "base/string_ids.h"
#include "platform/socket_errors.h"

namespace qd {
namespace {

// Packets read per FD_READ before other messages get their turn.
constexpr int kPacketsPerRead = 64;

bool MakeAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

[[noreturn]] void RaiseErrno(int err) { throw EqdWinsockException::CreateForWinsockCode(WinsockErrorFromErrno(err)); }

bool WaitFd(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  int r;
  do r = poll(&p, 1, ms);
  while (r < 0 && errno == EINTR);
  return r > 0;
}

// QUILLDRIVE_SINGLE_USER_SOCKET, when set and not empty, names the socket.
const char* SocketPathOverride() {
  const char* over = std::getenv("QUILLDRIVE_SINGLE_USER_SOCKET");
  return over != nullptr && *over != '\0' ? over : nullptr;
}

// The directory of the socket must be this user's own, a real directory
// that nobody else may write to: in a shared place such as /tmp another user
// could otherwise have made it first and put a socket of theirs in place of
// the server's. A path given by QUILLDRIVE_SINGLE_USER_SOCKET is the user's
// own choice and is not checked.
bool IsPrivateSocketDirectory(const std::string& socketPath) {
  if (SocketPathOverride() != nullptr) return true;
  std::string dir = socketPath.substr(0, socketPath.rfind('/'));
  struct stat st{};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string SingleUserSocketPath() {
  if (const char* over = SocketPathOverride()) return over;
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0')
    return std::string(run) + "/quilldrive/single-user";
  return "/tmp/quilldrive-" + std::to_string(getuid()) + "/single-user";
}

TqdSingleUserConnection::TqdSingleUserConnection(TqdBaseCommsProtocol& owner, int fd, size_t* unsentTotal)
    : TqdConnection(owner, ""),
      Fd(fd),
      SendBuffer(kSingleUserPacketSize),
      ReceiveBuffer(kSingleUserPacketSize),
      Unsent(unsentTotal) {}

TqdSingleUserConnection::~TqdSingleUserConnection() { Close(); }

void TqdSingleUserConnection::Close() {
  if (Fd < 0) return;
  if (!PeerClosed) {
    uint8_t hangUp[4];
    PutUInt32LE(hangUp, kSingleUserHangUp);
    ssize_t r = send(Fd, hangUp, sizeof hangUp, MSG_NOSIGNAL | MSG_DONTWAIT);
    (void)r;  // a peer that is gone needs no hang-up
  }
  Owner.Window().CancelSelect(Fd);
  close(Fd);
  Fd = -1;
}

TqdSingleUserProtocol::TqdSingleUserProtocol(std::string_view name, uint8_t mode)
    : TqdBaseCommsProtocol(name, mode) {
  maxMsgSize_ = kSingleUserMaxMsgSize;
  needsPartAck_ = true;
  discoveryWait_ = 250;
  CreateNotifyWindow();
}

TqdSingleUserProtocol::~TqdSingleUserProtocol() {
  for (int i = ConnectionCount() - 1; i >= 0; --i)
    if (TqdConnection* c = ConnectionAt(i)) RemoveConnection(c->Handle());
  if (listenFd_ >= 0) {
    Window().CancelSelect(listenFd_);
    close(listenFd_);
    unlink(path_.c_str());
  }
}

void TqdSingleUserProtocol::Startup() {
  if (mode_ != kListeningMode || listenFd_ >= 0) return;
  path_ = SingleUserSocketPath();
  sockaddr_un address;
  if (!MakeAddress(path_, address)) RaiseErrno(ENAMETOOLONG);
  if (SocketPathOverride() == nullptr) {
    std::string dir = path_.substr(0, path_.rfind('/'));
    mkdir(dir.c_str(), 0700);  // an existing directory is fine if it is private
  }
  if (!IsPrivateSocketDirectory(path_)) RaiseErrno(EACCES);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseErrno(errno);
  // A socket file that nobody answers on is left over from a server that
  // ended without cleaning up; one that answers belongs to a live server.
  int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (probe >= 0) {
    bool live = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    if (live) {
      close(fd);
      RaiseErrno(EADDRINUSE);
    }
    unlink(path_.c_str());
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    int err = errno;
    close(fd);
    RaiseErrno(err);
  }
  listenFd_ = fd;
  if (int err = Window().AsyncSelect(fd, FD_ACCEPT); err != 0) RaiseErrno(err);
}

TqdConnectionHandle TqdSingleUserProtocol::Call(std::string_view) {
  if (mode_ == kListeningMode) RaiseTableError<EqdCommsException>(GeneralStrings(), gsServersCannotCall);
  sockaddr_un address;
  std::string path = SingleUserSocketPath();
  if (!MakeAddress(path, address) || !IsPrivateSocketDirectory(path)) return 0;
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  uint8_t answer[kSingleUserPacketSize];
  bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  WaitFd(fd, POLLIN, kSingleUserAcceptWaitMs) &&
                  recv(fd, answer, sizeof answer, MSG_DONTWAIT) == 4 && GetUInt32LE(answer) == kSingleUserAccepted;
  int flags = accepted ? fcntl(fd, F_GETFL) : -1;
  if (!accepted || flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    close(fd);
    return 0;
  }
  auto* connection = new TqdSingleUserConnection(*this, fd, &unsentTotal_);
  AddConnection(connection);
  if (Window().AsyncSelect(fd, SelectedEvents(*connection)) != 0) {
    RemoveConnection(connection->Handle());
    return 0;
  }
  return connection->Handle();
}

void TqdSingleUserProtocol::Accept() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // EAGAIN: all taken; out of descriptors: a pause; other errors: the
      // next FD_ACCEPT tries again.
      BackOffAccepting(listenFd_, errno);
      return;
    }
    auto* connection = new TqdSingleUserConnection(*this, fd, &unsentTotal_);
    AddConnection(connection);
    uint8_t accepted[4];
    PutUInt32LE(accepted, kSingleUserAccepted);
    if (!QueuePacket(connection, accepted, sizeof accepted) ||
        Window().AsyncSelect(fd, SelectedEvents(*connection)) != 0) {
      connection->PeerClosed = true;
      RemoveConnection(connection->Handle());
      continue;
    }
    FireConnectionAdded(connection->Handle());
  }
}

uint16_t TqdSingleUserProtocol::SelectedEvents(const TqdSingleUserConnection& connection) const {
  uint16_t events = FD_CLOSE;
  if (!connection.ReceivePaused) events |= FD_READ;
  if (mode_ == kListeningMode) events |= FD_WRITE;  // room for what is queued
  return events;
}

size_t TqdSingleUserProtocol::UnsentBytes(TqdConnectionHandle handle) {
  auto* connection = static_cast<TqdSingleUserConnection*>(FindConnection(handle));
  return connection == nullptr ? 0 : connection->Unsent.Bytes();
}

bool TqdSingleUserProtocol::QueuePacket(TqdSingleUserConnection* connection, const uint8_t* data, size_t size) {
  if (connection->Unsent.Empty()) {
    if (send(connection->Fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(size)) return true;
    if (errno != EAGAIN && errno != EINTR) return false;
  }
  connection->Unsent.Push(data, size);
  Window().ReenableWrite(connection->Fd);
  return connection->Unsent.Bytes() <= kSingleUserMaxUnsentBytes;  // beyond: the peer stopped reading
}

bool TqdSingleUserProtocol::Flush(TqdSingleUserConnection* connection) {
  while (connection->Fd >= 0 && !connection->Unsent.Empty()) {
    std::span<const uint8_t> packet = connection->Unsent.Front();
    if (send(connection->Fd, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
      if (errno != EAGAIN && errno != EINTR) return false;
      Window().ReenableWrite(connection->Fd);
      return true;
    }
    connection->Unsent.Consume(packet.size());  // a packet goes whole or not at all
  }
  return true;
}

void TqdSingleUserProtocol::ReceivePausedChanged(TqdConnection& c) {
  auto& connection = static_cast<TqdSingleUserConnection&>(c);
  if (connection.Fd < 0) return;
  // Packets not read stay in the socket, which announces them again.
  if (Window().AsyncSelect(connection.Fd, SelectedEvents(connection)) != 0) {
    connection.PeerClosed = true;
    HangUp(connection.Handle());
  }
}

bool TqdSingleUserProtocol::SendPacket(TqdSingleUserConnection* connection, const uint8_t* data, size_t size) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSingleUserSendWaitMs);
  for (;;) {
    if (send(connection->Fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(size)) return true;
    if (errno != EAGAIN && errno != EINTR) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    WaitFd(connection->Fd, POLLOUT, static_cast<int>(left.count()));
  }
}

void TqdSingleUserProtocol::SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) {
  auto* connection = static_cast<TqdSingleUserConnection*>(FindConnection(handle));
  if (connection == nullptr || connection->Fd < 0 || size > kSingleUserMaxMsgSize) return;
  uint8_t* packet = connection->SendBuffer.data();
  PutUInt32LE(packet, kSingleUserData);
  if (size > 0) std::memcpy(packet + 4, data, size);
  KeyFor(connection).ScramblePart(packet + 4, size);
  bool sent = mode_ == kListeningMode ? QueuePacket(connection, packet, 4 + size)
                                      : SendPacket(connection, packet, 4 + size);
  if (!sent) {
    // The peer is gone or has stopped reading: nothing more can be said.
    connection->PeerClosed = true;
    HangUp(handle);
  }
}

void TqdSingleUserProtocol::Read(TqdSingleUserConnection* connection) {
  TqdConnectionUse use(*this, connection);
  TqdConnectionHandle handle = connection->Handle();
  for (int i = 0; i < kPacketsPerRead && connection->Fd >= 0 && !connection->ReceivePaused; ++i) {
    uint8_t* packet = connection->ReceiveBuffer.data();
    ssize_t n = recv(connection->Fd, packet, kSingleUserPacketSize, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // End of stream, an error, a packet too short for its identifier or too
    // long for a part: the peer is gone or does not speak this protocol.
    if (n < 4 || n > static_cast<ssize_t>(kSingleUserPacketSize)) {
      connection->PeerClosed = true;
      HangUp(handle);
      return;
    }
    uint32_t id = GetUInt32LE(packet);
    if (id == kSingleUserData) {
      HandleReceivedMessage(handle, packet + 4, static_cast<size_t>(n) - 4);
    } else if (id == kSingleUserHangUp) {
      connection->PeerClosed = true;
      HangUp(handle);
      return;
    }  // anything else is not for us
    // Only a full packet says that a message goes on in the next one; after
    // a shorter one the peer most often waits for an answer. Reading on
    // would then cost a receive that finds nothing; the socket, still
    // watched, says so if more has come.
    if (static_cast<size_t>(n) < kSingleUserPacketSize) return;
  }
}

intptr_t TqdSingleUserProtocol::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg != kSocketEventMessage) return TqdBaseCommsProtocol::WindowProc(msg, wParam, lParam);
  int fd = static_cast<int>(wParam);
  if (fd == listenFd_) {
    Accept();
    return 0;
  }
  TqdSingleUserConnection* connection = ConnectionOfFd<TqdSingleUserConnection>(fd);
  if (connection == nullptr) return 0;
  TqdConnectionHandle handle = connection->Handle();
  uint16_t event = SelectEvent(lParam);
  if (event == FD_WRITE && SelectError(lParam) == 0) {
    if (!Flush(connection)) {
      connection->PeerClosed = true;
      HangUp(handle);
    }
    return 0;
  }
  Read(connection);
  if (event != FD_READ || SelectError(lParam) != 0) {
    // Closed or failed: what was still buffered has been read above.
    if (FindConnection(handle) == connection) {
      connection->PeerClosed = true;
      HangUp(handle);
    }
  }
  return 0;
}

}  // namespace qd
