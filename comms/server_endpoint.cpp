#include "comms/server_endpoint.h"

#include <algorithm>
#include <cstring>

#include "comms/scramble.h"

namespace qd {

TqdServerEndpoint::TqdServerEndpoint(TqdBaseCommsProtocol& transport)
    : transport_(transport), partBuffer_(transport.MaxMsgSize()) {
  transport_.Events.OnMessage = [this](TqdBaseCommsProtocol&, TqdConnectionHandle c, size_t size, uint8_t* part) {
    return OnMessage(c, size, part);
  };
  transport_.Events.OnConnectionLost = [this](TqdBaseCommsProtocol&, TqdConnectionHandle c) {
    queue_.DropConnection(c);
    outgoing_.erase(c);
    if (OnConnectionLost) OnConnectionLost(*this, c);
  };
}

TqdServerEndpoint::~TqdServerEndpoint() {
  transport_.Events.OnMessage = nullptr;
  transport_.Events.OnConnectionLost = nullptr;
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
  if (header.MsgID == msgPartAck) {
    auto it = outgoing_.find(connection);
    if (it != outgoing_.end() && !it->second.empty()) Pump(connection);
    return true;
  }
  const uint8_t* data = part + kMsgHeaderSize;
  uint32_t dataSize = header.MsgLen - kMsgHeaderSize;
  if (header.FirstPart == 1 && header.LastPart == 1) {
    // A one-part request needs no putting together.
    TqdIncomingRequest request{connection, header.MsgID, header.ClientID, header.DataKind == kDataKindStream,
                               std::vector<uint8_t>(data, data + dataSize)};
    if (OnRequest) OnRequest(*this, request);
    return true;
  }
  if (header.FirstPart == 1) {
    if (header.TotalSize > MaxRequestSize) {
      transport_.HangUp(connection);
      return true;
    }
    queue_.DropUnfinished(connection);
  }
  TqdPartStatus status =
      header.FirstPart == 1
          ? queue_.AddFirstPart(header.MsgID, connection, header.DataKind, data, dataSize, header.TotalSize, 0)
          : queue_.AddNextPart(header.MsgID, connection, data, dataSize);
  if (status == TqdPartStatus::psOverflow) {
    transport_.HangUp(connection);
    return true;
  }
  if (header.LastPart == 0) {
    if (transport_.NeedsPartAck()) {
      uint8_t ack[kMsgHeaderSize];
      EncodeMsgHeader(PartAckHeader(header.ClientID), ack);
      transport_.SendMsg(connection, ack, sizeof ack);
    }
    return true;
  }
  while (!queue_.IsEmpty()) {
    TqdReceivedMessage* message = queue_.Peek();
    if (message == nullptr) {
      queue_.RemoveHead();
      continue;
    }
    TqdIncomingRequest request{message->Connection, message->MsgID, header.ClientID, message->IsStream,
                               std::move(message->Data)};
    queue_.RemoveHead();
    if (OnRequest) OnRequest(*this, request);
  }
  return true;
}

void TqdServerEndpoint::Reply(TqdConnectionHandle connection, TqdMsgID msgId, uint16_t resultCode,
                              uint8_t dataKind, std::span<const uint8_t> data, uint32_t clientId) {
  Outgoing out;
  out.Header.MsgID = msgId;
  out.Header.TotalSize = static_cast<uint32_t>(data.size());
  out.Header.ClientID = clientId;
  out.Header.ResultCode = resultCode;
  out.Header.DataKind = dataKind;
  out.Data.assign(data.begin(), data.end());
  auto& queue = outgoing_[connection];
  queue.push_back(std::move(out));
  if (queue.size() == 1) Pump(connection);
}

void TqdServerEndpoint::Pump(TqdConnectionHandle connection) {
  // Without acknowledgements every part goes at once; with them one part
  // per acknowledgement, and the next reply starts when one is finished.
  for (;;) {
    auto it = outgoing_.find(connection);
    if (it == outgoing_.end() || it->second.empty()) return;
    bool finished = SendNextPart(connection);
    it = outgoing_.find(connection);  // a send may have lost the connection
    if (it == outgoing_.end()) return;
    if (finished) it->second.pop_front();
    if (!finished && transport_.NeedsPartAck()) return;
  }
}

bool TqdServerEndpoint::SendNextPart(TqdConnectionHandle connection) {
  Outgoing& out = outgoing_[connection].front();
  uint32_t capacity = transport_.MaxMsgSize() - kMsgHeaderSize;
  uint32_t remaining = static_cast<uint32_t>(out.Data.size()) - out.Offset;
  uint32_t part = std::min(remaining, capacity);
  out.Header.MsgLen = kMsgHeaderSize + part;
  out.Header.FirstPart = out.Offset == 0 ? 1 : 0;
  out.Header.LastPart = part == remaining ? 1 : 0;
  EncodeMsgHeader(out.Header, partBuffer_.data());
  if (part > 0) std::memcpy(partBuffer_.data() + kMsgHeaderSize, out.Data.data() + out.Offset, part);
  out.Offset += part;
  bool last = out.Header.LastPart == 1;
  transport_.SendMsg(connection, partBuffer_.data(), kMsgHeaderSize + part);
  return last;
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
