#include "comms/discovery.h"

#include <algorithm>

#include "base/endian.h"
#include "base/shortstr.h"
#include "comms/msg_numbers.h"

namespace qd {

void EncodeFindServers(uint8_t* out) { PutUInt32LE(out, msgFindServers); }

bool IsFindServers(const uint8_t* data, size_t size) {
  return size >= kFindServersSize && GetUInt32LE(data) == msgFindServers;
}

void EncodeServerHere(const TqdServerHere& here, uint8_t* out) {
  PutUInt32LE(out, msgServerHere);
  PutShortString(out + 4, here.Name, 31);
  PutShortString(out + 36, here.Address, 31);
}

std::optional<TqdServerHere> DecodeServerHere(const uint8_t* data, size_t size) {
  constexpr size_t kAddressOffset = 36;
  if (size < kAddressOffset + 1 || GetUInt32LE(data) != msgServerHere) return std::nullopt;
  TqdServerHere here;
  here.Name = GetShortString(data + 4, 31);
  size_t available = size - kAddressOffset - 1;
  size_t length = std::min<size_t>(data[kAddressOffset], available);
  here.Address.assign(reinterpret_cast<const char*>(data + kAddressOffset + 1), length);
  return here;
}

std::string ServerListEntry(const TqdServerHere& here) {
  std::string entry = here.Name;
  if (here.Address != here.Name) entry += "@" + here.Address;
  return std::string(TqdNetAddress(entry).View());
}

}  // namespace qd
