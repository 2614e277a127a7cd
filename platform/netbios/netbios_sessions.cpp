// The session half of the NetBIOS emulation: calls (a TCP connection to the
// answering node's session port, then the session request), listens,
// message framing in both directions, receives that keep message
// boundaries (a receive buffer too small takes the first part with code 6,
// the next receive the rest), and closing.
// Thread rules: as netbios_engine.h (every function runs under mutex_).
#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/inet_address.h"
#include "platform/netbios/netbios_engine.h"

namespace qd {
namespace {

constexpr uint64_t kSessionKind = 6;  // the tag of a session's descriptor (netbios_engine.cpp)
constexpr size_t kReadChunk = 65536;

uint64_t SessionTag(size_t lana, uint8_t lsn) { return (kSessionKind << 40) | (lana << 16) | lsn; }

std::vector<uint8_t> Packet(uint8_t type, const uint8_t* body, size_t size) {
  std::vector<uint8_t> bytes(kSessionHeaderSize + size);
  EncodeSessionHeader(type, static_cast<uint32_t>(size), bytes.data());
  if (size > 0) std::memcpy(bytes.data() + kSessionHeaderSize, body, size);
  return bytes;
}

}  // namespace

uint8_t TqdNetBIOSEngine::FreeLsn(Lana& lana) {
  // Numbers go round rather than the lowest free one coming back at once,
  // so that a late command for an ended session finds no other session.
  for (unsigned i = 0; i < 254; ++i) {
    lana.LastLsn = static_cast<uint8_t>(lana.LastLsn % 254 + 1);
    if (lana.Sessions.count(lana.LastLsn) == 0) return lana.LastLsn;
  }
  return 0;
}

void TqdNetBIOSEngine::OpenSession(Lana& lana, int fd, Session session) {
  uint8_t lsn = FreeLsn(lana);
  if (lsn == 0) {
    close(fd);
    if (session.Call != nullptr) Complete(session.Call, NRC_LOCTFUL);
    return;
  }
  session.Fd = fd;
  lana.Sessions[lsn] = std::move(session);
  epoll_event e{EPOLLIN, {.u64 = SessionTag(static_cast<size_t>(&lana - lanas_.data()), lsn)}};
  epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
  Watch(lana, lsn);
}

void TqdNetBIOSEngine::Watch(Lana& lana, uint8_t lsn) {
  auto it = lana.Sessions.find(lsn);
  if (it == lana.Sessions.end()) return;
  Session& s = it->second;
  // A message nobody has asked for stays in the socket until a receive
  // comes: the peer's sends then wait, as on a real session.
  bool full = s.State == SessionState::Open && !s.Inbox.empty() && s.Receives.empty();
  uint32_t events = full ? 0u : uint32_t{EPOLLIN};
  if (s.State == SessionState::Connecting || !s.Sends.empty()) events |= EPOLLOUT;
  epoll_event e{events, {.u64 = SessionTag(static_cast<size_t>(&lana - lanas_.data()), lsn)}};
  epoll_ctl(epoll_, EPOLL_CTL_MOD, s.Fd, &e);
}

void TqdNetBIOSEngine::StartCall(NCB* ncb, Lana& lana, uint32_t address) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in to = SocketAddress(in_addr{address}, config_.SessionPort);
  if (fd < 0 || (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
    if (fd >= 0) close(fd);
    Complete(ncb, NRC_NOCALL);
    return;
  }
  Session s;
  s.State = SessionState::Connecting;
  std::memcpy(s.Local.data(), ncb->ncb_name, NCBNAMSZ);
  std::memcpy(s.Remote.data(), ncb->ncb_callname, NCBNAMSZ);
  s.Call = ncb;
  OpenSession(lana, fd, std::move(s));
}

uint8_t TqdNetBIOSEngine::StartListen(NCB* ncb, Lana& lana) {
  TqdNetBIOSName name;
  std::memcpy(name.data(), ncb->ncb_name, NCBNAMSZ);
  if (std::none_of(lana.Names.begin(), lana.Names.end(), [&](const auto& n) { return n.second == name; }))
    return NRC_NOWILD;
  if (lana.ListenFd < 0) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    sockaddr_in at = SocketAddress(lana.Address, config_.SessionPort);
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(fd, 64) != 0) {
      if (fd >= 0) close(fd);
      return NRC_NORES;
    }
    constexpr uint64_t kListenKind = 5;
    epoll_event e{EPOLLIN, {.u64 = (kListenKind << 40) | (static_cast<uint64_t>(&lana - lanas_.data()) << 16)}};
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
    lana.ListenFd = fd;
  }
  lana.Listens.push_back(ncb);
  return NRC_GOODRET;
}

void TqdNetBIOSEngine::Accept(Lana& lana) {
  for (;;) {
    int fd = accept4(lana.ListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    Session s;
    s.State = SessionState::AwaitingRequest;
    OpenSession(lana, fd, std::move(s));
  }
}

uint8_t TqdNetBIOSEngine::StartTransfer(NCB* ncb, Lana& lana) {
  auto it = lana.Sessions.find(ncb->ncb_lsn);
  if (it == lana.Sessions.end() || it->second.State != SessionState::Open) return NRC_SNUMOUT;
  Session& s = it->second;
  if ((ncb->ncb_command & ~kAsynch) == NCBRECV) {
    s.Receives.push_back(ncb);
    // Messages already read are taken first; then the socket.
    ReadSession(lana, ncb->ncb_lsn);
    return NRC_GOODRET;
  }
  if (ncb->ncb_length > kMaxSessionLength) return NRC_BUFLEN;
  s.Sends.emplace_back(ncb, Packet(kSessionMessage, ncb->ncb_buffer, ncb->ncb_length));
  if (s.Sends.size() == 1) Flush(lana, ncb->ncb_lsn);
  return NRC_GOODRET;
}

void TqdNetBIOSEngine::DeliverMessages(Session& s) {
  while (!s.Receives.empty() && !s.Inbox.empty()) {
    NCB* r = s.Receives.front();
    s.Receives.pop_front();
    std::vector<uint8_t>& message = s.Inbox.front();
    size_t size = std::min<size_t>(message.size(), r->ncb_length);
    if (size > 0) std::memcpy(r->ncb_buffer, message.data(), size);
    r->ncb_length = static_cast<uint16_t>(size);
    bool whole = size == message.size();
    if (whole)
      s.Inbox.pop_front();
    else
      message.erase(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(size));
    Complete(r, whole ? NRC_GOODRET : NRC_INCOMP);
  }
}

bool TqdNetBIOSEngine::Flush(Lana& lana, uint8_t lsn) {
  Session& s = lana.Sessions.at(lsn);
  while (!s.Sends.empty()) {
    auto& [ncb, bytes] = s.Sends.front();
    ssize_t n = send(s.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
    if (n < 0) {
      CloseSession(lana, lsn, NRC_SABORT);
      return false;
    }
    bytes.erase(bytes.begin(), bytes.begin() + n);
    if (!bytes.empty()) break;
    if (ncb != nullptr) Complete(ncb, NRC_GOODRET);
    s.Sends.pop_front();
  }
  Watch(lana, lsn);
  return true;
}

void TqdNetBIOSEngine::SessionEvent(Lana& lana, uint8_t lsn, uint32_t events) {
  auto it = lana.Sessions.find(lsn);
  if (it == lana.Sessions.end()) return;
  Session& s = it->second;
  if (s.State == SessionState::Connecting) {
    int error = 0;
    socklen_t len = sizeof error;
    getsockopt(s.Fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0 || (events & (EPOLLERR | EPOLLHUP)) != 0) {
      CloseSession(lana, lsn, NRC_NOCALL);
      return;
    }
    s.State = SessionState::AwaitingAnswer;
    s.Sends.emplace_back(nullptr, EncodeSessionRequest(s.Remote, s.Local));
    Flush(lana, lsn);
    return;
  }
  if ((events & EPOLLOUT) != 0 && !Flush(lana, lsn)) return;
  if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) ReadSession(lana, lsn);
}

void TqdNetBIOSEngine::ReadSession(Lana& lana, uint8_t lsn) {
  for (;;) {
    auto it = lana.Sessions.find(lsn);
    if (it == lana.Sessions.end()) return;
    Session& s = it->second;
    DeliverMessages(s);
    if (s.State == SessionState::Open && !s.Inbox.empty() && s.Receives.empty()) break;
    // Whole packets already read go first.
    auto header = DecodeSessionHeader(s.Input);
    if (s.Input.size() >= kSessionHeaderSize && !header) {
      CloseSession(lana, lsn, NRC_SABORT);  // the stream is lost
      return;
    }
    if (header && s.Input.size() >= kSessionHeaderSize + header->Length) {
      std::vector<uint8_t> body(s.Input.begin() + kSessionHeaderSize,
                                s.Input.begin() + static_cast<std::ptrdiff_t>(kSessionHeaderSize + header->Length));
      s.Input.erase(s.Input.begin(), s.Input.begin() + static_cast<std::ptrdiff_t>(kSessionHeaderSize + header->Length));
      PacketArrived(lana, lsn, header->Type, std::move(body));
      continue;
    }
    size_t had = s.Input.size();
    s.Input.resize(had + kReadChunk);
    ssize_t n = recv(s.Fd, s.Input.data() + had, kReadChunk, MSG_DONTWAIT);
    s.Input.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
    if (n <= 0) {
      CloseSession(lana, lsn, s.State == SessionState::Open ? NRC_SCLOSED : NRC_NOCALL);
      return;
    }
  }
  Watch(lana, lsn);
}

void TqdNetBIOSEngine::PacketArrived(Lana& lana, uint8_t lsn, uint8_t type, std::vector<uint8_t> body) {
  Session& s = lana.Sessions.at(lsn);
  if (type == kSessionKeepAlive) return;
  if (s.State == SessionState::Open && type == kSessionMessage) {
    s.Inbox.push_back(std::move(body));
    DeliverMessages(s);
    return;
  }
  if (s.State == SessionState::AwaitingAnswer && type == kSessionAccepted) {
    s.State = SessionState::Open;
    s.Call->ncb_lsn = lsn;
    Complete(s.Call, NRC_GOODRET);
    s.Call = nullptr;
    return;
  }
  if (s.State == SessionState::AwaitingRequest && type == kSessionRequest) {
    std::optional<TqdSessionNames> names = DecodeSessionRequestBody(body);
    auto listen = !names ? lana.Listens.end()
                         : std::find_if(lana.Listens.begin(), lana.Listens.end(), [&](NCB* l) {
                             return std::memcmp(l->ncb_name, names->Called.data(), NCBNAMSZ) == 0 &&
                                    (l->ncb_callname[0] == '*' ||
                                     std::memcmp(l->ncb_callname, names->Calling.data(), NCBNAMSZ) == 0);
                           });
    if (listen == lana.Listens.end()) {
      uint8_t reason = kSessionCalledNameNotPresent;
      s.Sends.emplace_back(nullptr, Packet(kSessionRefused, &reason, 1));
      if (Flush(lana, lsn)) CloseSession(lana, lsn, NRC_SCLOSED);
      return;
    }
    NCB* l = *listen;
    lana.Listens.erase(listen);
    s.Local = names->Called;
    s.Remote = names->Calling;
    s.State = SessionState::Open;
    l->ncb_lsn = lsn;
    std::memcpy(l->ncb_callname, names->Calling.data(), NCBNAMSZ);
    s.Sends.emplace_back(nullptr, Packet(kSessionAccepted, nullptr, 0));
    if (Flush(lana, lsn)) Complete(l, NRC_GOODRET);
    return;
  }
  // Anything else (a refusal, a packet out of turn) ends the session.
  CloseSession(lana, lsn, s.State == SessionState::AwaitingAnswer ? NRC_NOCALL : NRC_SABORT);
}

void TqdNetBIOSEngine::CloseSession(Lana& lana, uint8_t lsn, uint8_t code) {
  auto it = lana.Sessions.find(lsn);
  if (it == lana.Sessions.end()) return;
  Session s = std::move(it->second);
  lana.Sessions.erase(it);
  epoll_ctl(epoll_, EPOLL_CTL_DEL, s.Fd, nullptr);
  close(s.Fd);
  if (s.Call != nullptr) Complete(s.Call, code == NRC_CMDCAN ? NRC_CMDCAN : NRC_NOCALL);
  for (NCB* r : s.Receives) Complete(r, code);
  for (auto& send : s.Sends)
    if (send.first != nullptr) Complete(send.first, code);
}

uint8_t TqdNetBIOSEngine::HangUp(Lana& lana, uint8_t lsn) {
  if (lana.Sessions.count(lsn) == 0) return NRC_SNUMOUT;
  CloseSession(lana, lsn, NRC_SCLOSED);
  return NRC_GOODRET;
}

}  // namespace qd
