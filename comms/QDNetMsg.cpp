#include "comms/QDNetMsg.h"

#include <cstring>

#include "base/endian.h"

namespace qd {

void EncodeMsgHeader(const TqdMsgHeader& h, uint8_t* out) {
  PutUInt32LE(out + 0, h.MsgID);
  PutUInt32LE(out + 4, h.MsgLen);
  PutUInt32LE(out + 8, h.TotalSize);
  PutUInt32LE(out + 12, h.ClientID);
  PutUInt16LE(out + 16, h.ResultCode);
  PutUInt16LE(out + 18, h.Timeout);
  PutUInt8(out + 20, h.FirstPart);
  PutUInt8(out + 21, h.LastPart);
  PutUInt8(out + 22, h.DataKind);
  PutUInt8(out + 23, h.Filler);
}

TqdMsgHeader DecodeMsgHeader(const uint8_t* in) {
  TqdMsgHeader h;
  h.MsgID = GetUInt32LE(in + 0);
  h.MsgLen = GetUInt32LE(in + 4);
  h.TotalSize = GetUInt32LE(in + 8);
  h.ClientID = GetUInt32LE(in + 12);
  h.ResultCode = GetUInt16LE(in + 16);
  h.Timeout = GetUInt16LE(in + 18);
  h.FirstPart = GetUInt8(in + 20);
  h.LastPart = GetUInt8(in + 21);
  h.DataKind = GetUInt8(in + 22);
  h.Filler = GetUInt8(in + 23);
  return h;
}

uint32_t PeekMsgID(const uint8_t* part) { return GetUInt32LE(part); }
uint32_t PeekMsgLen(const uint8_t* part) { return GetUInt32LE(part + 4); }

bool IsSoundHeader(const TqdMsgHeader& h, size_t partSize, uint32_t maxMsgSize) {
  if (h.FirstPart > 1 || h.LastPart > 1 || h.DataKind > 1) return false;
  if (h.MsgLen != partSize || h.MsgLen < kMsgHeaderSize || h.MsgLen > maxMsgSize) return false;
  if (h.TotalSize > kMaxMessageDataSize) return false;
  uint32_t data = h.MsgLen - kMsgHeaderSize;
  if (h.FirstPart == 1 && data > h.TotalSize) return false;
  if (h.FirstPart == 1 && h.LastPart == 1 && data != h.TotalSize) return false;
  return true;
}

TqdMsgHeader PartAckHeader(uint32_t clientId) {
  TqdMsgHeader h;
  h.MsgID = msgPartAck;
  h.ClientID = clientId;
  h.Timeout = 0;
  return h;
}

void EncodeAttachRequest(const TqdAttachRequest& request, uint8_t* out) {
  PutShortString(out, request.ClientName, 31);
  PutShortString(out + 32, request.UserName, 31);
}

std::optional<TqdAttachRequest> DecodeAttachRequest(const uint8_t* in, size_t size) {
  if (size < kAttachRequestSize) return std::nullopt;
  return TqdAttachRequest{GetShortString(in, 31), GetShortString(in + 32, 31)};
}

void EncodeAttachReply(const TqdAttachReply& r, uint8_t* out) {
  PutUInt32LE(out + 0, r.ClientID);
  PutInt32LE(out + 4, r.ServerVersion);
  PutInt32LE(out + 8, r.ScramblingCode);
  PutInt32LE(out + 12, r.InactivityInterval);
  PutInt32LE(out + 16, r.KeepAliveInterval);
  PutInt32LE(out + 20, r.KeepAliveRetries);
  PutUInt8(out + 24, r.Secure ? 1 : 0);
}

TqdAttachReply DecodeAttachReply(const uint8_t* in) {
  TqdAttachReply r;
  r.ClientID = GetUInt32LE(in + 0);
  r.ServerVersion = GetInt32LE(in + 4);
  r.ScramblingCode = GetInt32LE(in + 8);
  r.InactivityInterval = GetInt32LE(in + 12);
  r.KeepAliveInterval = GetInt32LE(in + 16);
  r.KeepAliveRetries = GetInt32LE(in + 20);
  r.Secure = GetUInt8(in + 24) == 1;
  return r;
}

bool IsServerVersionAccepted(int32_t serverVersion) {
  return serverVersion / 100 >= kClientVersion / 100;
}

void EncodeKeepAlive(uint8_t* out) { PutUInt32LE(out, msgKeepAlive); }

bool IsKeepAlive(const uint8_t* data, size_t size) {
  return size >= kKeepAliveSize && GetUInt32LE(data) == msgKeepAlive;
}

}  // namespace qd
