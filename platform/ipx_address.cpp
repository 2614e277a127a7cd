#include "platform/ipx_address.h"

namespace qd {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<TqdIpxAddress> ParseIpxAddress(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint32_t network = 0;
  uint64_t node = 0;
  int networkDigits = 0, nodeDigits = 0;
  bool inNode = false;
  for (char c : text) {
    if (c == ':' || c == '-') {
      inNode = true;
      continue;
    }
    int v = HexValue(c);
    if (v < 0) return std::nullopt;
    if (!inNode) {
      if (++networkDigits > 8) return std::nullopt;
      network = (network << 4) | static_cast<uint32_t>(v);
    } else {
      if (++nodeDigits > 12) return std::nullopt;
      node = (node << 4) | static_cast<uint64_t>(v);
    }
  }
  TqdIpxAddress address;
  for (int i = 0; i < 4; ++i) address.Network[i] = static_cast<uint8_t>(network >> (8 * (3 - i)));
  for (int i = 0; i < 6; ++i) address.Node[i] = static_cast<uint8_t>(node >> (8 * (5 - i)));
  return address;
}

std::string FormatIpxAddress(const TqdIpxAddress& address) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  auto put = [&](uint8_t b) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  };
  for (uint8_t b : address.Network) put(b);
  text += ':';
  for (size_t i = 0; i < address.Node.size(); ++i) {
    if (i > 0) text += '-';
    put(address.Node[i]);
  }
  return text;
}

}  // namespace qd
