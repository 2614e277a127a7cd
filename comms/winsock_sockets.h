// The socket calls shared by the parts of the Winsock transports: raising a
// Winsock error from errno, opening a bound socket, closing one that the
// notify window watches, and IPv4 address conversions.
// Thread rules: the transport's thread (the window's owner).
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "platform/inet_address.h"
#include "platform/notify_window.h"

namespace qd {

// Raises EqdWinsockException with the Winsock number of `err`.
[[noreturn]] void RaiseWinsock(int err);
// Stops the window watching `fd`, shuts it down both ways and closes it;
// `fd` becomes -1. Nothing happens for -1.
void CloseSocket(TqdNotifyWindow& window, int& fd);
// A non-blocking socket of `type` (SOCK_STREAM or SOCK_DGRAM) bound to
// `address` (empty: every local address) at `port` (0: a free one),
// selected for `events` on `window`. A stream socket also listens; a
// datagram socket may broadcast. Raises EqdWinsockException, leaving
// nothing open.
int OpenBoundSocket(TqdNotifyWindow& window, int type, const std::string& address, uint16_t port,
                    uint16_t events);
// Sets an integer socket option; raises on failure.
void SetOption(int fd, int level, int option, int value);

// The first address of this host's own name; raises EqdWinsockException
// (string 138) when it has none.
in_addr LocalIPv4();
// The port a socket is bound to (0 when it cannot be read).
uint16_t LocalPort(int fd);
std::string AddressText(in_addr address);

}  // namespace qd
