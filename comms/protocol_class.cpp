#include "comms/protocol_class.h"

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "comms/QDLLWsck.h"
#include "comms/ipx_spx.h"
#include "comms/netbios_transport.h"
#include "comms/single_user.h"

namespace qd {
namespace {

template <class T>
std::unique_ptr<TqdBaseCommsProtocol> Make(std::string_view name, uint8_t mode) {
  return std::make_unique<T>(name, mode);
}

}  // namespace

const TqdProtocolClass& TCPIPProtocolClass() {
  static const TqdProtocolClass c{"TCP/IP", &Make<TqdTCPIPProtocol>};
  return c;
}
const TqdProtocolClass& IPXSPXProtocolClass() {
  static const TqdProtocolClass c{"IPX/SPX", &Make<TqdIPXSPXProtocol>};
  return c;
}
const TqdProtocolClass& SingleUserProtocolClass() {
  static const TqdProtocolClass c{"Single User", &Make<TqdSingleUserProtocol>};
  return c;
}
const TqdProtocolClass& NetBIOSProtocolClass() {
  static const TqdProtocolClass c{"NetBIOS", &Make<TqdNetBIOSProtocol>};
  return c;
}

std::unique_ptr<TqdBaseCommsProtocol> CreateProtocol(const TqdProtocolClass& protocolClass,
                                                     std::string_view name, uint8_t mode) {
  if (protocolClass.Create != nullptr) return protocolClass.Create(name, mode);
  if (&protocolClass == &NetBIOSProtocolClass())
    RaiseTableError<EqdNetBIOSException>(GeneralStrings(), gsNetBIOSDriverNotFound);
  RaiseTableError<EqdWinsockException>(GeneralStrings(), gsWinsockNotFound);
}

}  // namespace qd
