#include "comms/winsock_sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/QDLLExcp.h"
#include "base/string_ids.h"
#include "comms/QDLLWsck.h"
#include "platform/socket_errors.h"

namespace qd {

[[noreturn]] void RaiseWinsock(int err) {
  throw EqdWinsockException::CreateForWinsockCode(WinsockErrorFromErrno(err));
}

void CloseSocket(TqdNotifyWindow& window, int& fd) {
  if (fd < 0) return;
  window.CancelSelect(fd);
  shutdown(fd, SHUT_RDWR);
  close(fd);
  fd = -1;
}

in_addr LocalIPv4() {
  char host[256] = {};
  std::optional<in_addr> local;
  if (gethostname(host, sizeof host - 1) == 0) local = ResolveIPv4(host);
  if (!local) RaiseTableError<EqdWinsockException>(GeneralStrings(), gsWinsockNoLocalAddress);
  return *local;
}

uint16_t LocalPort(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

std::string AddressText(in_addr address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

void SetOption(int fd, int level, int option, int value) {
  if (setsockopt(fd, level, option, &value, sizeof value) != 0) RaiseWinsock(errno);
}

int OpenBoundSocket(TqdNotifyWindow& window, int type, const std::string& address, uint16_t port,
                    uint16_t events) {
  in_addr local{htonl(INADDR_ANY)};
  if (!address.empty()) {
    std::optional<in_addr> given = ResolveIPv4(address);
    if (!given) RaiseWinsock(EADDRNOTAVAIL);
    local = *given;
  }
  int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseTableError<EqdWinsockException>(GeneralStrings(), gsWinsockCannotCreateSocket);
  try {
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (type == SOCK_DGRAM) SetOption(fd, SOL_SOCKET, SO_BROADCAST, 1);
    sockaddr_in sa = SocketAddress(local, port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) RaiseWinsock(errno);
    if (type == SOCK_STREAM && listen(fd, 64) != 0) RaiseWinsock(errno);
    if (int err = window.AsyncSelect(fd, events); err != 0) RaiseWinsock(err);
  } catch (...) {
    close(fd);
    throw;
  }
  return fd;
}

std::optional<in_addr> ResolveIPv4(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::string name(text);
  in_addr address{};
  if (inet_pton(AF_INET, name.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

}  // namespace qd
