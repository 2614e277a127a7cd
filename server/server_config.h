// The server's configuration file: an INI file with the sections [Server]
// (Name, Transports, Port, ClientDiscoveryPort, BindAddress, IPXPortOffset,
// NetBIOSInterfaces, NetBIOSNamePort, NetBIOSDatagramPort,
// NetBIOSSessionPort, NetBIOSBroadcastAddress, Secure, DataDir, KeepAliveInactivity, KeepAliveInterval,
// KeepAliveRetries), [Users]
// (name = password) and [Aliases] (alias = directory). Directories given
// relative are taken from the config file's directory (DataDir) or from
// DataDir (aliases); every directory must exist.
// Thread rules: loaded once at start, then read-only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "comms/keepalive.h"
#include "platform/ipx_emulation.h"
#include "platform/netbios/netbios.h"

namespace qd {

inline constexpr const char* kDefaultServerName = "QDSERVER";
inline constexpr uint16_t kDefaultServerPort = 24677;
inline constexpr uint16_t kDefaultClientDiscoveryPort = 24933;
inline constexpr size_t kServerNameCapacity = 31;
inline constexpr size_t kAliasNameCapacity = 31;
inline constexpr size_t kUserNameCapacity = 31;

enum class TqdServerTransport { TCPIP, SingleUser, IPXSPX, NetBIOS };

struct TqdAliasEntry {
  std::string Name;
  std::string Directory;  // canonical absolute path
};

struct TqdServerConfig {
  std::string Name = kDefaultServerName;
  std::vector<TqdServerTransport> Transports{TqdServerTransport::TCPIP,
                                             TqdServerTransport::SingleUser};
  uint16_t Port = kDefaultServerPort;  // 0: any free port (tests)
  uint16_t ClientDiscoveryPort = kDefaultClientDiscoveryPort;
  std::string BindAddress;  // the one local IPv4 address to serve on; empty: all
  // IPX/SPX: the SPX socket 25189 and the discovery sockets 24677 (the
  // server's) and 24933 (the clients') are served on these ports plus the
  // offset; with Port 0 the SPX stream takes any free port too (tests).
  int32_t IPXPortOffset = kDefaultIpxPortOffset;
  // NetBIOS: the emulation's interfaces (one LANA each), ports and
  // broadcast address; the server registers its Name up to the first ".".
  TqdNetBIOSConfig NetBIOS{};
  bool Secure = true;
  std::string DataDir;                          // canonical absolute path
  std::map<std::string, std::string> Users;     // name (as written) -> password
  std::vector<TqdAliasEntry> Aliases;           // in file order
  // The keep-alive the server announces and keeps: the idle time before it
  // checks a client, the time between checks and the unanswered checks
  // before it hangs up. The defaults unless the file sets them.
  TqdKeepAliveSettings KeepAlive{};

  // The password of `user` (names compare without regard to case); false
  // when the user is not configured.
  bool PasswordOf(const std::string& user, std::string& password) const;
};

// Reads and checks the file. On failure returns false with a message that
// names the file and, where there is one, the line.
bool LoadServerConfig(const std::string& path, TqdServerConfig& config, std::string& error);
// The same from text; `baseDir` stands for the config file's directory.
bool ParseServerConfig(const std::string& text, const std::string& baseDir,
                       TqdServerConfig& config, std::string& error);

// True for 1 to 31 characters from letters, digits, '_', '-' and ' '.
bool IsAliasNameText(const std::string& name);

}  // namespace qd
