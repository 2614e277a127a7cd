// Result codes: 16-bit, 0 for success, else category * 256 + sub-code in the
// BDE numbering. These are the codes the client produces or tests itself;
// a server's codes are passed on unchanged.
#pragma once

#include <cstdint>

namespace qd {

using TqdResult = uint16_t;

inline constexpr TqdResult qdOK = 0;
inline constexpr TqdResult qdErrReentered = 8455;          // 0x2107
inline constexpr TqdResult qdErrCorruptHeader = 8961;      // 0x2301: a dictionary that makes no sense
inline constexpr TqdResult qdErrBOF = 8705;                // 0x2201
inline constexpr TqdResult qdErrEOF = 8706;                // 0x2202
inline constexpr TqdResult qdErrRecDeleted = 8708;         // 0x2204
inline constexpr TqdResult qdErrNoCurrRec = 8709;          // 0x2205
inline constexpr TqdResult qdErrRecNotFound = 8710;        // 0x2206
inline constexpr TqdResult qdErrEndOfBlob = 8711;          // 0x2207
inline constexpr TqdResult qdErrObjNotFound = 8712;        // 0x2208
inline constexpr TqdResult qdErrNoMemory = 9473;           // 0x2501
inline constexpr TqdResult qdErrOutOfRange = 9985;         // 0x2701
inline constexpr TqdResult qdErrInvalidParam = 9986;       // 0x2702
inline constexpr TqdResult qdErrInvalidHandle = 9990;      // 0x2706
inline constexpr TqdResult qdErrNoSuchIndex = 9997;        // 0x270D
inline constexpr TqdResult qdErrBlobOffset = 9998;         // 0x270E
inline constexpr TqdResult qdErrInvalidSesHandle = 10011;  // 0x271B
inline constexpr TqdResult qdErrUnknownDB = 10014;         // 0x271E
inline constexpr TqdResult qdErrTranslate = 10019;         // 0x2723
inline constexpr TqdResult qdErrNoSuchTable = 10024;       // 0x2728
inline constexpr TqdResult qdErrInvalidBlobHandle = 10030; // 0x272E
inline constexpr TqdResult qdErrInvalidPassword = 10036;   // 0x2734
inline constexpr TqdResult qdErrInvalidIndexType = 10048;  // 0x2740
inline constexpr TqdResult qdErrInvalidFilter = 10050;     // 0x2742
inline constexpr TqdResult qdErrActiveTran = 10256;        // 0x2810
inline constexpr TqdResult qdErrNoActiveTran = 10257;      // 0x2811
inline constexpr TqdResult qdErrNotApplicable = 10756;     // 0x2A04
inline constexpr TqdResult qdErrMultipleInit = 10759;      // 0x2A07
inline constexpr TqdResult qdErrNoExclusiveAccess = 10253;  // 0x280D
inline constexpr TqdResult qdErrTableReadOnly = 10763;     // 0x2A0B
inline constexpr TqdResult qdErrNoAssocIndex = 10764;      // 0x2A0C
inline constexpr TqdResult qdErrIndexReadOnly = 10767;     // 0x2A0F
inline constexpr TqdResult qdErrNetUnknown = 11271;        // 0x2C07
inline constexpr TqdResult qdErrNetTimeout = 11276;        // 0x2C0C: time-out or connection lost
inline constexpr TqdResult qdErrNetServerNotFound = 11278; // 0x2C0E
inline constexpr TqdResult qdErrServerVersion = 12039;     // 0x2F07
inline constexpr TqdResult qdErrNotSupported = 12289;      // 0x3001
inline constexpr TqdResult qdErrNotImplemented = 12290;    // 0x3002
inline constexpr TqdResult qdErrBlobModified = 13058;      // 0x3302

// The server's storage faults (category 0x3C).
inline constexpr TqdResult qdErrServerFileInfo = 15360;    // 0x3C00
inline constexpr TqdResult qdErrServerFileOpen = 15361;    // 0x3C01
inline constexpr TqdResult qdErrServerRead = 15366;        // 0x3C06
inline constexpr TqdResult qdErrServerWrite = 15368;       // 0x3C08
inline constexpr TqdResult qdErrServerIndexRange = 15425;  // 0x3C41
inline constexpr TqdResult qdErrServerMaxIndexes = 15426;  // 0x3C42
inline constexpr TqdResult qdErrServerUnknown = 15520;     // 0x3CA0
inline constexpr TqdResult qdErrServerUnexpected = 15521;  // 0x3CA1

}  // namespace qd
