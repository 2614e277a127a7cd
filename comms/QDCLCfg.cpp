#include "comms/QDCLCfg.h"

#include <arpa/inet.h>

#include <charconv>

#include "base/shortstr.h"
#include "platform/settings.h"

namespace qd {
namespace {

std::optional<std::string> Value(std::string_view key) {
  return ReadSettingsValue(kClientConfigurationSection, key);
}

// The whole number `key` holds when it lies from `low` to `high`, else `fixed`.
int32_t NumberOr(std::string_view key, int32_t low, int32_t high, int32_t fixed) {
  std::optional<std::string> text = Value(key);
  if (!text) return fixed;
  int32_t number = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), number);
  if (ec != std::errc() || end != text->data() + text->size() || number < low || number > high) return fixed;
  return number;
}

uint16_t PortOr(std::string_view key, uint16_t fixed) { return static_cast<uint16_t>(NumberOr(key, 1, 65535, fixed)); }

}  // namespace

std::string GetProtocolName(const TqdProtocolClass* protocolClass) {
  return protocolClass == nullptr ? std::string() : std::string(protocolClass->Name);
}

void GetDefaultProtocol(const TqdProtocolClass*& protocolClass, std::string& name) {
  protocolClass = &SingleUserProtocolClass();
  name = protocolClass->Name;
  std::optional<std::string> stored = Value("Protocol");
  if (!stored) return;
  for (const TqdProtocolClass* candidate :
       {&TCPIPProtocolClass(), &IPXSPXProtocolClass(), &SingleUserProtocolClass(), &NetBIOSProtocolClass()}) {
    std::string_view known = candidate->Name;
    if (known.size() == stored->size() && CompareShortTextNoCase(known, *stored, known.size()) == 0) {
      protocolClass = candidate;
      name = *stored;
      return;
    }
  }
}

const TqdProtocolClass* GetDefaultProtocolClass() {
  const TqdProtocolClass* protocolClass;
  std::string name;
  GetDefaultProtocol(protocolClass, name);
  return protocolClass;
}

std::string GetDefaultServerName() {
  std::string name = Value("ServerName").value_or("");
  if (name.size() > kServerNameCapacity) name.resize(kServerNameCapacity);
  return name;
}

TqdWinsockEndpoints GetClientEndpoints() {
  TqdWinsockEndpoints endpoints;
  endpoints.StreamPort = PortOr("ServerPort", kServerStreamPort);
  endpoints.ServerDiscoveryPort = endpoints.StreamPort;
  endpoints.ClientDiscoveryPort = PortOr("ClientDiscoveryPort", kClientDiscoveryPort);
  if (std::optional<std::string> address = Value("DiscoveryAddress"); address && !address->empty())
    endpoints.BroadcastAddress = *address;
  return endpoints;
}

TqdIpxEmulation GetClientIpxEmulation() {
  TqdIpxEmulation emulation;
  emulation.PortOffset = NumberOr("IPXPortOffset", 0, kMaxIpxPortOffset, kDefaultIpxPortOffset);
  in_addr parsed{};
  if (std::optional<std::string> address = Value("IPXDiscoveryAddress");
      address && inet_pton(AF_INET, address->c_str(), &parsed) == 1)
    emulation.DiscoveryAddress = *address;
  return emulation;
}

}  // namespace qd
