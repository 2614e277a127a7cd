// The NetBIOS call interface, emulated over NetBIOS-over-TCP (RFC 1001/1002)
// on IPv4 since Linux has none: names are registered and looked up with
// broadcast name service packets (a name that another node owns is refused
// with code 13), sessions are TCP connections with the session request and
// session message framing (message boundaries kept), datagrams are UDP
// datagram service packets. Every datagram, directed or not, is sent to the
// broadcast address and kept by the nodes that own its destination name, so
// that several processes of one host can share the datagram port. One LANA
// per configured interface. Asynchronous commands complete on the
// emulation's own I/O thread (no thread per NCB).
// Thread rules: Netbios may be called from any thread; ConfigureNetBIOS
// only while no NCB is pending.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/netbios/ncb.h"

namespace qd {

struct TqdNetBIOSConfig {
  bool Present = true;                  // false: as if the platform had no NetBIOS
  std::vector<std::string> Interfaces;  // dotted IPv4, one LANA each; empty: the host name's address
  uint16_t NamePort = 137;
  uint16_t DatagramPort = 138;
  uint16_t SessionPort = 139;
  std::string BroadcastAddress = "255.255.255.255";
  // How long a registration waits for a refusal, and a lookup for an answer.
  int32_t NameWaitMs = 750;
};

// Replaces the configuration; a running emulation is stopped first (its
// pending NCBs complete with code 11). Until called, the configuration is
// read from the settings file at first use (NetBIOSConfigFromSettings of
// section [Client Configuration]).
void ConfigureNetBIOS(const TqdNetBIOSConfig& config);
// Keys NetBIOS (0 for absent), NetBIOSInterfaces (comma list),
// NetBIOSNamePort, NetBIOSDatagramPort, NetBIOSSessionPort,
// NetBIOSBroadcastAddress of `section`; defaults for what is missing or
// invalid.
TqdNetBIOSConfig NetBIOSConfigFromSettings(std::string_view section);
// False when the configuration says NetBIOS is absent: every command then
// answers 3 without touching the NCB.
bool NetBIOSBound();
// Issues `ncb`: a synchronous command returns its completion code; an
// asynchronous one returns 0 once taken (or the code of its refusal).
uint8_t Netbios(NCB* ncb);

}  // namespace qd
