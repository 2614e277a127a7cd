#include "platform/netbios/netbios_engine.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/inet_address.h"

namespace qd {
namespace {

enum Kind : uint64_t { kWake = 1, kName, kRequest, kDatagram, kListen, kSession };
constexpr size_t kMaxDatagramData = 512;

uint64_t Tag(Kind kind, size_t lana, uint8_t lsn = 0) { return (uint64_t{kind} << 40) | (lana << 16) | lsn; }

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

in_addr HostAddress() {
  in_addr address{htonl(INADDR_LOOPBACK)};
  char host[256] = {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (gethostname(host, sizeof host - 1) == 0 && getaddrinfo(host, nullptr, &hints, &found) == 0 && found) {
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  return address;
}

// A non-blocking UDP socket that may broadcast, bound to `address`:`port`;
// a shared port is bound with SO_REUSEADDR so that every process of the
// host gets the broadcasts. -1 on failure.
int OpenUdp(in_addr address, uint16_t port, bool shared) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  sockaddr_in sa = SocketAddress(address, port);
  if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
      (shared && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) ||
      bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

bool IsPending(const NCB* ncb) { return ncb->ncb_cmd_cplt.load() == NRC_PENDING; }

template <class Container>
bool Withdraw(Container& ncbs, NCB* target) {
  auto it = std::find(ncbs.begin(), ncbs.end(), target);
  if (it == ncbs.end()) return false;
  ncbs.erase(it);
  return true;
}

}  // namespace

TqdNetBIOSEngine::TqdNetBIOSEngine(const TqdNetBIOSConfig& config) : config_(config) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event wake{EPOLLIN, {.u64 = Tag(kWake, 0)}};
  epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake);
  std::vector<in_addr> addresses;
  for (const std::string& text : config_.Interfaces) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) == 1) addresses.push_back(a);
  }
  if (config_.Interfaces.empty()) addresses.push_back(HostAddress());
  in_addr any{htonl(INADDR_ANY)};
  for (in_addr address : addresses) {
    Lana lana;
    lana.Address = address;
    lana.NameFd = OpenUdp(any, config_.NamePort, true);
    lana.RequestFd = OpenUdp(address, 0, false);
    lana.DatagramFd = OpenUdp(any, config_.DatagramPort, true);
    if (lana.NameFd < 0 || lana.RequestFd < 0 || lana.DatagramFd < 0) {
      for (int fd : {lana.NameFd, lana.RequestFd, lana.DatagramFd})
        if (fd >= 0) close(fd);
      continue;  // an adapter that cannot be used is not listed
    }
    size_t index = lanas_.size();
    for (auto [fd, kind] : {std::pair{lana.NameFd, kName}, {lana.RequestFd, kRequest}, {lana.DatagramFd, kDatagram}}) {
      epoll_event e{EPOLLIN, {.u64 = Tag(kind, index)}};
      epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);
    }
    lanas_.push_back(std::move(lana));
  }
  thread_ = std::thread([this] { Run(); });
}

TqdNetBIOSEngine::~TqdNetBIOSEngine() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const NameWait& w : waits_) Complete(w.Ncb, NRC_CMDCAN);
    waits_.clear();
    for (size_t i = 0; i < lanas_.size(); ++i) {
      Lana& lana = lanas_[i];
      while (!lana.Sessions.empty()) CloseSession(lana, lana.Sessions.begin()->first, NRC_CMDCAN);
      for (NCB* n : lana.Listens) Complete(n, NRC_CMDCAN);
      for (NCB* n : lana.DatagramReceives) Complete(n, NRC_CMDCAN);
      for (int fd : {lana.NameFd, lana.RequestFd, lana.DatagramFd, lana.ListenFd})
        if (fd >= 0) close(fd);
    }
  }
  Wake();
  thread_.join();
  close(epoll_);
  close(wake_);
}

TqdNetBIOSEngine::Lana* TqdNetBIOSEngine::LanaOf(uint8_t number) {
  return number < lanas_.size() ? &lanas_[number] : nullptr;
}

void TqdNetBIOSEngine::Wake() {
  uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
}

void TqdNetBIOSEngine::Complete(NCB* ncb, uint8_t code) {
  ncb->ncb_retcode = code;  // read by the post routine; ncb_cmd_cplt is set after it
  done_.push_back(ncb);
  Wake();
}

uint8_t TqdNetBIOSEngine::Submit(NCB* ncb) {
  uint8_t command = ncb->ncb_command & ~kAsynch;
  bool async = (ncb->ncb_command & kAsynch) != 0;
  std::unique_lock lock(mutex_);
  Lana* lana = LanaOf(ncb->ncb_lana_num);
  uint8_t code = NRC_GOODRET;
  switch (command) {
    case kPresenceTest: code = lana != nullptr ? NRC_ILLCMD : NRC_BRIDGE; break;
    case NCBRESET: code = lana != nullptr ? NRC_GOODRET : NRC_BRIDGE; break;
    case NCBCANCEL: code = Cancel(reinterpret_cast<NCB*>(ncb->ncb_buffer)); break;
    case NCBHANGUP: code = lana != nullptr ? HangUp(*lana, ncb->ncb_lsn) : NRC_BRIDGE; break;
    case NCBENUM:
      if (ncb->ncb_buffer == nullptr || ncb->ncb_length < lanas_.size() + 1) {
        code = NRC_BUFLEN;
        break;
      }
      ncb->ncb_buffer[0] = static_cast<uint8_t>(lanas_.size());
      for (size_t i = 0; i < lanas_.size(); ++i) ncb->ncb_buffer[i + 1] = static_cast<uint8_t>(i);
      break;
    default: {
      if (lana == nullptr) {
        code = NRC_BRIDGE;
        break;
      }
      ncb->ncb_retcode = NRC_PENDING;
      ncb->ncb_cmd_cplt = NRC_PENDING;
      code = Start(ncb, *lana);
      if (code != NRC_GOODRET || async) {
        if (code != NRC_GOODRET) ncb->ncb_cmd_cplt = ncb->ncb_retcode = code;
        return code;
      }
      // The synchronous form of a network command waits for its completion.
      done_cv_.wait(lock, [ncb] { return !IsPending(ncb); });
      return ncb->ncb_retcode;
    }
  }
  ncb->ncb_retcode = code;
  ncb->ncb_cmd_cplt = code;
  return code;
}

uint8_t TqdNetBIOSEngine::Start(NCB* ncb, Lana& lana) {
  switch (ncb->ncb_command & ~kAsynch) {
    case NCBADDNAME: AddName(ncb, lana); return NRC_GOODRET;
    case NCBDELNAME: {
      auto it = std::find_if(lana.Names.begin(), lana.Names.end(),
                             [&](const auto& n) { return std::memcmp(n.second.data(), ncb->ncb_name, NCBNAMSZ) == 0; });
      if (it == lana.Names.end()) return NRC_NOWILD;
      lana.Names.erase(it);
      Complete(ncb, NRC_GOODRET);
      return NRC_GOODRET;
    }
    case NCBCALL: {
      TqdNamePacket query{nextId_++, TqdNameOp::Query, {}, 0};
      std::memcpy(query.Name.data(), ncb->ncb_callname, NCBNAMSZ);
      waits_.push_back({ncb, query.Id, NowMs() + static_cast<uint64_t>(config_.NameWaitMs)});
      in_addr everyone{};
      inet_pton(AF_INET, config_.BroadcastAddress.c_str(), &everyone);
      SendName(lana, query, lana.RequestFd, SocketAddress(everyone, config_.NamePort));
      return NRC_GOODRET;
    }
    case NCBLISTEN: return StartListen(ncb, lana);
    case NCBSEND:
    case NCBRECV: return StartTransfer(ncb, lana);
    case NCBDGSEND:
    case NCBDGSENDBC: SendDatagram(ncb, lana); return NRC_GOODRET;
    case NCBDGRECV:
    case NCBDGRECVBC: lana.DatagramReceives.push_back(ncb); return NRC_GOODRET;
    default: return NRC_ILLCMD;
  }
}

uint8_t TqdNetBIOSEngine::Cancel(NCB* target) {
  if (target == nullptr) return NRC_CANOCCR;
  auto wait = std::find_if(waits_.begin(), waits_.end(), [target](const NameWait& w) { return w.Ncb == target; });
  bool found = wait != waits_.end();
  if (found) waits_.erase(wait);
  for (Lana& lana : lanas_) {
    found = found || Withdraw(lana.Listens, target) || Withdraw(lana.DatagramReceives, target);
    for (auto it = lana.Sessions.begin(); !found && it != lana.Sessions.end(); ++it) {
      Session& s = it->second;
      if (s.Call == target) {
        s.Call = nullptr;
        found = true;
        CloseSession(lana, it->first, NRC_SABORT);  // a session that never opened
        break;
      }
      found = Withdraw(s.Receives, target);
      auto send = std::find_if(s.Sends.begin(), s.Sends.end(), [target](const auto& p) { return p.first == target; });
      if (!found && send != s.Sends.end()) {
        // Half a message cannot be taken back: the session cannot go on.
        found = true;
        bool begun = send == s.Sends.begin();
        s.Sends.erase(send);
        if (begun) {
          CloseSession(lana, it->first, NRC_SABORT);
          break;
        }
      }
    }
  }
  if (!found) return NRC_CANOCCR;
  Complete(target, NRC_CMDCAN);
  return NRC_GOODRET;
}

void TqdNetBIOSEngine::AddName(NCB* ncb, Lana& lana) {
  TqdNamePacket registration{nextId_++, TqdNameOp::Registration, {}, lana.Address.s_addr};
  std::memcpy(registration.Name.data(), ncb->ncb_name, NCBNAMSZ);
  bool known = std::any_of(lana.Names.begin(), lana.Names.end(), [&](const auto& n) { return n.second == registration.Name; }) ||
               std::any_of(waits_.begin(), waits_.end(), [&](const NameWait& w) {
                 return (w.Ncb->ncb_command & ~kAsynch) == NCBADDNAME && w.Ncb->ncb_lana_num == ncb->ncb_lana_num &&
                        std::memcmp(w.Ncb->ncb_name, ncb->ncb_name, NCBNAMSZ) == 0;
               });
  if (known) {
    Complete(ncb, NRC_DUPNAME);
    return;
  }
  if (lana.Names.size() >= 254) {
    Complete(ncb, NRC_NAMTFUL);
    return;
  }
  // Silence until the deadline means nobody else owns the name.
  waits_.push_back({ncb, registration.Id, NowMs() + static_cast<uint64_t>(config_.NameWaitMs)});
  in_addr everyone{};
  inet_pton(AF_INET, config_.BroadcastAddress.c_str(), &everyone);
  SendName(lana, registration, lana.RequestFd, SocketAddress(everyone, config_.NamePort));
}

void TqdNetBIOSEngine::SendName(Lana&, const TqdNamePacket& packet, int fd, const sockaddr_in& to) {
  std::vector<uint8_t> bytes = EncodeNamePacket(packet);
  sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void TqdNetBIOSEngine::ExpireWaits(uint64_t now) {
  for (size_t i = 0; i < waits_.size();) {
    if (waits_[i].Deadline > now) {
      ++i;
      continue;
    }
    NCB* ncb = waits_[i].Ncb;
    waits_.erase(waits_.begin() + static_cast<std::ptrdiff_t>(i));
    if ((ncb->ncb_command & ~kAsynch) != NCBADDNAME) {
      Complete(ncb, NRC_NOCALL);  // nobody answered the lookup
      continue;
    }
    Lana& lana = lanas_[ncb->ncb_lana_num];
    uint8_t number = 1;
    while (lana.Names.count(number) != 0) ++number;
    std::memcpy(lana.Names[number].data(), ncb->ncb_name, NCBNAMSZ);
    ncb->ncb_num = number;
    Complete(ncb, NRC_GOODRET);
  }
}

void TqdNetBIOSEngine::ReadNames(Lana& lana, int fd) {
  uint8_t buffer[576];
  for (;;) {
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd, buffer, sizeof buffer, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    std::optional<TqdNamePacket> p = DecodeNamePacket({buffer, static_cast<size_t>(n)});
    if (!p) continue;
    if (fd == lana.RequestFd) {
      Answered(lana, *p);
      continue;
    }
    bool owned = std::any_of(lana.Names.begin(), lana.Names.end(), [&](const auto& x) { return x.second == p->Name; });
    if (!owned) continue;
    if (p->Op == TqdNameOp::Registration)
      SendName(lana, {p->Id, TqdNameOp::RegistrationRefused, p->Name, lana.Address.s_addr}, lana.NameFd, from);
    if (p->Op == TqdNameOp::Query)
      SendName(lana, {p->Id, TqdNameOp::QueryAnswer, p->Name, lana.Address.s_addr}, lana.NameFd, from);
  }
}

void TqdNetBIOSEngine::Answered(Lana& lana, const TqdNamePacket& answer) {
  auto wait = std::find_if(waits_.begin(), waits_.end(), [&](const NameWait& w) { return w.Id == answer.Id; });
  if (wait == waits_.end()) return;
  NCB* ncb = wait->Ncb;
  bool registering = (ncb->ncb_command & ~kAsynch) == NCBADDNAME;
  if (registering != (answer.Op == TqdNameOp::RegistrationRefused)) return;
  waits_.erase(wait);
  if (registering)
    Complete(ncb, NRC_DUPNAME);
  else
    StartCall(ncb, lana, answer.Address);
}

void TqdNetBIOSEngine::SendDatagram(NCB* ncb, Lana& lana) {
  auto source = lana.Names.find(ncb->ncb_num);
  if (source == lana.Names.end() || ncb->ncb_length > kMaxDatagramData) {
    Complete(ncb, source == lana.Names.end() ? NRC_NOWILD : NRC_BUFLEN);
    return;
  }
  TqdDatagramPacket p;
  bool broadcast = (ncb->ncb_command & ~kAsynch) == NCBDGSENDBC;
  p.Type = broadcast ? kBroadcastDatagram : kDirectUniqueDatagram;
  p.Id = nextId_++;
  p.SourceAddress = lana.Address.s_addr;
  p.SourcePort = config_.DatagramPort;
  p.Source = source->second;
  if (broadcast)
    p.Destination = BroadcastDatagramName();
  else
    std::memcpy(p.Destination.data(), ncb->ncb_callname, NCBNAMSZ);
  if (ncb->ncb_length > 0) p.Data.assign(ncb->ncb_buffer, ncb->ncb_buffer + ncb->ncb_length);
  std::vector<uint8_t> bytes = EncodeDatagramPacket(p);
  in_addr everyone{};
  inet_pton(AF_INET, config_.BroadcastAddress.c_str(), &everyone);
  sockaddr_in to = SocketAddress(everyone, config_.DatagramPort);
  ssize_t n = sendto(lana.DatagramFd, bytes.data(), bytes.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to);
  Complete(ncb, n < 0 ? NRC_NORES : NRC_GOODRET);
}

void TqdNetBIOSEngine::ReadDatagrams(Lana& lana) {
  uint8_t buffer[2048];
  for (;;) {
    ssize_t n = recv(lana.DatagramFd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return;
    std::optional<TqdDatagramPacket> p = DecodeDatagramPacket({buffer, static_cast<size_t>(n)});
    if (!p) continue;
    bool broadcast = p->Type == kBroadcastDatagram;
    auto owner = std::find_if(lana.Names.begin(), lana.Names.end(), [&](const auto& x) { return x.second == p->Destination; });
    if (!broadcast && owner == lana.Names.end()) continue;  // for another node
    // Every broadcast receive gets a broadcast; one receive a directed datagram.
    for (auto it = lana.DatagramReceives.begin(); it != lana.DatagramReceives.end();) {
      NCB* r = *it;
      bool wantsBroadcast = (r->ncb_command & ~kAsynch) == NCBDGRECVBC;
      bool takes = broadcast ? wantsBroadcast
                             : !wantsBroadcast && (r->ncb_num == 0xFF || r->ncb_num == owner->first);
      if (!takes) {
        ++it;
        continue;
      }
      size_t size = std::min<size_t>(p->Data.size(), r->ncb_length);
      if (size > 0) std::memcpy(r->ncb_buffer, p->Data.data(), size);
      r->ncb_length = static_cast<uint16_t>(size);
      std::memcpy(r->ncb_callname, p->Source.data(), NCBNAMSZ);
      Complete(r, size < p->Data.size() ? NRC_INCOMP : NRC_GOODRET);
      it = lana.DatagramReceives.erase(it);
      if (!broadcast) break;
    }
  }
}

void TqdNetBIOSEngine::Run() {
  for (;;) {
    int timeout = 1000;
    {
      std::lock_guard lock(mutex_);
      uint64_t now = NowMs();
      for (const NameWait& w : waits_)
        timeout = std::min<int>(timeout, static_cast<int>(w.Deadline > now ? w.Deadline - now : 0));
    }
    epoll_event events[64];
    int n = epoll_wait(epoll_, events, 64, timeout);
    std::vector<NCB*> done;
    bool stop;
    {
      std::lock_guard lock(mutex_);
      for (int i = 0; i < n && !stopping_; ++i) {
        uint64_t tag = events[i].data.u64;
        auto kind = static_cast<Kind>(tag >> 40);
        size_t index = (tag >> 16) & 0xFFFF;
        if (kind == kWake) {
          uint64_t count;
          (void)!read(wake_, &count, sizeof count);
          continue;
        }
        if (index >= lanas_.size()) continue;
        Lana& lana = lanas_[index];
        if (kind == kName) ReadNames(lana, lana.NameFd);
        if (kind == kRequest) ReadNames(lana, lana.RequestFd);
        if (kind == kDatagram) ReadDatagrams(lana);
        if (kind == kListen) Accept(lana);
        if (kind == kSession) SessionEvent(lana, static_cast<uint8_t>(tag & 0xFF), events[i].events);
      }
      if (!stopping_) ExpireWaits(NowMs());
      done.swap(done_);
      stop = stopping_;
    }
    Deliver(done);
    if (stop) return;
  }
}

void TqdNetBIOSEngine::Deliver(const std::vector<NCB*>& done) {
  for (NCB* ncb : done) {
    uint8_t code = ncb->ncb_retcode;
    void (*post)(NCB*) = ncb->ncb_post;
    if (post != nullptr) post(ncb);
    // From here on the owner may free the NCB.
    ncb->ncb_cmd_cplt.store(code);
  }
  if (!done.empty()) {
    std::lock_guard lock(mutex_);
    done_cv_.notify_all();
  }
}

}  // namespace qd
