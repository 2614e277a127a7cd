// The Winsock error numbers that messages and exceptions carry, mapped from
// POSIX errno values.
// Thread rules: pure functions.
#pragma once

#include <cstdint>

namespace qd {

inline constexpr int32_t WSAEWOULDBLOCK = 10035;
inline constexpr int32_t WSAECONNRESET = 10054;
inline constexpr int32_t WSAECONNREFUSED = 10061;
inline constexpr int32_t WSAETIMEDOUT = 10060;
// The code for an errno without a Winsock counterpart.
inline constexpr int32_t WSAEFAULT = 10014;

// 0 for 0; WSAEFAULT for values without a counterpart.
int32_t WinsockErrorFromErrno(int err);

}  // namespace qd
