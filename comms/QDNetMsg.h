// The message envelope: the 24-byte header in front of every message part,
// the records of attach and login, and the messages that travel without a
// header (keep-alive, discovery datagrams). Scrambling is in scramble.h,
// bundles in bundle.h, the message numbers in msg_numbers.h.
// Thread rules: pure functions on caller-owned buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "comms/msg_numbers.h"

namespace qd {

// MsgID 4 + MsgLen 4 + TotalSize 4 + ClientID 4 + ResultCode 2 + Timeout 2
// + FirstPart 1 + LastPart 1 + DataKind 1 + filler 1.
inline constexpr uint32_t kMsgHeaderSize = 4 + 4 + 4 + 4 + 2 + 2 + 1 + 1 + 1 + 1;
static_assert(kMsgHeaderSize == 24);

inline constexpr uint8_t kDataKindBlock = 0;
inline constexpr uint8_t kDataKindStream = 1;
// The time-out a client grants the server in every request.
inline constexpr uint16_t kRequestTimeoutField = 10000;
// Largest message data a receiver accepts: a sane cap on TotalSize.
inline constexpr uint32_t kMaxMessageDataSize = 64u << 20;

struct TqdMsgHeader {
  TqdMsgID MsgID = 0;
  uint32_t MsgLen = kMsgHeaderSize;
  uint32_t TotalSize = 0;
  uint32_t ClientID = 0;
  uint16_t ResultCode = 0;
  uint16_t Timeout = 0;
  uint8_t FirstPart = 1;
  uint8_t LastPart = 1;
  uint8_t DataKind = kDataKindBlock;
  uint8_t Filler = 0;
};

// REQUIRES: `out` / `in` hold kMsgHeaderSize bytes.
void EncodeMsgHeader(const TqdMsgHeader& header, uint8_t* out);
TqdMsgHeader DecodeMsgHeader(const uint8_t* in);

// The MsgID and MsgLen of a part, which travel unscrambled so that a stream
// can be framed before it is unscrambled. REQUIRES: 8 bytes.
uint32_t PeekMsgID(const uint8_t* part);
uint32_t PeekMsgLen(const uint8_t* part);

// True when a received header can be right for a part of `partSize` bytes on
// a transport whose largest part is `maxMsgSize`: the flags are 0 or 1,
// MsgLen equals the part size and lies in 24..maxMsgSize, TotalSize is at
// most kMaxMessageDataSize, a first part carries no more than TotalSize and
// a one-part message exactly TotalSize. Anything else means the two sides
// no longer agree (most often they do not share the scrambling key).
bool IsSoundHeader(const TqdMsgHeader& header, size_t partSize, uint32_t maxMsgSize);

// The client's part acknowledgement: a bare header, message 5.
TqdMsgHeader PartAckHeader(uint32_t clientId);

// Attach request, message 11: client name and user name, short strings of
// capacity 31 each.
inline constexpr uint32_t kAttachRequestSize = 32 + 32;
struct TqdAttachRequest {
  std::string ClientName;
  std::string UserName;
};
void EncodeAttachRequest(const TqdAttachRequest& request, uint8_t* out);
// nullopt when fewer than kAttachRequestSize bytes arrived.
std::optional<TqdAttachRequest> DecodeAttachRequest(const uint8_t* in, size_t size);

// Attach reply, message 11: client id 4, server version 4, scrambling code
// 4, inactivity interval 4, keep-alive check interval 4, keep-alive retries
// 4, secure 1.
inline constexpr uint32_t kAttachReplySize = 4 + 4 + 4 + 4 + 4 + 4 + 1;
static_assert(kAttachReplySize == 25);
struct TqdAttachReply {
  uint32_t ClientID = 0;
  int32_t ServerVersion = 0;
  int32_t ScramblingCode = 0;
  int32_t InactivityInterval = 5000;
  int32_t KeepAliveInterval = 2500;
  int32_t KeepAliveRetries = 5;
  bool Secure = false;
};
void EncodeAttachReply(const TqdAttachReply& reply, uint8_t* out);
TqdAttachReply DecodeAttachReply(const uint8_t* in);  // REQUIRES: 25 bytes

// The client's own version; a server below 152 hundreds is refused.
inline constexpr int32_t kClientVersion = 15200;
bool IsServerVersionAccepted(int32_t serverVersion);

// Keep-alive: the 4-byte integer 10, no header, never scrambled.
inline constexpr uint32_t kKeepAliveSize = 4;
void EncodeKeepAlive(uint8_t* out);
bool IsKeepAlive(const uint8_t* data, size_t size);

}  // namespace qd
