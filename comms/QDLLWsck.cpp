#include "comms/QDLLWsck.h"

#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "base/timer.h"
#include "comms/QDCLCfg.h"
#include "comms/winsock_sockets.h"
#include "platform/socket_errors.h"

namespace qd {
namespace {

// Reads per FD_READ before other messages get their turn.
constexpr int kReadsPerEvent = 64;
// The receive buffer holds several parts so that a fast stream needs fewer
// receive calls; any one part still fits.
constexpr size_t kReceiveCapacity = 4 * kWinsockMaxMsgSize;
// How long one breathing turn may wait in the kernel.
constexpr int32_t kBreatheSliceMs = 50;

}  // namespace

TqdWinsockConnection::TqdWinsockConnection(TqdBaseCommsProtocol& owner, int fd, std::string_view remoteName,
                                           size_t* unsentTotal)
    : TqdConnection(owner, remoteName),
      Fd(fd),
      Framer(kWinsockMaxMsgSize, kReceiveCapacity),
      SendBuffer(kWinsockMaxMsgSize),
      Unsent(unsentTotal) {}

TqdWinsockConnection::~TqdWinsockConnection() { Close(); }

void TqdWinsockConnection::Close() { CloseSocket(Owner.Window(), Fd); }

TqdWinsockProtocol::TqdWinsockProtocol(std::string_view name, uint8_t mode) : TqdBaseCommsProtocol(name, mode) {
  maxMsgSize_ = kWinsockMaxMsgSize;
  needsPartAck_ = false;
  discoveryWait_ = 250;
  CreateNotifyWindow();
}

TqdWinsockProtocol::~TqdWinsockProtocol() {
  for (int i = ConnectionCount() - 1; i >= 0; --i)
    if (TqdConnection* c = ConnectionAt(i)) RemoveConnection(c->Handle());
  CloseSocket(Window(), listenFd_);
  CloseSocket(Window(), discoveryFd_);
  CloseSocket(Window(), connectFd_);
}

void TqdWinsockProtocol::Startup() {
  if (mode_ != kListeningMode || listenFd_ >= 0) return;
  // A server confined to one address tells discovering clients that one.
  if (!Endpoints.BindAddress.empty()) {
    std::optional<in_addr> bound = ResolveIPv4(Endpoints.BindAddress);
    if (!bound) RaiseWinsock(EADDRNOTAVAIL);
    SetLocalAddress(AddressTextOf(*bound));
  }
  int fd = OpenBoundSocket(Window(), SOCK_STREAM, Endpoints.BindAddress, Endpoints.StreamPort, FD_ACCEPT);
  listenFd_ = fd;
  boundStreamPort_ = LocalPort(fd);
}

void TqdWinsockProtocol::Listen() {
  if (mode_ != kListeningMode) RaiseTableError<EqdCommsException>(GeneralStrings(), gsClientsCannotListen);
}

TqdConnectionHandle TqdWinsockProtocol::Call(std::string_view address) {
  if (mode_ == kListeningMode) RaiseTableError<EqdCommsException>(GeneralStrings(), gsServersCannotCall);
  if (address.empty()) return 0;
  std::optional<in_addr> target = ResolveTarget(address);
  if (!target) return 0;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseTableError<EqdWinsockException>(GeneralStrings(), gsWinsockCannotCreateSocket);
  connectFd_ = fd;
  try {
    if (int err = Window().AsyncSelect(fd, FD_CONNECT); err != 0) RaiseWinsock(err);
    connecting_ = true;
    connectFailed_ = false;
    sockaddr_in sa = SocketAddress(*target, Endpoints.StreamPort);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS)
      connectFailed_ = true;
    TqdTimer wait;
    StartTimer(wait, kConnectWaitMs);
    // A refused connection ends the wait at once rather than after 5 s.
    while (connecting_ && !connectFailed_ && !TimerExpired(wait))
      Breathe(std::min(TimerRemaining(wait), kBreatheSliceMs));
    if (connecting_ || connectFailed_) {
      connecting_ = false;
      CloseSocket(Window(), connectFd_);
      return 0;
    }
    // Each part goes out in one send, so holding small segments back
    // (Nagle) could only delay a part; it is switched off.
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    auto* connection = new TqdWinsockConnection(*this, fd, address, &unsentTotal_);
    connectFd_ = -1;
    AddConnection(connection);
    if (int err = Window().AsyncSelect(fd, FD_READ | FD_WRITE | FD_CLOSE); err != 0) {
      RemoveConnection(connection->Handle());
      RaiseWinsock(err);
    }
    return connection->Handle();
  } catch (...) {
    connecting_ = false;
    CloseSocket(Window(), connectFd_);
    throw;
  }
}

void TqdWinsockProtocol::Accept() {
  for (;;) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      BackOffAccepting(listenFd_, errno);
      return;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto* connection = new TqdWinsockConnection(*this, fd, AddressTextOf(peer.sin_addr), &unsentTotal_);
    AddConnection(connection);
    if (Window().AsyncSelect(fd, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
      RemoveConnection(connection->Handle());
      continue;
    }
    FireConnectionAdded(connection->Handle());
  }
}

bool TqdWinsockProtocol::Flush(TqdWinsockConnection* c) {
  while (c->Fd >= 0 && !c->Unsent.Empty()) {
    std::span<const uint8_t> next = c->Unsent.Front();
    ssize_t n = send(c->Fd, next.data(), next.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      Window().ReenableWrite(c->Fd);
      return true;
    }
    if (n < 0) {
      HangUp(c->Handle());
      return false;
    }
    c->Unsent.Consume(static_cast<size_t>(n));
  }
  return c->Fd >= 0;
}

size_t TqdWinsockProtocol::UnsentBytes(TqdConnectionHandle handle) {
  auto* c = static_cast<TqdWinsockConnection*>(FindConnection(handle));
  return c == nullptr ? 0 : c->Unsent.Bytes();
}

void TqdWinsockProtocol::SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) {
  auto* c = static_cast<TqdWinsockConnection*>(FindConnection(handle));
  if (c == nullptr || c->Fd < 0 || size > c->SendBuffer.size()) return;
  TqdConnectionUse use(*this, c);
  uint8_t* copy = c->SendBuffer.data();
  if (size > 0) std::memcpy(copy, data, size);  // an empty send may come without a buffer
  KeyFor(c).ScramblePart(copy, size);
  size_t sent = 0;
  if (c->Unsent.Empty()) {
    ssize_t n = send(c->Fd, copy, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      // A server goes on serving its other clients whatever one of them
      // does; a client's caller hears of the failure.
      int err = errno;
      HangUp(handle);
      if (mode_ == kCallingMode) RaiseWinsock(err);
      return;
    }
    sent = n > 0 ? static_cast<size_t>(n) : 0;
    if (sent == size) return;
  }
  c->Unsent.Push(copy + sent, size - sent);
  if (c->Unsent.Bytes() > kMaxUnsentBytes) {
    HangUp(handle);  // the peer has stopped reading
    return;
  }
  Window().ReenableWrite(c->Fd);
  if (mode_ != kCallingMode || c->SendWaiting) return;
  // The client waits for its part to leave, handling what arrives meanwhile;
  // a connection that closes or fails meanwhile ends the wait, and so does a
  // socket that takes nothing for the stall limit.
  c->SendWaiting = true;
  struct EndWait {
    bool& waiting;
    ~EndWait() { waiting = false; }  // also when a handler raises meanwhile
  } endWait{c->SendWaiting};
  TqdTimer stall;
  StartTimer(stall, SendStallLimitMs);
  size_t left = c->Unsent.Bytes();
  while (c->Fd >= 0 && !c->Unsent.Empty()) {
    if (TimerExpired(stall)) {
      HangUp(handle);
      RaiseWinsock(ETIMEDOUT);
    }
    Breathe(std::min(TimerRemaining(stall), kBreatheSliceMs));
    if (c->Unsent.Bytes() < left) {
      left = c->Unsent.Bytes();
      StartTimer(stall, SendStallLimitMs);
    }
  }
  if (c->Fd < 0) RaiseWinsock(ECONNRESET);
}

bool TqdWinsockProtocol::DeliverBuffered(TqdWinsockConnection* c) {
  TqdConnectionHandle handle = c->Handle();
  while (c->Fd >= 0 && !c->ReceivePaused) {
    TqdStreamFramer::Item item = c->Framer.Next();
    if (item.kind == TqdStreamFramer::Kind::None) break;
    if (item.kind == TqdStreamFramer::Kind::Broken) {
      HangUp(handle);  // a part that cannot be framed: the stream is lost
      return false;
    }
    HandleReceivedMessage(handle, item.data, item.size);
  }
  return c->Fd >= 0;
}

void TqdWinsockProtocol::ReadStream(TqdWinsockConnection* c) {
  TqdConnectionUse use(*this, c);
  TqdConnectionHandle handle = c->Handle();
  // What was received earlier goes first; a paused connection keeps the
  // rest in its buffer and in its socket.
  for (int i = 0; DeliverBuffered(c) && !c->ReceivePaused && i < kReadsPerEvent; ++i) {
    uint8_t* space = c->Framer.Space();
    size_t room = c->Framer.SpaceSize();
    ssize_t n = recv(c->Fd, space, room, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {  // the peer closed, or the connection failed
      HangUp(handle);
      return;
    }
    c->Framer.Filled(static_cast<size_t>(n));
    if (static_cast<size_t>(n) < room) {  // drained
      DeliverBuffered(c);
      return;
    }
  }
}

void TqdWinsockProtocol::ReceivePausedChanged(TqdConnection& connection) {
  auto& c = static_cast<TqdWinsockConnection&>(connection);
  if (c.Fd < 0) return;
  // While paused the socket is watched for its closing and for room to
  // send, not for data, so that waiting data does not wake us for nothing.
  uint16_t events = FD_WRITE | FD_CLOSE | (c.ReceivePaused ? 0 : FD_READ);
  if (Window().AsyncSelect(c.Fd, events) != 0) {
    HangUp(c.Handle());
    return;
  }
  // Parts already in the buffer are not announced by the socket again.
  if (!c.ReceivePaused) Window().Post(kResumeReceiveMessage, c.Handle(), 0);
}

void TqdWinsockProtocol::SocketEvent(int fd, uint16_t event, uint16_t error) {
  if (fd == connectFd_ && connectFd_ >= 0) {
    if (event == FD_CONNECT && error == 0) connecting_ = false;
    if (event == FD_CONNECT && error != 0) connectFailed_ = true;
    return;
  }
  if (fd == listenFd_ && listenFd_ >= 0) {
    Accept();
    return;
  }
  if (fd == discoveryFd_ && discoveryFd_ >= 0) {
    ReadDatagrams();
    return;
  }
  TqdWinsockConnection* c = ConnectionOfFd<TqdWinsockConnection>(fd);
  if (c == nullptr) return;  // a socket of no listed connection: nothing to do
  if (error != 0) {
    HangUp(c->Handle());
    return;
  }
  switch (event) {
    case FD_READ: ReadStream(c); break;
    case FD_WRITE: Flush(c); break;
    case FD_CLOSE: {
      TqdConnectionHandle handle = c->Handle();
      ReadStream(c);  // what arrived before the close is still delivered
      HangUp(handle);
      break;
    }
    default: break;
  }
}

intptr_t TqdWinsockProtocol::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg == kResumeReceiveMessage) {
    auto* c = static_cast<TqdWinsockConnection*>(FindConnection(static_cast<TqdConnectionHandle>(wParam)));
    if (c != nullptr && !c->ReceivePaused) ReadStream(c);
    return 0;
  }
  if (msg != kSocketEventMessage) return TqdBaseCommsProtocol::WindowProc(msg, wParam, lParam);
  SocketEvent(static_cast<int>(wParam), SelectEvent(lParam), SelectError(lParam));
  return 0;
}

TqdTCPIPProtocol::TqdTCPIPProtocol(std::string_view name, uint8_t mode) : TqdWinsockProtocol(name, mode) {
  if (mode == kCallingMode) Endpoints = GetClientEndpoints();
  SetLocalAddress(AddressText(LocalIPv4()));
}

std::optional<in_addr> TqdTCPIPProtocol::ResolveTarget(std::string_view address) {
  return ResolveIPv4(address.empty() ? std::string_view(Endpoints.BroadcastAddress) : address);
}

std::string TqdTCPIPProtocol::AddressTextOf(in_addr address) { return AddressText(address); }

}  // namespace qd
