#include "comms/netbios_transport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "base/ticks.h"
#include "base/timer.h"
#include "comms/discovery.h"

namespace qd {
namespace {

constexpr uint8_t kAnyCaller[NCBNAMSZ] = {'*', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
constexpr int32_t kBreatheSliceMs = 20;

void PutName(uint8_t* field, std::string_view text) {
  std::memset(field, ' ', NCBNAMSZ);
  std::memcpy(field, text.data(), std::min<size_t>(text.size(), NCBNAMSZ));
}

// A name field as text: up to the first zero byte, trailing blanks dropped.
std::string NameText(const uint8_t* field) {
  size_t n = 0;
  while (n < NCBNAMSZ && field[n] != 0) ++n;
  while (n > 0 && field[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

bool Pending(const TqdNcb& ncb) { return ncb.Ncb.ncb_cmd_cplt.load() == NRC_PENDING; }

// "QDC_" and 11 letters from A to Z, from a generator of its own.
std::string ClientName() {
  std::mt19937 random(GetTickCount() ^ static_cast<uint32_t>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
  std::uniform_int_distribution<int> letter('A', 'Z');
  std::string name = "QDC_";
  for (int i = 0; i < 11; ++i) name += static_cast<char>(letter(random));
  return name;
}

}  // namespace

TqdNetBIOSConnection::TqdNetBIOSConnection(TqdBaseCommsProtocol& owner, std::string_view remoteName, uint8_t lana,
                                           uint8_t lsn)
    : TqdConnection(owner, remoteName), Lana(lana), Lsn(lsn) {}

TqdNetBIOSConnection::~TqdNetBIOSConnection() { Close(); }

void TqdNetBIOSConnection::Close() {
  auto& transport = static_cast<TqdNetBIOSProtocol&>(Owner);
  transport.FreeNcb(Receive);
  transport.FreeNcb(Send);
  Queued.clear();
  if (Lsn == 0 || Lsn == 255) return;
  NCB hangUp;
  hangUp.ncb_command = NCBHANGUP;
  hangUp.ncb_lana_num = Lana;
  hangUp.ncb_lsn = Lsn;
  Netbios(&hangUp);  // a session the peer already closed answers 8: nothing left to do
  Lsn = 0;
}

TqdNetBIOSProtocol::TqdNetBIOSProtocol(std::string_view name, uint8_t mode) : TqdBaseCommsProtocol(name, mode) {
  NCB presence;
  presence.ncb_command = kPresenceTest;
  // Without the platform's call every command answers 3 as well: only a
  // bound call that answers 3 or 35 means NetBIOS is there.
  uint8_t code = NetBIOSBound() ? Netbios(&presence) : NRC_PENDING;
  if (code != NRC_ILLCMD && code != NRC_BRIDGE)
    RaiseTableError<EqdNetBIOSException>(GeneralStrings(), gsNetBIOSDriverNotFound);
  maxMsgSize_ = kNetBIOSMaxMsgSize;
  needsPartAck_ = true;
  discoveryWait_ = 3000;
  CreateNotifyWindow();
  uint8_t list[256] = {};
  NCB enumerate;
  enumerate.ncb_command = NCBENUM;
  enumerate.ncb_buffer = list;
  enumerate.ncb_length = sizeof list;
  if (Netbios(&enumerate) == NRC_GOODRET) lanas_.assign(list + 1, list + 1 + list[0]);
  if (lanas_.empty()) lanas_.push_back(0);
  state_.resize(lanas_.size());
  for (uint8_t lana : lanas_) {
    NCB reset;
    reset.ncb_command = NCBRESET;
    reset.ncb_lana_num = lana;
    reset.ncb_lsn = 254;  // sessions
    reset.ncb_num = 254;  // names
    Netbios(&reset);
  }
  control_ = NewNcb(0, 0, true);
}

TqdNetBIOSProtocol::~TqdNetBIOSProtocol() {
  for (LanaState& s : state_) {
    for (TqdNcb*& n : s.Receive) FreeNcb(n);
    for (TqdNcb*& n : s.Send) FreeNcb(n);
    FreeNcb(s.Listen);
  }
  for (int i = ConnectionCount() - 1; i >= 0; --i)
    if (TqdConnection* c = ConnectionAt(i)) RemoveConnection(c->Handle());
  CancelAndWait(*control_);
  if (Started()) {
    for (uint8_t lana : lanas_) {
      // Nothing is told of it (the window is going), and it gets a deadline.
      NCB& del = control_->Ncb;
      del.ncb_lana_num = lana;
      PutName(del.ncb_name, LocalAddress());
      del.ncb_command = NCBDELNAME | kAsynch;
      del.ncb_post = nullptr;
      if (Netbios(&del) != NRC_GOODRET) continue;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kNetBIOSNameWaitMs);
      while (Pending(*control_) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
      CancelAndWait(*control_);
    }
  }
  FreeNcb(control_);
}

TqdNcb* TqdNetBIOSProtocol::NewNcb(uint8_t lana, size_t bufferSize, bool notify) {
  auto ncb = std::make_unique<TqdNcb>();
  ncb->Owner = this;
  ncb->Id = nextId_++;
  ncb->Notify = notify;
  ncb->Buffer.resize(bufferSize);
  ncb->Ncb.ncb_lana_num = lana;
  ncb->Ncb.ncb_user = ncb.get();
  TqdNcb* raw = ncb.get();
  ncbs_[raw->Id] = std::move(ncb);
  return raw;
}

void TqdNetBIOSProtocol::CancelAndWait(TqdNcb& ncb) {
  if (!Pending(ncb)) return;
  NCB cancel;
  cancel.ncb_command = NCBCANCEL;
  cancel.ncb_lana_num = ncb.Ncb.ncb_lana_num;
  cancel.ncb_buffer = reinterpret_cast<uint8_t*>(&ncb.Ncb);
  Netbios(&cancel);
  // Its buffers are the emulation's until it has completed, cancelled or not.
  while (Pending(ncb)) std::this_thread::yield();
}

void TqdNetBIOSProtocol::FreeNcb(TqdNcb*& ncb) {
  if (ncb == nullptr) return;
  CancelAndWait(*ncb);
  ncbs_.erase(ncb->Id);  // a completion message still queued finds nothing
  ncb = nullptr;
}

void TqdNetBIOSProtocol::Posted(NCB* ncb) {
  auto* owner = static_cast<TqdNcb*>(ncb->ncb_user);
  if (owner->Notify) owner->Owner->Window().Post(kNetBIOSCompletionMessage, 0, owner->Id);
}

uint8_t TqdNetBIOSProtocol::StartNcb(TqdNcb& ncb, uint8_t command) {
  ncb.Ncb.ncb_command = command | kAsynch;
  ncb.Ncb.ncb_post = &Posted;
  uint8_t code = Netbios(&ncb.Ncb);
  return code == NRC_CANOCCR ? NRC_GOODRET : code;
}

void TqdNetBIOSProtocol::Issue(TqdNcb& ncb, uint8_t command) {
  if (uint8_t code = StartNcb(ncb, command); code != NRC_GOODRET) throw EqdNetBIOSException::CreateForNetBIOSCode(code);
}

bool TqdNetBIOSProtocol::WaitFor(TqdNcb& ncb, int32_t ms) {
  TqdTimer wait;
  StartTimer(wait, ms);
  while (Pending(ncb) && !TimerExpired(wait)) Breathe(std::min(TimerRemaining(wait), kBreatheSliceMs));
  return !Pending(ncb);
}

void TqdNetBIOSProtocol::Startup() {
  std::string name = mode_ == kListeningMode ? LocalName().substr(0, LocalName().find('.')).substr(0, 15) : ClientName();
  SetLocalAddress(name);
  for (size_t i = 0; i < lanas_.size(); ++i) {
    control_->Ncb.ncb_lana_num = lanas_[i];
    PutName(control_->Ncb.ncb_name, name);
    Issue(*control_, NCBADDNAME);
    // Registering waits for other nodes' objections, but not for ever.
    if (!WaitFor(*control_, kNetBIOSNameWaitMs)) CancelAndWait(*control_);
    uint8_t code = control_->Ncb.ncb_retcode;
    if (code != NRC_GOODRET)
      RaiseTableErrorFmt<EqdNetBIOSException>(GeneralStrings(), gsNetBIOSNameNotAdded,
                                              {name, static_cast<int32_t>(lanas_[i]), static_cast<int32_t>(code)});
    state_[i].NameNumber = control_->Ncb.ncb_num;
  }
  if (mode_ != kListeningMode) return;
  for (size_t i = 0; i < lanas_.size(); ++i) {
    state_[i].Listen = NewNcb(lanas_[i], 0, true);
    PutName(state_[i].Listen->Ncb.ncb_name, name);
    std::memcpy(state_[i].Listen->Ncb.ncb_callname, kAnyCaller, NCBNAMSZ);
    Issue(*state_[i].Listen, NCBLISTEN);
  }
}

void TqdNetBIOSProtocol::Listen() {
  if (mode_ != kListeningMode) RaiseTableError<EqdCommsException>(GeneralStrings(), gsClientsCannotListen);
}

TqdConnectionHandle TqdNetBIOSProtocol::Call(std::string_view address) {
  if (mode_ == kListeningMode) RaiseTableError<EqdCommsException>(GeneralStrings(), gsServersCannotCall);
  if (address.empty()) return 0;
  for (uint8_t lana : lanas_) {
    TqdNcb& call = *control_;
    call.Ncb.ncb_lana_num = lana;
    PutName(call.Ncb.ncb_name, LocalAddress());
    PutName(call.Ncb.ncb_callname, address);
    call.Ncb.ncb_rto = call.Ncb.ncb_sto = 0;
    Issue(call, NCBCALL);
    if (!WaitFor(call, kNetBIOSCallWaitMs)) CancelAndWait(call);
    // A call that completed while it was being cancelled still opened a
    // session: it is kept, not left behind.
    if (call.Ncb.ncb_retcode != NRC_GOODRET) continue;
    auto* c = new TqdNetBIOSConnection(*this, address.substr(0, NCBNAMSZ), lana, call.Ncb.ncb_lsn);
    AddConnection(c);
    TqdConnectionHandle handle = c->Handle();
    return PostReceive(*c) ? handle : 0;
  }
  return 0;
}

bool TqdNetBIOSProtocol::PostReceive(TqdNetBIOSConnection& c) {
  if (c.Receive == nullptr) c.Receive = NewNcb(c.Lana, kNetBIOSMaxMsgSize, true);
  TqdNcb& r = *c.Receive;
  r.Ncb.ncb_lsn = c.Lsn;
  r.Ncb.ncb_buffer = r.Buffer.data();
  r.Ncb.ncb_length = static_cast<uint16_t>(r.Buffer.size());
  if (StartNcb(r, NCBRECV) == NRC_GOODRET) return true;
  HangUp(c.Handle());  // a session that cannot receive is of no use
  return false;
}

void TqdNetBIOSProtocol::SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) {
  auto* c = static_cast<TqdNetBIOSConnection*>(FindConnection(handle));
  if (c == nullptr || size > kNetBIOSMaxMsgSize) return;
  std::vector<uint8_t> copy(data, data + size);
  KeyFor(c).ScramblePart(copy.data(), size);
  // One send NCB per connection: a part sent while one is in flight waits.
  c->Queued.push_back(std::move(copy));
  if (c->Send == nullptr) c->Send = NewNcb(c->Lana, kNetBIOSMaxMsgSize, true);
  uint8_t code = NRC_GOODRET;
  // A server goes on serving its other clients whatever one of them does; a
  // client's caller hears of the failure.
  if (!c->Sending && !SendNext(*c, code) && mode_ == kCallingMode)
    throw EqdNetBIOSException::CreateForNetBIOSCode(code);
}

void TqdNetBIOSProtocol::AwaitDone(TqdNcb& ncb) {
  while (Pending(ncb)) std::this_thread::yield();
}

bool TqdNetBIOSProtocol::SendNext(TqdNetBIOSConnection& c, uint8_t& code) {
  c.Sending = !c.Queued.empty();
  if (c.Queued.empty()) return true;
  TqdNcb& s = *c.Send;
  std::vector<uint8_t> part = std::move(c.Queued.front());
  c.Queued.pop_front();
  std::copy(part.begin(), part.end(), s.Buffer.begin());
  s.Ncb.ncb_lsn = c.Lsn;
  s.Ncb.ncb_buffer = s.Buffer.data();
  s.Ncb.ncb_length = static_cast<uint16_t>(part.size());
  code = StartNcb(s, NCBSEND);
  if (code == NRC_GOODRET) return true;
  HangUp(c.Handle());
  return false;
}

TqdNetBIOSConnection* TqdNetBIOSProtocol::ConnectionOf(uint8_t lana, uint8_t lsn) {
  return static_cast<TqdNetBIOSConnection*>(FindConnectionIf([&](const TqdConnection& c) {
    auto& n = static_cast<const TqdNetBIOSConnection&>(c);
    return n.Lana == lana && n.Lsn == lsn;
  }));
}

void TqdNetBIOSProtocol::Received(TqdNcb& r) {
  TqdNetBIOSConnection* c = ConnectionOf(r.Ncb.ncb_lana_num, r.Ncb.ncb_lsn);
  if (c == nullptr || c->Receive != &r) return;
  AwaitDone(r);
  uint8_t code = r.Ncb.ncb_retcode;
  // A session that has ended already needs no hang-up, and its number may
  // belong to a new session by now.
  if (code == NRC_SNUMOUT || code == NRC_SCLOSED || code == NRC_SABORT) c->Lsn = 0;
  if (code != NRC_GOODRET) {
    // Closed, ended, or anything else that stops receiving: the connection
    // is of no more use, so it goes at once rather than at the keep-alive.
    HangUp(c->Handle());
    return;
  }
  TqdConnectionHandle handle = c->Handle();
  TqdConnectionUse use(*this, c);
  HandleReceivedMessage(handle, r.Buffer.data(), r.Ncb.ncb_length);
  if (FindConnection(handle) == c && c->Lsn != 0 && !c->ReceivePaused) PostReceive(*c);
}

void TqdNetBIOSProtocol::ReceivePausedChanged(TqdConnection& connection) {
  auto& c = static_cast<TqdNetBIOSConnection&>(connection);
  if (!c.ReceivePaused && c.Lsn != 0 && (c.Receive == nullptr || !Pending(*c.Receive))) PostReceive(c);
}

void TqdNetBIOSProtocol::Accepted(TqdNcb& listen, uint8_t index) {
  if (listen.Ncb.ncb_retcode != NRC_GOODRET) return;
  AwaitDone(listen);
  auto* c = new TqdNetBIOSConnection(*this, NameText(listen.Ncb.ncb_callname), lanas_[index], listen.Ncb.ncb_lsn);
  AddConnection(c);
  std::memcpy(listen.Ncb.ncb_callname, kAnyCaller, NCBNAMSZ);
  StartNcb(listen, NCBLISTEN);
  TqdConnectionHandle handle = c->Handle();
  if (PostReceive(*c)) FireConnectionAdded(handle);
}

void TqdNetBIOSProtocol::Completed(TqdNcb& ncb) {
  uint8_t command = ncb.Ncb.ncb_command & ~kAsynch;
  if (command == NCBRECV) return Received(ncb);
  if (command == NCBDGRECV || command == NCBDGRECVBC) return DatagramArrived(ncb);
  for (size_t i = 0; i < state_.size(); ++i)
    if (state_[i].Listen == &ncb) return Accepted(ncb, static_cast<uint8_t>(i));
  if (command != NCBSEND) return;
  TqdNetBIOSConnection* c = ConnectionOf(ncb.Ncb.ncb_lana_num, ncb.Ncb.ncb_lsn);
  if (c == nullptr || c->Send != &ncb) return;
  AwaitDone(ncb);
  if (ncb.Ncb.ncb_retcode != NRC_GOODRET) {
    HangUp(c->Handle());  // a part that did not go: the peer would wait for it for ever
    return;
  }
  uint8_t code;
  SendNext(*c, code);
}

intptr_t TqdNetBIOSProtocol::WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (msg != kNetBIOSCompletionMessage) return TqdBaseCommsProtocol::WindowProc(msg, wParam, lParam);
  auto it = ncbs_.find(static_cast<uint32_t>(lParam));
  if (it != ncbs_.end()) Completed(*it->second);
  return 0;
}

void TqdNetBIOSProtocol::StartDatagramListen() {
  if (datagramListening_) return;
  for (size_t i = 0; i < lanas_.size(); ++i) {
    for (int kind = 0; kind < 2; ++kind) {
      TqdNcb*& r = state_[i].Receive[kind];
      if (r == nullptr) r = NewNcb(lanas_[i], kDatagramBufferSize, true);
      r->Ncb.ncb_num = state_[i].NameNumber;
      r->Ncb.ncb_buffer = r->Buffer.data();
      r->Ncb.ncb_length = static_cast<uint16_t>(r->Buffer.size());
      Issue(*r, kind == 0 ? NCBDGRECV : NCBDGRECVBC);
    }
  }
  datagramListening_ = true;
}

void TqdNetBIOSProtocol::StopDatagramListen() {
  if (!datagramListening_) return;
  for (LanaState& s : state_)
    for (TqdNcb* r : s.Receive)
      if (r != nullptr) CancelAndWait(*r);
  datagramListening_ = false;
}

void TqdNetBIOSProtocol::DatagramArrived(TqdNcb& r) {
  if (r.Ncb.ncb_retcode != NRC_GOODRET || !datagramListening_) return;
  AwaitDone(r);
  std::string sender = NameText(r.Ncb.ncb_callname);
  size_t size = r.Ncb.ncb_length;
  std::vector<uint8_t> data(r.Buffer.begin(), r.Buffer.begin() + static_cast<std::ptrdiff_t>(size));
  uint8_t command = r.Ncb.ncb_command & ~kAsynch;
  r.Ncb.ncb_length = static_cast<uint16_t>(r.Buffer.size());
  StartNcb(r, command);  // one that cannot be posted again stops receiving, nothing more
  if (mode_ == kListeningMode && IsFindServers(data.data(), size)) {
    uint8_t here[kServerHereSize];
    EncodeServerHere({LocalName(), LocalAddress()}, here);
    try {
      SendDatagram(sender, here, sizeof here);
    } catch (const EqdNetBIOSException&) {
      // One unanswered discovery is harmless; the client asks again.
    }
  }
  FireDatagram(sender, data.data(), size);
}

void TqdNetBIOSProtocol::SendDatagram(std::string_view address, const uint8_t* data, size_t size) {
  size = std::min(size, kNetBIOSDatagramSize);
  int kind = address.empty() ? 1 : 0;
  for (size_t i = 0; i < lanas_.size(); ++i) {
    TqdNcb*& s = state_[i].Send[kind];
    if (s == nullptr) s = NewNcb(lanas_[i], kNetBIOSDatagramSize, false);
    // The buffer is the previous send's until that has gone.
    if (Pending(*s) && !WaitFor(*s, kNetBIOSNameWaitMs)) CancelAndWait(*s);
    if (size > 0) std::memcpy(s->Buffer.data(), data, size);
    s->Ncb.ncb_num = state_[i].NameNumber;
    s->Ncb.ncb_buffer = s->Buffer.data();
    s->Ncb.ncb_length = static_cast<uint16_t>(size);
    PutName(s->Ncb.ncb_callname, address);
    Issue(*s, kind == 0 ? NCBDGSEND : NCBDGSENDBC);
  }
}

}  // namespace qd
