// The network control block of the NetBIOS call interface, with the command
// and return-code values the platform defines. A command with kAsynch added
// returns at once (code 0 when it was taken, its completion code 255 while
// it runs); on completion ncb_retcode and ncb_cmd_cplt get the code and
// ncb_post, when set, is called on the emulation's I/O thread.
// Thread rules: a pending NCB belongs to the emulation until it completes;
// its owner reads ncb_cmd_cplt from any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace qd {

inline constexpr int NCBNAMSZ = 16;

struct NCB {
  uint8_t ncb_command = 0;
  std::atomic<uint8_t> ncb_retcode{0};
  uint8_t ncb_lsn = 0;
  uint8_t ncb_num = 0;
  uint8_t* ncb_buffer = nullptr;
  uint16_t ncb_length = 0;
  uint8_t ncb_callname[NCBNAMSZ] = {};
  uint8_t ncb_name[NCBNAMSZ] = {};
  uint8_t ncb_rto = 0;
  uint8_t ncb_sto = 0;
  void (*ncb_post)(NCB*) = nullptr;
  uint8_t ncb_lana_num = 0;
  std::atomic<uint8_t> ncb_cmd_cplt{0};
  void* ncb_user = nullptr;  // the issuer's own, untouched by the emulation
};

// Commands (kAsynch added for the asynchronous form).
inline constexpr uint8_t kAsynch = 0x80;
inline constexpr uint8_t NCBCALL = 0x10;
inline constexpr uint8_t NCBLISTEN = 0x11;
inline constexpr uint8_t NCBHANGUP = 0x12;
inline constexpr uint8_t NCBSEND = 0x14;
inline constexpr uint8_t NCBRECV = 0x15;
inline constexpr uint8_t NCBDGSEND = 0x20;
inline constexpr uint8_t NCBDGRECV = 0x21;
inline constexpr uint8_t NCBDGSENDBC = 0x22;
inline constexpr uint8_t NCBDGRECVBC = 0x23;
inline constexpr uint8_t NCBADDNAME = 0x30;
inline constexpr uint8_t NCBDELNAME = 0x31;
inline constexpr uint8_t NCBRESET = 0x32;
inline constexpr uint8_t NCBCANCEL = 0x35;
inline constexpr uint8_t NCBENUM = 0x37;
inline constexpr uint8_t kPresenceTest = 0x7F;

// Return codes.
inline constexpr uint8_t NRC_GOODRET = 0x00;
inline constexpr uint8_t NRC_BUFLEN = 0x01;
inline constexpr uint8_t NRC_ILLCMD = 0x03;
inline constexpr uint8_t NRC_INCOMP = 0x06;
inline constexpr uint8_t NRC_NORES = 0x09;
inline constexpr uint8_t NRC_SNUMOUT = 0x08;
inline constexpr uint8_t NRC_SCLOSED = 0x0A;
inline constexpr uint8_t NRC_CMDCAN = 0x0B;
inline constexpr uint8_t NRC_DUPNAME = 0x0D;
inline constexpr uint8_t NRC_NAMTFUL = 0x0E;
inline constexpr uint8_t NRC_LOCTFUL = 0x11;
inline constexpr uint8_t NRC_NOCALL = 0x14;
inline constexpr uint8_t NRC_NOWILD = 0x15;
inline constexpr uint8_t NRC_SABORT = 0x18;
inline constexpr uint8_t NRC_BRIDGE = 0x23;  // invalid adapter number
inline constexpr uint8_t NRC_CANOCCR = 0x24;
inline constexpr uint8_t NRC_INVADDRESS = 0x39;
inline constexpr uint8_t NRC_PENDING = 0xFF;

}  // namespace qd
