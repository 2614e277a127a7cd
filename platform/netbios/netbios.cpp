#include "platform/netbios/netbios.h"

#include <arpa/inet.h>

#include <charconv>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/netbios/netbios_engine.h"
#include "platform/settings.h"

namespace qd {
namespace {

std::mutex gMutex;
std::optional<TqdNetBIOSConfig> gConfig;
std::unique_ptr<TqdNetBIOSEngine> gEngine;

const TqdNetBIOSConfig& Config() {
  if (!gConfig) gConfig = NetBIOSConfigFromSettings("Client Configuration");
  return *gConfig;
}

void ReadPort(std::string_view section, std::string_view key, uint16_t& port) {
  std::optional<std::string> text = ReadSettingsValue(section, key);
  if (!text) return;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec == std::errc() && end == text->data() + text->size() && value >= 1 && value <= 65535)
    port = static_cast<uint16_t>(value);
}

bool IsIPv4(const std::string& text) {
  in_addr parsed{};
  return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace

TqdNetBIOSConfig NetBIOSConfigFromSettings(std::string_view section) {
  TqdNetBIOSConfig config;
  if (std::optional<std::string> present = ReadSettingsValue(section, "NetBIOS")) config.Present = *present != "0";
  if (std::optional<std::string> list = ReadSettingsValue(section, "NetBIOSInterfaces")) {
    std::stringstream items(*list);
    std::string item;
    while (std::getline(items, item, ',')) {
      size_t b = item.find_first_not_of(' '), e = item.find_last_not_of(' ');
      if (b != std::string::npos && IsIPv4(item.substr(b, e - b + 1))) config.Interfaces.push_back(item.substr(b, e - b + 1));
    }
  }
  ReadPort(section, "NetBIOSNamePort", config.NamePort);
  ReadPort(section, "NetBIOSDatagramPort", config.DatagramPort);
  ReadPort(section, "NetBIOSSessionPort", config.SessionPort);
  if (std::optional<std::string> address = ReadSettingsValue(section, "NetBIOSBroadcastAddress");
      address && IsIPv4(*address))
    config.BroadcastAddress = *address;
  return config;
}

void ConfigureNetBIOS(const TqdNetBIOSConfig& config) {
  std::unique_ptr<TqdNetBIOSEngine> old;
  {
    std::lock_guard lock(gMutex);
    old = std::move(gEngine);
    gConfig = config;
  }
  old.reset();  // outside the lock: its completions may call back
}

bool NetBIOSBound() {
  std::lock_guard lock(gMutex);
  return Config().Present;
}

uint8_t Netbios(NCB* ncb) {
  TqdNetBIOSEngine* engine;
  {
    std::lock_guard lock(gMutex);
    if (!Config().Present) return NRC_ILLCMD;
    if (!gEngine) gEngine = std::make_unique<TqdNetBIOSEngine>(Config());
    engine = gEngine.get();
  }
  return engine->Submit(ncb);
}

}  // namespace qd
