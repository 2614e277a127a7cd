// TqdIPXSPXProtocol: the Winsock transport over SPX streams and IPX
// discovery datagrams, on the IPX/SPX emulation of platform/ipx_emulation.h.
// Everything but the address family is the TCP/IP transport's: the framing,
// the 5000 ms call (a refused call ends at once), the failure handling.
// Addresses are IPX address texts ("00000000:00-00-7F-00-00-01"); the server
// listens on SPX socket 25189 and for discovery on IPX socket 24677, a
// client on 24933, each carried on the port "socket + PortOffset".
// Thread rules: as every transport (QDLLProt.h).
#pragma once

#include "comms/QDLLWsck.h"
#include "platform/ipx_emulation.h"

namespace qd {

inline constexpr uint16_t kSpxServerSocket = 0x6265;          // 25189
inline constexpr uint16_t kIpxServerDiscoverySocket = 0x6065;  // 24677
inline constexpr uint16_t kIpxClientDiscoverySocket = 0x6165;  // 24933

class TqdIPXSPXProtocol : public TqdWinsockProtocol {
 public:
  // Raises EqdWinsockException (string 138) when the host's own address
  // cannot be found. In calling mode the emulation's settings come from the
  // client configuration.
  TqdIPXSPXProtocol(std::string_view name, uint8_t mode);

  // Sets the offset and discovery address, and with them Endpoints (the
  // three fixed sockets as ports, the broadcast target).
  void SetEmulation(const TqdIpxEmulation& emulation);
  TqdIpxEmulation Emulation() const { return {portOffset_, Endpoints.BroadcastAddress}; }

 protected:
  std::optional<in_addr> ResolveTarget(std::string_view address) override;
  std::string AddressTextOf(in_addr address) override;
  ssize_t SendDatagramBytes(int fd, const sockaddr_in& to, const uint8_t* data, size_t size) override;
  ssize_t ReceiveDatagramBytes(int fd, uint8_t* buffer, size_t size, in_addr& from) override;

 private:
  int32_t portOffset_ = kDefaultIpxPortOffset;
};

}  // namespace qd
