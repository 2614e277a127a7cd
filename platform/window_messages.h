// Message numbers and event words of the notify windows: the window timer
// message, and the socket-readiness message of the asynchronous select with
// its FD_ event bits and error word.
// Thread rules: constants only.
#pragma once

#include <cstdint>

namespace qd {

inline constexpr uint32_t WM_TIMER = 0x0113;
inline constexpr uint32_t WM_USER = 0x0400;
// Socket readiness: first parameter the socket, second the event word.
inline constexpr uint32_t kSocketEventMessage = WM_USER + 4081;  // 5105

inline constexpr uint16_t FD_READ = 1;
inline constexpr uint16_t FD_WRITE = 2;
inline constexpr uint16_t FD_OOB = 4;
inline constexpr uint16_t FD_ACCEPT = 8;
inline constexpr uint16_t FD_CONNECT = 16;
inline constexpr uint16_t FD_CLOSE = 32;

// The event word: the event in the low 16 bits, a Winsock error code in the
// high 16 bits (0 when none).
inline intptr_t MakeSelectEventWord(uint16_t event, uint16_t error) {
  return static_cast<intptr_t>(static_cast<uint32_t>(event) | (static_cast<uint32_t>(error) << 16));
}
inline uint16_t SelectEvent(intptr_t word) { return static_cast<uint16_t>(word & 0xFFFF); }
inline uint16_t SelectError(intptr_t word) {
  return static_cast<uint16_t>((static_cast<uint32_t>(word) >> 16) & 0xFFFF);
}

}  // namespace qd
