// Transport classes: what a comms engine is told to create its transport
// from. A class has its configuration name and a virtual constructor; a
// transport this platform does not offer yet has no constructor, and
// creating it raises.
// Thread rules: the classes are constants.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "comms/QDLLProt.h"

namespace qd {

struct TqdProtocolClass {
  const char* Name;  // "TCP/IP", "IPX/SPX", "Single User", "NetBIOS"
  std::unique_ptr<TqdBaseCommsProtocol> (*Create)(std::string_view name, uint8_t mode);
};

const TqdProtocolClass& TCPIPProtocolClass();
const TqdProtocolClass& IPXSPXProtocolClass();
const TqdProtocolClass& SingleUserProtocolClass();
const TqdProtocolClass& NetBIOSProtocolClass();

// Raises EqdNetBIOSException (string 132) for NetBIOS while it has no
// constructor on this platform (EqdWinsockException, string 136, for any
// other class without one).
std::unique_ptr<TqdBaseCommsProtocol> CreateProtocol(const TqdProtocolClass& protocolClass,
                                                     std::string_view name, uint8_t mode);

}  // namespace qd
