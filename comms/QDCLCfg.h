// The client configuration: which transport to use and which server to
// contact when the program does not say. Read from the settings file
// (platform/settings.h), section [Client Configuration], keys Protocol and
// ServerName, afresh on every call; never written. Optional keys ServerPort,
// ClientDiscoveryPort and DiscoveryAddress move a TCP/IP client off the
// fixed ports 24677/24933 and the broadcast address; without them the fixed
// values hold. IPXPortOffset and IPXDiscoveryAddress set the IPX/SPX
// emulation (platform/ipx_emulation.h).
// Thread rules: reads the environment and the file; safe from any thread
// that does not change the environment meanwhile.
#pragma once

#include <string>

#include "comms/QDLLWsck.h"
#include "comms/protocol_class.h"
#include "platform/ipx_emulation.h"

namespace qd {

inline constexpr const char* kClientConfigurationSection = "Client Configuration";
inline constexpr size_t kServerNameCapacity = 63;

// The configuration name of one of the four classes; empty for nullptr.
std::string GetProtocolName(const TqdProtocolClass* protocolClass);
// The class named by Protocol (ASCII case ignored), else the single-user
// class. `name` is the stored value when it matched, else the class's name.
void GetDefaultProtocol(const TqdProtocolClass*& protocolClass, std::string& name);
const TqdProtocolClass* GetDefaultProtocolClass();
// ServerName, at most 63 characters; empty when absent.
std::string GetDefaultServerName();
// The TCP/IP endpoints a client uses: the fixed ones unless overridden. A
// port that is not a number from 1 to 65535 keeps the fixed value.
TqdWinsockEndpoints GetClientEndpoints();
// The IPX/SPX emulation a client uses: an offset from 0 to
// kMaxIpxPortOffset and a dotted IPv4 discovery address; a value outside
// those keeps the default.
TqdIpxEmulation GetClientIpxEmulation();

}  // namespace qd
