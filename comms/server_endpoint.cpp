#include "comms/server_endpoint.h"

#include <algorithm>
#include <cstring>

#include "comms/reply_memory_cap.h"
#include "comms/scramble.h"

namespace qd {
namespace {

constexpr uint32_t kAssemblyTimerId = 1;
constexpr uint32_t kAssemblyCheckMs = 1000;

}  // namespace

TqdServerEndpoint::TqdServerEndpoint(TqdBaseCommsProtocol& transport)
    : transport_(transport), partBuffer_(transport.MaxMsgSize()) {
  transport_.Events.OnMessage = [this](TqdBaseCommsProtocol&, TqdConnectionHandle c, size_t size, uint8_t* part) {
    return OnMessage(c, size, part);
  };
  transport_.Events.OnConnectionLost = [this](TqdBaseCommsProtocol&, TqdConnectionHandle c) { OnTransportLost(c); };
  timerWindow_ = std::make_unique<TqdNotifyWindow>([this](uint32_t msg, uintptr_t wParam, intptr_t) -> intptr_t {
    if (msg == WM_TIMER && wParam == kAssemblyTimerId) CheckAssemblyDeadlines();
    return 0;
  });
  timerWindow_->SetTimer(kAssemblyTimerId, kAssemblyCheckMs);
}

TqdServerEndpoint::~TqdServerEndpoint() {
  transport_.Events.OnMessage = nullptr;
  transport_.Events.OnConnectionLost = nullptr;
  timerWindow_->KillTimer(kAssemblyTimerId);
}

TqdServerEndpoint::Link* TqdServerEndpoint::LinkOf(TqdConnectionHandle connection) {
  auto it = links_.find(connection);
  if (it != links_.end()) return &it->second;
  if (transport_.FindConnection(connection) == nullptr) return nullptr;
  Link& link = links_[connection];
  link.PartsAllowed = !PartsNeedPermission;
  return &link;
}

void TqdServerEndpoint::OnTransportLost(TqdConnectionHandle connection) {
  auto it = links_.find(connection);
  if (it != links_.end()) {
    DropPartial(it->second);
    outgoingTotal_ -= it->second.OutgoingBytes;
    links_.erase(it);
  }
  if (OnConnectionLost) OnConnectionLost(*this, connection);
}

void TqdServerEndpoint::AllowRequestsInParts(TqdConnectionHandle connection, bool allowed) {
  if (Link* link = LinkOf(connection)) link->PartsAllowed = allowed;
}

void TqdServerEndpoint::DropPartial(Link& link) {
  if (!link.Partial) return;
  assemblingTotal_ -= link.Partial->TotalSize;
  link.Partial.reset();
}

void TqdServerEndpoint::Deliver(const TqdIncomingRequest& request) {
  if (OnRequest) OnRequest(*this, request);
}

bool TqdServerEndpoint::OnMessage(TqdConnectionHandle connection, size_t size, uint8_t* part) {
  TqdMsgHeader header;
  if (size >= kMsgHeaderSize) header = DecodeMsgHeader(part);
  if (size < kMsgHeaderSize || !IsSoundHeader(header, size, transport_.MaxMsgSize())) {
    if (OnUnsound)
      OnUnsound(*this, connection, part, size);
    else
      transport_.HangUp(connection);
    return true;
  }
  Link* link = LinkOf(connection);
  if (link == nullptr) return true;
  if (header.MsgID == msgPartAck) {
    if (!link->Replies.empty()) Pump(connection);
    return true;
  }
  const uint8_t* data = part + kMsgHeaderSize;
  uint32_t dataSize = header.MsgLen - kMsgHeaderSize;
  if (header.FirstPart == 1 && header.LastPart == 1) {
    // A one-part request needs no putting together; a request begun and
    // not finished was given up by the client.
    DropPartial(*link);
    Deliver({connection, header.MsgID, header.ClientID, header.DataKind == kDataKindStream,
             std::vector<uint8_t>(data, data + std::min(dataSize, header.TotalSize))});
    return true;
  }
  std::optional<TqdIncomingRequest> request = Assemble(connection, *link, header, data, dataSize);
  if (request) Deliver(*request);
  return true;
}

std::optional<TqdIncomingRequest> TqdServerEndpoint::Assemble(TqdConnectionHandle connection, Link& link,
                                                              const TqdMsgHeader& header, const uint8_t* data,
                                                              uint32_t size) {
  if (header.FirstPart == 1) {
    DropPartial(link);
    // Checked before anything is kept: a client may not make the server
    // hold more than its own request, nor all clients more than the cap.
    if (!link.PartsAllowed || header.TotalSize > MaxRequestSize ||
        assemblingTotal_ + header.TotalSize > MaxAssemblingBytes) {
      transport_.HangUp(connection);
      return std::nullopt;
    }
    // Moved in rather than built in place: clang 14 (the fuzz build) takes
    // a nested struct with member initializers for not default-constructible.
    Assembly& a = link.Partial.emplace(Assembly{});
    a.MsgID = header.MsgID;
    a.IsStream = header.DataKind == kDataKindStream;
    a.TotalSize = header.TotalSize;
    StartTimer(a.Deadline, static_cast<int32_t>(std::min<uint32_t>(AssemblyDeadlineMs, kTimerMaxMs)));
    assemblingTotal_ += a.TotalSize;
  } else if (!link.Partial || link.Partial->MsgID != header.MsgID) {
    return std::nullopt;  // a continuation of nothing we have: dropped
  }
  Assembly& a = *link.Partial;
  a.Data.insert(a.Data.end(), data, data + std::min<size_t>(size, a.TotalSize - a.Data.size()));
  if (header.LastPart == 0) {
    if (transport_.NeedsPartAck()) {
      uint8_t ack[kMsgHeaderSize];
      EncodeMsgHeader(PartAckHeader(header.ClientID), ack);
      transport_.SendMsg(connection, ack, sizeof ack);
    }
    return std::nullopt;
  }
  if (a.Data.size() != a.TotalSize) {
    // The last part came and the request is short: the client does not
    // keep to the protocol.
    transport_.HangUp(connection);
    return std::nullopt;
  }
  TqdIncomingRequest request{connection, a.MsgID, header.ClientID, a.IsStream, std::move(a.Data)};
  DropPartial(link);
  return request;
}

void TqdServerEndpoint::CheckAssemblyDeadlines() {
  std::vector<TqdConnectionHandle> overdue;
  for (auto& [connection, link] : links_)
    if (link.Partial && TimerExpired(link.Partial->Deadline)) overdue.push_back(connection);
  for (TqdConnectionHandle connection : overdue) transport_.HangUp(connection);
}

void TqdServerEndpoint::Reply(TqdConnectionHandle connection, TqdMsgID msgId, uint16_t resultCode,
                              uint8_t dataKind, std::span<const uint8_t> data, uint32_t clientId) {
  Link* link = LinkOf(connection);
  if (link == nullptr) return;  // gone: nobody to answer
  Outgoing out;
  out.Header.MsgID = msgId;
  out.Header.TotalSize = static_cast<uint32_t>(data.size());
  out.Header.ClientID = clientId;
  out.Header.ResultCode = resultCode;
  out.Header.DataKind = dataKind;
  out.Data.assign(data.begin(), data.end());
  link->OutgoingBytes += out.Data.size();
  outgoingTotal_ += out.Data.size();
  link->Replies.push_back(std::move(out));
  if (link->Replies.size() == 1) Pump(connection);
  if (MemoryCap != nullptr) MemoryCap->Enforce();
}

void TqdServerEndpoint::Pump(TqdConnectionHandle connection) {
  // Without acknowledgements every part goes at once; with them one part
  // per acknowledgement, and the next reply starts when one is finished.
  for (;;) {
    auto it = links_.find(connection);
    if (it == links_.end() || it->second.Replies.empty()) return;
    bool finished = SendNextPart(connection, it->second);
    it = links_.find(connection);  // a send may have lost the connection
    if (it == links_.end()) return;
    if (finished) it->second.Replies.pop_front();
    if (!finished && transport_.NeedsPartAck()) return;
  }
}

bool TqdServerEndpoint::SendNextPart(TqdConnectionHandle connection, Link& link) {
  Outgoing& out = link.Replies.front();
  uint32_t capacity = transport_.MaxMsgSize() - kMsgHeaderSize;
  uint32_t remaining = static_cast<uint32_t>(out.Data.size()) - out.Offset;
  uint32_t part = std::min(remaining, capacity);
  out.Header.MsgLen = kMsgHeaderSize + part;
  out.Header.FirstPart = out.Offset == 0 ? 1 : 0;
  out.Header.LastPart = part == remaining ? 1 : 0;
  EncodeMsgHeader(out.Header, partBuffer_.data());
  if (part > 0) std::memcpy(partBuffer_.data() + kMsgHeaderSize, out.Data.data() + out.Offset, part);
  out.Offset += part;
  link.OutgoingBytes -= part;
  outgoingTotal_ -= part;
  bool last = out.Header.LastPart == 1;
  transport_.SendMsg(connection, partBuffer_.data(), kMsgHeaderSize + part);
  return last;
}

size_t TqdServerEndpoint::HeldBytes(TqdConnectionHandle connection) {
  auto it = links_.find(connection);
  return (it == links_.end() ? 0 : it->second.OutgoingBytes) + transport_.UnsentBytes(connection);
}

TqdConnectionHandle TqdServerEndpoint::LargestHolder(size_t& bytes) {
  TqdConnectionHandle largest = 0;
  bytes = 0;
  for (int i = 0; i < transport_.ConnectionCount(); ++i) {
    TqdConnection* connection = transport_.ConnectionAt(i);
    if (connection == nullptr) continue;
    size_t held = HeldBytes(connection->Handle());
    if (held > bytes) {
      bytes = held;
      largest = connection->Handle();
    }
  }
  return largest;
}

void TqdServerEndpoint::ReplyToUnreadableLogin(TqdConnectionHandle connection,
                                               std::span<const uint8_t> part, uint32_t clientId,
                                               uint16_t resultCode) {
  if (part.size() < kMsgHeaderSize) {
    transport_.HangUp(connection);
    return;
  }
  TqdMsgHeader expected;
  expected.MsgID = msgConfirmLogin;
  expected.ClientID = clientId;
  expected.Timeout = kRequestTimeoutField;
  uint8_t plain[kMsgHeaderSize];
  EncodeMsgHeader(expected, plain);
  // `part` is the client's bytes XOR the server's key; the recovered bytes
  // are the client's key XOR the server's, which the send XORs away again.
  std::array<uint8_t, 16> keyBytes = RecoverHeaderKeyBytes(part.data(), plain);
  TqdMsgHeader reply = expected;
  reply.ResultCode = resultCode;
  reply.Timeout = 0;
  uint8_t bytes[kMsgHeaderSize];
  EncodeMsgHeader(reply, bytes);
  ScrambleHeaderWith(bytes, keyBytes);
  transport_.SendMsg(connection, bytes, sizeof bytes);
}

void TqdServerEndpoint::SendRaw(TqdConnectionHandle connection, std::span<const uint8_t> part) {
  transport_.SendMsg(connection, part.data(), part.size());
}

}  // namespace qd
