// The NetBIOS-over-TCP packets (RFC 1001/1002) that the NetBIOS emulation
// exchanges: names in their two-level encoding, the name service packets of
// a broadcast node (registration, its refusal, query and answer), the
// session service header and session request, and the datagram service
// packet. Multi-byte fields are in network order. Decoders take untrusted
// bytes: every length is checked and a malformed packet gives nullopt.
// Thread rules: pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qd {

inline constexpr size_t kNetBIOSNameSize = 16;
using TqdNetBIOSName = std::array<uint8_t, kNetBIOSNameSize>;
// Length byte 32, the 32 first-level characters, the empty scope.
inline constexpr size_t kEncodedNameSize = 1 + 32 + 1;

// `text` cut to 16 bytes and padded with blanks.
TqdNetBIOSName MakeNetBIOSName(std::string_view text);
// REQUIRES: out holds kEncodedNameSize bytes.
void EncodeNetBIOSName(const TqdNetBIOSName& name, uint8_t* out);
// The name at `offset` of `packet` (a label pointer is followed once) and
// the bytes it takes there.
std::optional<std::pair<TqdNetBIOSName, size_t>> DecodeNetBIOSName(std::span<const uint8_t> packet, size_t offset);

// --- Name service (UDP) ---
enum class TqdNameOp : uint8_t {
  Registration,          // request, broadcast: may I have this name?
  RegistrationRefused,   // answer of the owner: no (active error)
  Query,                 // request, broadcast: who has this name?
  QueryAnswer,           // answer of the owner: I have, at this address
};
struct TqdNamePacket {
  uint16_t Id = 0;
  TqdNameOp Op = TqdNameOp::Query;
  TqdNetBIOSName Name{};
  uint32_t Address = 0;  // IPv4 in network order (not in a query)
};
std::vector<uint8_t> EncodeNamePacket(const TqdNamePacket& packet);
std::optional<TqdNamePacket> DecodeNamePacket(std::span<const uint8_t> bytes);

// --- Session service (TCP) ---
inline constexpr size_t kSessionHeaderSize = 4;
inline constexpr uint32_t kMaxSessionLength = 0x1FFFF;  // 17 bits
enum TqdSessionType : uint8_t {
  kSessionMessage = 0x00,
  kSessionRequest = 0x81,
  kSessionAccepted = 0x82,
  kSessionRefused = 0x83,
  kSessionKeepAlive = 0x85,
};
// The refusal's one byte: nobody listens on the called name.
inline constexpr uint8_t kSessionCalledNameNotPresent = 0x82;
// REQUIRES: out holds kSessionHeaderSize bytes; length <= kMaxSessionLength.
void EncodeSessionHeader(uint8_t type, uint32_t length, uint8_t* out);
struct TqdSessionHeader {
  uint8_t Type;
  uint32_t Length;
};
std::optional<TqdSessionHeader> DecodeSessionHeader(std::span<const uint8_t> bytes);
// Header, called name, calling name.
std::vector<uint8_t> EncodeSessionRequest(const TqdNetBIOSName& called, const TqdNetBIOSName& calling);
struct TqdSessionNames {
  TqdNetBIOSName Called;
  TqdNetBIOSName Calling;
};
// The two names of a session request's body (the bytes after the header).
std::optional<TqdSessionNames> DecodeSessionRequestBody(std::span<const uint8_t> body);

// --- Datagram service (UDP) ---
inline constexpr size_t kDatagramHeaderSize = 14;
inline constexpr uint8_t kDirectUniqueDatagram = 0x10;
inline constexpr uint8_t kBroadcastDatagram = 0x12;
struct TqdDatagramPacket {
  uint8_t Type = kDirectUniqueDatagram;
  uint16_t Id = 0;
  uint32_t SourceAddress = 0;  // network order
  uint16_t SourcePort = 0;
  TqdNetBIOSName Source{};
  TqdNetBIOSName Destination{};  // "*" and zeros for a broadcast
  std::vector<uint8_t> Data;
};
std::vector<uint8_t> EncodeDatagramPacket(const TqdDatagramPacket& packet);
std::optional<TqdDatagramPacket> DecodeDatagramPacket(std::span<const uint8_t> bytes);
// The destination name of a broadcast datagram.
TqdNetBIOSName BroadcastDatagramName();

}  // namespace qd
