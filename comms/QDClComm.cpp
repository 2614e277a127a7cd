#include "comms/QDClComm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/QDLLExcp.h"
#include "comms/QDNetMsg.h"
#include "comms/discovery.h"
#include "comms/keepalive.h"
#include "comms/scramble.h"

namespace qd {
namespace {

// How long one breathing turn may block in the kernel: short enough that a
// tick source that tests move by hand is looked at again soon.
constexpr int32_t kBreatheSliceMs = 50;
// Discovery repeats its broadcast at most this often.
constexpr uint32_t kDiscoveryRoundMs = 500;
// How many pending window messages a connection check handles at most.
constexpr int kCheckBreaths = 8;

int32_t Slice(const TqdTimer& timer) {
  int32_t left = TimerRemaining(timer);
  return left < 0 ? kBreatheSliceMs : std::min(left, kBreatheSliceMs);
}

}  // namespace

TqdClientCommsEngine::TqdClientCommsEngine(std::string_view clientName, const TqdProtocolClass& protocolClass)
    : clientName_(clientName) {
  transport_ = CreateProtocol(protocolClass, clientName_.View(), kCallingMode);
  TqdProtocolEvents& events = transport_->Events;
  events.OnConnectionLost = [this](TqdBaseCommsProtocol&, TqdConnectionHandle h) { OnConnectionLost(h); };
  events.OnConnectionAdded = [](TqdBaseCommsProtocol&, TqdConnectionHandle) {};
  events.OnIdle = [](TqdBaseCommsProtocol&) {};
  events.OnDatagram = [this](TqdBaseCommsProtocol&, std::string_view, const uint8_t* data, size_t size) {
    OnDatagram(data, size);
  };
  events.OnMessage = [this](TqdBaseCommsProtocol&, TqdConnectionHandle h, size_t size, uint8_t* part) {
    return OnMessage(h, size, part);
  };
  sendBuffer_.resize(transport_->MaxMsgSize());
}

TqdClientCommsEngine::~TqdClientCommsEngine() {
  transport_->Events = TqdProtocolEvents{};
  transport_.reset();
}

void TqdClientCommsEngine::Startup() { transport_->Start(); }

TqdResult TqdClientCommsEngine::Attach(std::string_view serverAddress, std::string_view userName,
                                       std::string_view password) {
  RequireOwnerThread("Attach");
  std::lock_guard guard(lock_);
  if (IsConnected()) Detach();
  loggedIn_ = false;
  TqdName name(NamePartOf(serverAddress));
  TqdName address(AddressPartOf(serverAddress));
  TqdConnectionHandle handle = transport_->Call(address.View());
  if (handle == 0) return qdErrNetServerNotFound;
  // What a lost connection left queued answers nothing on this one, even
  // where the new connection got the old one's handle.
  queue_.Clear();
  connection_ = handle;
  transport_->ConnectionInUse(handle);

  uint8_t request[kAttachRequestSize];
  EncodeAttachRequest({std::string(clientName_.View()), std::string(TqdName(userName).View())}, request);
  uint8_t replyBytes[kAttachReplySize] = {};
  TqdResult result = Request(msgAttach, TqdRequestData{.Block = request, .Length = sizeof request},
                             TqdReplyTarget{.Buffer = replyBytes, .Length = sizeof replyBytes, .FixedSize = true});
  if (result != qdOK) {
    transport_->HangUp(handle);
    return result;
  }
  TqdAttachReply reply = DecodeAttachReply(replyBytes);
  if (!IsServerVersionAccepted(reply.ServerVersion)) {
    transport_->HangUp(handle);
    return qdErrServerVersion;
  }
  clientId_ = reply.ClientID;
  // Filled before the first scrambled exchange so that a reply in parts is
  // never acknowledged with an empty header.
  EncodeMsgHeader(PartAckHeader(clientId_), partAck_);
  transport_->SetScramblingSeed(ScramblingSeed(reply.ScramblingCode, reply.Secure, TqdName(password).View()));
  SetKeepAliveSettings({reply.InactivityInterval, reply.KeepAliveInterval, reply.KeepAliveRetries});
  transport_->RestartKeepAliveTimer();
  if (Request(msgConfirmLogin, nullptr, 0, nullptr, 0) != qdOK) return qdErrInvalidPassword;
  serverName_ = name;
  loggedIn_ = true;
  return qdOK;
}

void TqdClientCommsEngine::Detach() {
  RequireOwnerThread("Detach");
  std::lock_guard guard(lock_);
  if (!IsConnected()) return;
  Request(msgDetach, nullptr, 0, nullptr, 0);  // refused with 8455 inside a request: only the hang-up then
  transport_->HangUp(connection_);
  serverName_ = TqdName();
  loggedIn_ = false;
}

bool TqdClientCommsEngine::CheckConnection() {
  RequireOwnerThread("CheckConnection");
  std::lock_guard guard(lock_);
  if (busy_) return IsLoggedIn();
  // Each breath handles one message of the transport's window: a few are
  // enough for a hang-up queued behind a keep-alive or a timer.
  for (int breath = 0; breath < kCheckBreaths && IsLoggedIn(); ++breath) transport_->Breathe(0);
  return IsLoggedIn();
}

TqdResult TqdClientCommsEngine::Request(TqdMsgID msgId, const TqdRequestData& request,
                                        const TqdReplyTarget& reply) {
  RequireOwnerThread("Request");
  std::lock_guard guard(lock_);
  if (reply.Received != nullptr) *reply.Received = 0;
  if (!IsConnected()) return qdErrNetServerNotFound;
  if (busy_) return qdErrReentered;
  busy_ = true;
  struct EndBusy {
    bool& busy;
    ~EndBusy() { busy = false; }
  } endBusy{busy_};
  try {
    return RequestLocked(msgId, request, reply);
  } catch (const EqdCommsException&) {
    // The transport failed while sending or waiting (a reset, a send that
    // stalled): how far the exchange got is unknown, so the connection is
    // dropped as a lost one is.
    LoseSync();
    return qdErrNetTimeout;
  }
}

TqdResult TqdClientCommsEngine::RequestLocked(TqdMsgID msgId, const TqdRequestData& request,
                                              const TqdReplyTarget& reply) {
  bool malformed = false;
  TqdReceivedMessage* message = TakeQueuedReply(msgId, malformed);
  if (message == nullptr && !malformed) {
    if (TqdResult r = SendParts(msgId, request); r != qdOK) return r;
    if (reply.Stream != nullptr) reply.Stream->Seek(0);
    if (TqdResult r = WaitForMessage(); r != qdOK) return r;
    message = queue_.Peek();
    malformed = message == nullptr;  // the only way a waited-for head yields nothing
  }
  if (malformed) {
    queue_.TakeMalformedBundle();
    LoseSync();
    return qdErrNetTimeout;
  }
  return CopyReply(message, reply);
}

TqdReceivedMessage* TqdClientCommsEngine::TakeQueuedReply(TqdMsgID msgId, bool& malformed) {
  while (!queue_.IsEmpty()) {
    TqdReceivedMessage* head = queue_.Peek();
    if (head == nullptr && queue_.TakeMalformedBundle()) {
      malformed = true;
      return nullptr;
    }
    if (head != nullptr && head->MsgID == msgId) return head;
    queue_.RemoveHead();
  }
  return nullptr;
}

TqdResult TqdClientCommsEngine::SendParts(TqdMsgID msgId, const TqdRequestData& request) {
  const uint8_t* data = request.Stream != nullptr ? request.Stream->Data() : static_cast<const uint8_t*>(request.Block);
  uint32_t length = request.Stream != nullptr ? static_cast<uint32_t>(request.Stream->Size()) : request.Length;
  TqdMsgHeader header;
  header.MsgID = msgId;
  header.TotalSize = length;
  header.ClientID = clientId_;
  header.Timeout = kRequestTimeoutField;
  header.DataKind = request.Stream != nullptr ? kDataKindStream : kDataKindBlock;
  const uint32_t capacity = transport_->MaxMsgSize() - kMsgHeaderSize;
  uint32_t offset = 0;
  for (;;) {
    uint32_t remaining = length - offset;
    uint32_t part = std::min(remaining, capacity);
    header.MsgLen = part + kMsgHeaderSize;
    header.FirstPart = offset == 0 ? 1 : 0;
    header.LastPart = part == remaining ? 1 : 0;
    EncodeMsgHeader(header, sendBuffer_.data());
    if (part > 0) std::memcpy(sendBuffer_.data() + kMsgHeaderSize, data + offset, part);
    transport_->SendMsg(connection_, sendBuffer_.data(), header.MsgLen);
    if (header.LastPart == 1) return qdOK;
    if (transport_->NeedsPartAck()) {
      if (TqdResult r = WaitForMessage(); r != qdOK) return r;
      queue_.RemoveHead();  // the acknowledgement
    }
    offset += part;
  }
}

TqdResult TqdClientCommsEngine::WaitForMessage() {
  StartTimer(replyTimer_, static_cast<int32_t>(std::min<uint32_t>(replyTimeout_, kTimerMaxMs)));
  while (queue_.IsEmpty() && !TimerExpired(replyTimer_) && IsConnected())
    transport_->Breathe(Slice(replyTimer_));
  // A message completed before the connection was lost still counts: a
  // server may answer and hang up at once, and both may be read in one go.
  if (!queue_.IsEmpty()) return qdOK;
  if (!IsConnected()) return qdErrNetTimeout;
  Detach();  // its message 2 is refused while busy: only the hang-up happens
  return qdErrNetTimeout;
}

TqdResult TqdClientCommsEngine::CopyReply(TqdReceivedMessage* message, const TqdReplyTarget& reply) {
  if (message == nullptr) return qdErrNetTimeout;
  if (message->ResultCode != 0) {
    auto code = static_cast<TqdResult>(message->ResultCode);
    queue_.RemoveHead();
    return code;
  }
  size_t size = message->Data.size();
  if (size > 0 && message->IsStream != (reply.Stream != nullptr)) {
    // The server answered in another form than the caller reads: refused
    // rather than guessed at; the connection itself is still in step.
    queue_.RemoveHead();
    return qdErrNetUnknown;
  }
  if (reply.FixedSize && reply.Stream == nullptr && size < reply.Length) {
    // A record cut short: whatever the server sends next cannot be trusted.
    queue_.RemoveHead();
    LoseSync();
    return qdErrNetTimeout;
  }
  if (reply.Stream != nullptr && size > 0) {
    reply.Stream->Write(message->Data.data(), size);
  } else if (reply.Buffer != nullptr && size > 0) {
    std::memcpy(reply.Buffer, message->Data.data(), std::min<size_t>(reply.Length, size));
  }
  if (reply.Received != nullptr) *reply.Received = static_cast<uint32_t>(size);
  queue_.RemoveHead();
  return qdOK;
}

void TqdClientCommsEngine::LoseSync() {
  if (IsConnected()) transport_->HangUp(connection_);
}

void TqdClientCommsEngine::RequireOwnerThread(const char* operation) const {
  if (std::this_thread::get_id() == owner_) return;
  // A request pumps the owner's message queue and the transport is not
  // shared between threads: going on would race on both.
  std::fprintf(stderr, "TqdClientCommsEngine::%s called off the thread that created the engine\n", operation);
  std::abort();
}

bool TqdClientCommsEngine::OnMessage(TqdConnectionHandle handle, size_t size, uint8_t* part) {
  std::lock_guard guard(lock_);
  if (size == 0) return true;
  TqdMsgHeader header;
  if (size >= kMsgHeaderSize) header = DecodeMsgHeader(part);
  if (size < kMsgHeaderSize || !IsSoundHeader(header, size, transport_->MaxMsgSize())) {
    // Noise: most often the server scrambles with another key (a wrong
    // password). Waiting could only end in the time-out.
    transport_->HangUp(handle);
    return true;
  }
  const uint8_t* data = part + kMsgHeaderSize;
  uint32_t dataSize = header.MsgLen - kMsgHeaderSize;
  TqdPartStatus status =
      header.FirstPart == 1
          ? queue_.AddFirstPart(header.MsgID, handle, header.DataKind, data, dataSize, header.TotalSize, header.ResultCode)
          : queue_.AddNextPart(header.MsgID, handle, data, dataSize);
  if (status == TqdPartStatus::psOverflow) {
    transport_->HangUp(handle);
    return true;
  }
  if (header.LastPart == 0) {
    // Only a part that brings a reply nearer puts the deadline off: one that
    // was dropped, or that started a begun message anew, does not, else such
    // parts could hold a request for ever.
    if (status == TqdPartStatus::psAccepted)
      StartTimer(replyTimer_, static_cast<int32_t>(std::min<uint32_t>(replyTimeout_, kTimerMaxMs)));
    if (transport_->NeedsPartAck()) transport_->SendMsg(connection_, partAck_, sizeof partAck_);
  }
  return true;
}

void TqdClientCommsEngine::OnConnectionLost(TqdConnectionHandle handle) {
  std::lock_guard guard(lock_);
  if (handle == connection_) {
    connection_ = 0;
    loggedIn_ = false;
  }
  // Only what is still being put together goes: a reply that was complete
  // before the loss still answers the request waiting for it. A later
  // request needs a new connection, which starts with an empty queue.
  queue_.DropUnfinished(handle);
  serverName_ = TqdName();
}

void TqdClientCommsEngine::OnDatagram(const uint8_t* data, size_t size) {
  std::lock_guard guard(lock_);
  if (std::optional<TqdServerHere> here = DecodeServerHere(data, size)) serverNames_.push_back(ServerListEntry(*here));
}

void TqdClientCommsEngine::GetServerNames(std::vector<std::string>& list) {
  RequireOwnerThread("GetServerNames");
  if (transport_->IsSingleUser()) {
    list.assign(1, kLocalServerName);
    return;
  }
  transport_->StartDatagramListen();
  struct StopListening {
    TqdBaseCommsProtocol& transport;
    ~StopListening() { transport.StopDatagramListen(); }
  } stop{*transport_};
  {
    std::lock_guard guard(lock_);
    serverNames_.clear();
  }
  uint32_t wait = transport_->DiscoveryWait();
  TqdTimer total;
  StartTimer(total, static_cast<int32_t>(wait));
  do {
    TqdTimer round;
    StartTimer(round, static_cast<int32_t>(std::min(wait, kDiscoveryRoundMs)));
    uint8_t request[kFindServersSize];
    EncodeFindServers(request);
    transport_->SendDatagram("", request, sizeof request);
    while (!TimerExpired(round)) transport_->Breathe(Slice(round));
  } while (!TimerExpired(total));
  std::lock_guard guard(lock_);
  list = serverNames_;
}

}  // namespace qd
