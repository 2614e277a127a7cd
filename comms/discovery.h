// The discovery datagrams, which travel without a header and are never
// scrambled: the request (the 4-byte integer 6, broadcast by a client) and
// the answer of a server (the integer 7, its name at offset 4 as a short
// string of capacity 31, its address at offset 36 as a short string).
// Thread rules: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qd {

inline constexpr uint32_t kFindServersSize = 4;
// Integer 7 4 + name 32 + address 32 (the address is written with capacity
// 31, the same as the address part of a server address).
inline constexpr uint32_t kServerHereSize = 4 + 32 + 32;
// Datagrams are read into buffers of this size.
inline constexpr uint32_t kDatagramBufferSize = 128;

void EncodeFindServers(uint8_t* out);
bool IsFindServers(const uint8_t* data, size_t size);

struct TqdServerHere {
  std::string Name;
  std::string Address;
};
void EncodeServerHere(const TqdServerHere& here, uint8_t* out);
// nullopt unless the datagram starts with 7 and reaches the address's length
// byte; a length byte beyond the datagram is cut to the bytes present.
std::optional<TqdServerHere> DecodeServerHere(const uint8_t* data, size_t size);

// The server-list entry of an answer: "name@address", or the name alone when
// both are the same, cut to 63 characters.
std::string ServerListEntry(const TqdServerHere& here);

}  // namespace qd
