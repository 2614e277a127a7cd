// The NetBIOS emulation for tests: one LANA on 127.0.0.1, ports that were
// free a moment ago, broadcasts to 127.255.255.255 and short name waits.
#pragma once

#include <sys/socket.h>

#include "platform/netbios/netbios.h"
#include "tests/support/free_port.h"

namespace qd::test {

inline TqdNetBIOSConfig LoopbackNetBIOS() {
  TqdNetBIOSConfig config;
  config.Interfaces = {"127.0.0.1"};
  config.NamePort = FreeLoopbackPort(SOCK_DGRAM);
  config.DatagramPort = FreeLoopbackPort(SOCK_DGRAM);
  config.SessionPort = FreeLoopbackPort(SOCK_STREAM);
  config.BroadcastAddress = "127.255.255.255";
  config.NameWaitMs = 200;
  return config;
}

}  // namespace qd::test
