#include "platform/netbios/nbt_packets.h"

#include <algorithm>
#include <cstring>

namespace qd {
namespace {

// Name service header flags: response, opcode, authoritative answer,
// recursion desired and available, broadcast, and the result code.
constexpr uint16_t kResponse = 0x8000;
constexpr uint16_t kOpRegistration = 5 << 11;
constexpr uint16_t kAuthoritative = 0x0400;
constexpr uint16_t kRecursionDesired = 0x0100;
constexpr uint16_t kRecursionAvailable = 0x0080;
constexpr uint16_t kBroadcastFlag = 0x0010;
constexpr uint16_t kActiveError = 6;  // the name is owned by another node
constexpr uint16_t kTypeNB = 0x0020;
constexpr uint16_t kClassIN = 0x0001;
constexpr size_t kNameHeaderSize = 12;
// Type, class, time to live, data length; then the flags and the address.
constexpr size_t kRecordFieldsSize = 2 + 2 + 4 + 2;
constexpr size_t kAddressDataSize = 2 + 4;
constexpr uint8_t kFirstFragment = 0x02;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void PutName(std::vector<uint8_t>& out, const TqdNetBIOSName& name) {
  size_t at = out.size();
  out.resize(at + kEncodedNameSize);
  EncodeNetBIOSName(name, out.data() + at);
}

// An address record's fields after its name: NB, IN, TTL 0, 6 bytes of
// data (unique name of a broadcast node, the address in network order).
void PutAddressRecord(std::vector<uint8_t>& out, uint32_t address) {
  Put16(out, kTypeNB);
  Put16(out, kClassIN);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, kAddressDataSize);
  Put16(out, 0);
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address);
  out.insert(out.end(), bytes, bytes + 4);
}

std::optional<uint32_t> GetAddressRecord(std::span<const uint8_t> packet, size_t at) {
  if (at + kRecordFieldsSize + kAddressDataSize > packet.size()) return std::nullopt;
  if (Get16(&packet[at + 8]) < kAddressDataSize) return std::nullopt;
  uint32_t address;
  std::memcpy(&address, &packet[at + kRecordFieldsSize + 2], 4);
  return address;
}

uint16_t FlagsOf(TqdNameOp op) {
  switch (op) {
    case TqdNameOp::Registration: return kOpRegistration | kRecursionDesired | kBroadcastFlag;
    case TqdNameOp::RegistrationRefused:
      return kResponse | kOpRegistration | kAuthoritative | kRecursionDesired | kRecursionAvailable | kActiveError;
    case TqdNameOp::Query: return kRecursionDesired | kBroadcastFlag;
    case TqdNameOp::QueryAnswer: return kResponse | kAuthoritative | kRecursionDesired;
  }
  return 0;
}

}  // namespace

TqdNetBIOSName MakeNetBIOSName(std::string_view text) {
  TqdNetBIOSName name;
  name.fill(' ');
  std::copy_n(text.begin(), std::min(text.size(), kNetBIOSNameSize), name.begin());
  return name;
}

void EncodeNetBIOSName(const TqdNetBIOSName& name, uint8_t* out) {
  out[0] = 32;
  for (size_t i = 0; i < kNetBIOSNameSize; ++i) {
    out[1 + 2 * i] = static_cast<uint8_t>('A' + (name[i] >> 4));
    out[2 + 2 * i] = static_cast<uint8_t>('A' + (name[i] & 15));
  }
  out[33] = 0;  // no scope
}

std::optional<std::pair<TqdNetBIOSName, size_t>> DecodeNetBIOSName(std::span<const uint8_t> packet, size_t offset) {
  size_t at = offset;
  size_t taken = kEncodedNameSize;
  if (at + 2 <= packet.size() && (packet[at] & 0xC0) == 0xC0) {
    at = static_cast<size_t>(((packet[at] & 0x3F) << 8) | packet[at + 1]);
    taken = 2;
  }
  if (at + kEncodedNameSize > packet.size() || packet[at] != 32 || packet[at + 33] != 0) return std::nullopt;
  TqdNetBIOSName name;
  for (size_t i = 0; i < kNetBIOSNameSize; ++i) {
    uint8_t high = packet[at + 1 + 2 * i] - 'A';
    uint8_t low = packet[at + 2 + 2 * i] - 'A';
    if (high > 15 || low > 15) return std::nullopt;
    name[i] = static_cast<uint8_t>((high << 4) | low);
  }
  return std::make_pair(name, taken);
}

std::vector<uint8_t> EncodeNamePacket(const TqdNamePacket& p) {
  bool question = p.Op == TqdNameOp::Registration || p.Op == TqdNameOp::Query;
  std::vector<uint8_t> out;
  Put16(out, p.Id);
  Put16(out, FlagsOf(p.Op));
  Put16(out, question ? 1 : 0);                          // questions
  Put16(out, question ? 0 : 1);                          // answers
  Put16(out, 0);                                         // authorities
  Put16(out, p.Op == TqdNameOp::Registration ? 1 : 0);   // additional records
  PutName(out, p.Name);
  if (question) {
    Put16(out, kTypeNB);
    Put16(out, kClassIN);
  }
  if (p.Op == TqdNameOp::Registration) Put16(out, 0xC000 | kNameHeaderSize);  // the question's name again
  if (p.Op != TqdNameOp::Query) PutAddressRecord(out, p.Address);
  return out;
}

std::optional<TqdNamePacket> DecodeNamePacket(std::span<const uint8_t> bytes) {
  if (bytes.size() < kNameHeaderSize) return std::nullopt;
  uint16_t flags = Get16(&bytes[2]);
  bool response = (flags & kResponse) != 0;
  uint16_t opcode = (flags >> 11) & 15;
  uint16_t rcode = flags & 15;
  TqdNamePacket p;
  p.Id = Get16(&bytes[0]);
  if (opcode == 5 && !response) p.Op = TqdNameOp::Registration;
  else if (opcode == 5 && rcode != 0) p.Op = TqdNameOp::RegistrationRefused;
  else if (opcode == 0 && !response) p.Op = TqdNameOp::Query;
  else if (opcode == 0 && rcode == 0) p.Op = TqdNameOp::QueryAnswer;
  else return std::nullopt;
  bool question = !response;
  if ((question ? Get16(&bytes[4]) : Get16(&bytes[6])) == 0) return std::nullopt;
  auto name = DecodeNetBIOSName(bytes, kNameHeaderSize);
  if (!name) return std::nullopt;
  p.Name = name->first;
  size_t at = kNameHeaderSize + name->second;
  if (question) {
    if (at + 4 > bytes.size()) return std::nullopt;  // type and class
    at += 4;
  }
  if (p.Op == TqdNameOp::Query) return p;
  if (p.Op == TqdNameOp::Registration) {
    if (Get16(&bytes[10]) == 0) return std::nullopt;
    auto again = DecodeNetBIOSName(bytes, at);
    if (!again || again->first != p.Name) return std::nullopt;
    at += again->second;
  }
  std::optional<uint32_t> address = GetAddressRecord(bytes, at);
  if (!address) return std::nullopt;
  p.Address = *address;
  return p;
}

void EncodeSessionHeader(uint8_t type, uint32_t length, uint8_t* out) {
  out[0] = type;
  out[1] = static_cast<uint8_t>((length >> 16) & 1);
  out[2] = static_cast<uint8_t>(length >> 8);
  out[3] = static_cast<uint8_t>(length);
}

std::optional<TqdSessionHeader> DecodeSessionHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kSessionHeaderSize || (bytes[1] & 0xFE) != 0) return std::nullopt;
  return TqdSessionHeader{bytes[0], (static_cast<uint32_t>(bytes[1]) << 16) | Get16(&bytes[2])};
}

std::vector<uint8_t> EncodeSessionRequest(const TqdNetBIOSName& called, const TqdNetBIOSName& calling) {
  std::vector<uint8_t> out(kSessionHeaderSize);
  EncodeSessionHeader(kSessionRequest, 2 * kEncodedNameSize, out.data());
  PutName(out, called);
  PutName(out, calling);
  return out;
}

std::optional<TqdSessionNames> DecodeSessionRequestBody(std::span<const uint8_t> body) {
  auto called = DecodeNetBIOSName(body, 0);
  if (!called || called->second != kEncodedNameSize) return std::nullopt;
  auto calling = DecodeNetBIOSName(body, kEncodedNameSize);
  if (!calling || calling->second != kEncodedNameSize) return std::nullopt;
  return TqdSessionNames{called->first, calling->first};
}

std::vector<uint8_t> EncodeDatagramPacket(const TqdDatagramPacket& p) {
  std::vector<uint8_t> out;
  out.push_back(p.Type);
  out.push_back(kFirstFragment);
  Put16(out, p.Id);
  const auto* ip = reinterpret_cast<const uint8_t*>(&p.SourceAddress);
  out.insert(out.end(), ip, ip + 4);
  Put16(out, p.SourcePort);
  Put16(out, static_cast<uint16_t>(2 * kEncodedNameSize + p.Data.size()));
  Put16(out, 0);  // offset of this fragment
  PutName(out, p.Source);
  PutName(out, p.Destination);
  out.insert(out.end(), p.Data.begin(), p.Data.end());
  return out;
}

std::optional<TqdDatagramPacket> DecodeDatagramPacket(std::span<const uint8_t> bytes) {
  constexpr size_t kNamesEnd = kDatagramHeaderSize + 2 * kEncodedNameSize;
  if (bytes.size() < kNamesEnd) return std::nullopt;
  TqdDatagramPacket p;
  p.Type = bytes[0];
  if (p.Type != kDirectUniqueDatagram && p.Type != kBroadcastDatagram) return std::nullopt;
  size_t length = Get16(&bytes[10]);
  if (length < 2 * kEncodedNameSize || kDatagramHeaderSize + length != bytes.size()) return std::nullopt;
  p.Id = Get16(&bytes[2]);
  std::memcpy(&p.SourceAddress, &bytes[4], 4);
  p.SourcePort = Get16(&bytes[8]);
  auto source = DecodeNetBIOSName(bytes, kDatagramHeaderSize);
  auto destination = DecodeNetBIOSName(bytes, kDatagramHeaderSize + kEncodedNameSize);
  if (!source || !destination || source->second != kEncodedNameSize || destination->second != kEncodedNameSize)
    return std::nullopt;
  p.Source = source->first;
  p.Destination = destination->first;
  p.Data.assign(bytes.begin() + kNamesEnd, bytes.end());
  return p;
}

TqdNetBIOSName BroadcastDatagramName() {
  TqdNetBIOSName name{};
  name[0] = '*';
  return name;
}

}  // namespace qd
