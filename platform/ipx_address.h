// IPX address texts: the network number in 8 hexadecimal digits, ":", and
// the node number as six two-digit groups joined by "-", upper case, e.g.
// 0000ABCD:00-A0-24-11-22-33. When reading, "-" and ":" both separate, the
// first separator ends the network number, digits of either case are taken,
// the network number holds at most 8 digits and the node number at most 12,
// and any other character makes the text invalid.
// Thread rules: pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qd {

struct TqdIpxAddress {
  std::array<uint8_t, 4> Network{};  // in socket-address order
  std::array<uint8_t, 6> Node{};
  friend bool operator==(const TqdIpxAddress&, const TqdIpxAddress&) = default;
};

inline constexpr size_t kIpxAddressTextLength = 26;

std::optional<TqdIpxAddress> ParseIpxAddress(std::string_view text);
std::string FormatIpxAddress(const TqdIpxAddress& address);

}  // namespace qd
