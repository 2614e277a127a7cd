#include "server/server_config.h"

#include <arpa/inet.h>
#include <ini.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "server/path_guard.h"

namespace qd {
namespace {

constexpr size_t kMaxConfigBytes = 1u << 20;

std::string Trim(std::string_view text) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool ParsePort(const std::string& text, bool allowZero, uint16_t& port) {
  if (text.empty() || text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  long value = std::stol(text);
  if (value > 65535 || (value == 0 && !allowZero)) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// A whole number from `low` to `high`.
bool ParseBounded(const std::string& text, int32_t low, int32_t high, int32_t& out) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  long value = std::stol(text);
  if (value < low || value > high) return false;
  out = static_cast<int32_t>(value);
  return true;
}

bool ParseTransports(const std::string& text, std::vector<TqdServerTransport>& out) {
  out.clear();
  std::stringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    std::string name = Trim(item);
    TqdServerTransport transport;
    if (EqualNoCase(name, "TCP/IP")) {
      transport = TqdServerTransport::TCPIP;
    } else if (EqualNoCase(name, "Single User")) {
      transport = TqdServerTransport::SingleUser;
    } else if (EqualNoCase(name, "IPX/SPX")) {
      transport = TqdServerTransport::IPXSPX;
    } else if (EqualNoCase(name, "NetBIOS")) {
      transport = TqdServerTransport::NetBIOS;
    } else {
      return false;
    }
    if (std::find(out.begin(), out.end(), transport) == out.end()) out.push_back(transport);
  }
  return !out.empty();
}

// What the INI handler collects before the directories can be resolved.
struct Collected {
  TqdServerConfig* Config;
  std::string DataDir;
  std::vector<std::pair<std::string, std::string>> Aliases;
  std::string Error;
};

bool ServerKey(Collected& c, const std::string& key, const std::string& value) {
  TqdServerConfig& cfg = *c.Config;
  if (EqualNoCase(key, "Name")) {
    if (value.empty()) return false;
    cfg.Name = value.substr(0, kServerNameCapacity);
    return true;
  }
  if (EqualNoCase(key, "Transports")) return ParseTransports(value, cfg.Transports);
  if (EqualNoCase(key, "Port")) return ParsePort(value, true, cfg.Port);
  if (EqualNoCase(key, "ClientDiscoveryPort")) return ParsePort(value, false, cfg.ClientDiscoveryPort);
  if (EqualNoCase(key, "BindAddress")) {
    // A dotted IPv4 address of this machine; empty or "*" for all.
    in_addr parsed{};
    if (value.empty() || value == "*") {
      cfg.BindAddress.clear();
      return true;
    }
    if (inet_pton(AF_INET, value.c_str(), &parsed) != 1) return false;
    cfg.BindAddress = value;
    return true;
  }
  if (EqualNoCase(key, "IPXPortOffset")) return ParseBounded(value, 0, kMaxIpxPortOffset, cfg.IPXPortOffset);
  if (EqualNoCase(key, "NetBIOSNamePort")) return ParsePort(value, false, cfg.NetBIOS.NamePort);
  if (EqualNoCase(key, "NetBIOSDatagramPort")) return ParsePort(value, false, cfg.NetBIOS.DatagramPort);
  if (EqualNoCase(key, "NetBIOSSessionPort")) return ParsePort(value, false, cfg.NetBIOS.SessionPort);
  if (EqualNoCase(key, "NetBIOSBroadcastAddress")) {
    in_addr parsed{};
    cfg.NetBIOS.BroadcastAddress = value;
    return inet_pton(AF_INET, value.c_str(), &parsed) == 1;
  }
  if (EqualNoCase(key, "NetBIOSInterfaces")) {
    cfg.NetBIOS.Interfaces.clear();
    std::stringstream list(value);
    std::string item;
    in_addr parsed{};
    while (std::getline(list, item, ',')) {
      cfg.NetBIOS.Interfaces.push_back(Trim(item));
      if (inet_pton(AF_INET, cfg.NetBIOS.Interfaces.back().c_str(), &parsed) != 1) return false;
    }
    return !cfg.NetBIOS.Interfaces.empty();
  }
  if (EqualNoCase(key, "Secure")) {
    if (value != "0" && value != "1") return false;
    cfg.Secure = value == "1";
    return true;
  }
  // Milliseconds from 100 ms to one hour; retries from 1 to 100.
  if (EqualNoCase(key, "KeepAliveInactivity")) return ParseBounded(value, 100, 3600000, cfg.KeepAlive.InactivityInterval);
  if (EqualNoCase(key, "KeepAliveInterval")) return ParseBounded(value, 100, 3600000, cfg.KeepAlive.CheckInterval);
  if (EqualNoCase(key, "KeepAliveRetries")) return ParseBounded(value, 1, 100, cfg.KeepAlive.Retries);
  if (EqualNoCase(key, "DataDir")) {
    c.DataDir = value;
    return !value.empty();
  }
  return false;
}

int Handler(void* user, const char* section, const char* name, const char* rawValue) {
  auto& c = *static_cast<Collected*>(user);
  std::string key = Trim(name);
  std::string value = Trim(rawValue);
  bool ok = false;
  if (EqualNoCase(section, "Server")) {
    ok = ServerKey(c, key, value);
  } else if (EqualNoCase(section, "Users")) {
    ok = !key.empty() && key.size() <= kUserNameCapacity && value.size() <= kUserNameCapacity;
    if (ok) c.Config->Users[key] = value;
  } else if (EqualNoCase(section, "Aliases")) {
    ok = IsAliasNameText(key) && !value.empty();
    if (ok) c.Aliases.emplace_back(key, value);
  }
  if (!ok && c.Error.empty())
    c.Error = "invalid setting [" + std::string(section) + "] " + key + " = " + value;
  return ok ? 1 : 0;
}

bool ResolveDirectories(Collected& c, const std::string& baseDir, std::string& error) {
  TqdServerConfig& cfg = *c.Config;
  std::string dataDir = c.DataDir.empty() ? baseDir
                        : c.DataDir.front() == '/' ? c.DataDir
                                                   : baseDir + "/" + c.DataDir;
  auto canonical = CanonicalDirectory(dataDir);
  if (!canonical) {
    error = "DataDir is not an existing directory: " + dataDir;
    return false;
  }
  cfg.DataDir = *canonical;
  cfg.Aliases.clear();
  for (const auto& [name, dir] : c.Aliases) {
    std::string path = dir.front() == '/' ? dir : cfg.DataDir + "/" + dir;
    auto aliasDir = CanonicalDirectory(path);
    if (!aliasDir) {
      error = "alias " + name + ": not an existing directory: " + path;
      return false;
    }
    for (const TqdAliasEntry& known : cfg.Aliases) {
      if (EqualNoCase(known.Name, name)) {
        error = "alias " + name + " is given twice";
        return false;
      }
    }
    cfg.Aliases.push_back({name, *aliasDir});
  }
  if (cfg.Secure && cfg.Users.empty()) {
    error = "Secure=1 needs at least one user in [Users]";
    return false;
  }
  return true;
}

}  // namespace

bool TqdServerConfig::PasswordOf(const std::string& user, std::string& password) const {
  for (const auto& [name, value] : Users) {
    if (EqualNoCase(name, user)) {
      password = value;
      return true;
    }
  }
  return false;
}

bool IsAliasNameText(const std::string& name) {
  if (name.empty() || name.size() > kAliasNameCapacity) return false;
  return std::all_of(name.begin(), name.end(), [](char ch) {
    return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-' || ch == ' ';
  });
}

bool ParseServerConfig(const std::string& text, const std::string& baseDir,
                       TqdServerConfig& config, std::string& error) {
  config = TqdServerConfig{};
  Collected collected{&config, {}, {}, {}};
  int line = ini_parse_string(text.c_str(), Handler, &collected);
  if (line != 0) {
    error = line > 0 ? "line " + std::to_string(line) + ": " + collected.Error
                     : "cannot read the file";
    return false;
  }
  return ResolveDirectories(collected, baseDir, error);
}

bool LoadServerConfig(const std::string& path, TqdServerConfig& config, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the file";
    return false;
  }
  // Read no more than the limit allows: the path may name a device or a
  // pipe that never ends.
  std::string text(kMaxConfigBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kMaxConfigBytes) {
    error = path + ": the file is too large";
    return false;
  }
  std::string dir = ".";
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos) dir = slash == 0 ? "/" : path.substr(0, slash);
  if (!ParseServerConfig(text, dir, config, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace qd
