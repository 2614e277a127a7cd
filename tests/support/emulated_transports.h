// A qd-server and its clients over the emulated transports, IPX/SPX or
// NetBIOS, on loopback: ports that were free a moment ago, the server's
// [Server] lines for them and the clients' [Client Configuration] lines.
// TCP/IP is served too, so that the server's start can be seen.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "comms/ipx_spx.h"
#include "platform/netbios/netbios.h"
#include "tests/support/free_ipx_offset.h"
#include "tests/support/free_port.h"
#include "tests/support/netbios_loopback.h"

namespace qd::test {

struct EmulatedTransportPorts {
  // A fixed TCP/IP port keeps SPX on the port its offset gives, where the
  // client looks for it (with Port = 0 both streams would take any port).
  uint16_t Port = FreeLoopbackPort(SOCK_STREAM);
  int32_t IpxOffset = FreeSpxOffset();
  TqdNetBIOSConfig NetBIOS = LoopbackNetBIOS();

  static int32_t FreeSpxOffset() {
    int32_t offset = FreeIpxPortOffset();
    for (int i = 0; i < 100 && !LoopbackPortIsFree(SOCK_STREAM, static_cast<uint16_t>(kSpxServerSocket + offset)); ++i)
      offset = FreeIpxPortOffset();
    return offset;
  }

  // `protocol` is "IPX/SPX" or "NetBIOS".
  std::string ServerLines(const std::string& protocol) const {
    std::ostringstream out;
    out << "Transports = TCP/IP, " << protocol << "\nPort = " << Port << "\nIPXPortOffset = " << IpxOffset
        << "\n" << NetBIOSLines();
    return out.str();
  }
  std::string ClientLines(const std::string& protocol, const std::string& serverName) const {
    std::ostringstream out;
    out << "Protocol = " << protocol << "\nServerName = " << serverName
        << (protocol == "IPX/SPX" ? "@00000000:00-00-7F-00-00-01" : "") << "\nIPXPortOffset = " << IpxOffset
        << "\nIPXDiscoveryAddress = 127.255.255.255\n" << NetBIOSLines();
    return out.str();
  }

 private:
  std::string NetBIOSLines() const {
    std::ostringstream out;
    out << "NetBIOSInterfaces = 127.0.0.1\nNetBIOSNamePort = " << NetBIOS.NamePort << "\nNetBIOSDatagramPort = "
        << NetBIOS.DatagramPort << "\nNetBIOSSessionPort = " << NetBIOS.SessionPort
        << "\nNetBIOSBroadcastAddress = 127.255.255.255\n";
    return out.str();
  }
};

}  // namespace qd::test
