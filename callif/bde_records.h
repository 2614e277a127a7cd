// The fields of the BDE records that the engine-neutral session and
// database fill for callers, beside the sizes and offsets their headers
// publish, and how both compare the names they are given. Texts are
// zero-terminated in fixed areas (PutZeroText); a capacity counts the
// characters, the area is one byte longer.
// Thread rules: constants only.
#pragma once

#include <cstddef>
#include <limits>
#include <string_view>

#include "base/shortstr.h"
#include "callif/QDTTSess.h"

namespace qd {

// Database description.
inline constexpr size_t kDbDescNameCapacity = 31;
inline constexpr size_t kDbDescTextCapacity = 31;
inline constexpr size_t kDbDescPhysicalNameCapacity = 260;
inline constexpr size_t kDbDescTypeCapacity = 31;
static_assert(kDbDescNameOffset + kDbDescNameCapacity + 1 == kDbDescTextOffset);
static_assert(kDbDescTextOffset + kDbDescTextCapacity + 1 == kDbDescPhysicalNameOffset);
static_assert(kDbDescPhysicalNameOffset + kDbDescPhysicalNameCapacity + 1 == kDbDescTypeOffset);

// Directories in the client and session information.
inline constexpr size_t kDirectoryCapacity = 260;

// Client information: name 32, sessions 2, working directory 261, language 32.
inline constexpr size_t kClientInfoSessionsOffset = 32;
inline constexpr size_t kClientInfoDirectoryOffset = 34;
static_assert(kClientInfoDirectoryOffset + kDirectoryCapacity + 1 + 32 == kClientInfoSize);

// Session information.
inline constexpr size_t kSesInfoNumberOffset = 0;
inline constexpr size_t kSesInfoNameOffset = 2;  // 31 characters and a zero
inline constexpr size_t kSesInfoNameCapacity = 31;
inline constexpr size_t kSesInfoDatabasesOffset = 34;
inline constexpr size_t kSesInfoCursorsOffset = 36;
inline constexpr size_t kSesInfoLockRetryOffset = 38;
inline constexpr size_t kSesInfoNetDirOffset = 40;
inline constexpr size_t kSesInfoPrivateDirOffset = 301;
static_assert(kSesInfoNameOffset + kSesInfoNameCapacity + 1 == kSesInfoDatabasesOffset);
static_assert(kSesInfoNetDirOffset + kDirectoryCapacity + 1 == kSesInfoPrivateDirOffset);
static_assert(kSesInfoPrivateDirOffset + kDirectoryCapacity + 1 == kSessionInfoSize);

// System information: buffer space, heap space, drivers, clients, sessions,
// databases, cursors, 16 bits each.
inline constexpr size_t kSysInfoSessionsOffset = 8;
static_assert(7 * 2 == kSysInfoSize);

// Driver description: the type name first.
inline constexpr size_t kDriverDescTypeCapacity = 31;

// Transaction information: state, the second word, two zero bytes.
inline constexpr size_t kTranInfoStateOffset = 0;
inline constexpr size_t kTranInfoWordOffset = 4;

// Names of databases, tables and configuration paths are compared without
// regard to case, over at most `max` characters.
inline bool SameTextNoCase(std::string_view a, std::string_view b,
                           size_t max = std::numeric_limits<size_t>::max()) {
  return CompareShortTextNoCase(a, b, max) == 0;
}

// A name with a drive, a directory or an extension names a path, not an
// alias or a bare table name.
inline bool IsPathName(std::string_view name) {
  return name.find_first_of(":\\.") != std::string_view::npos;
}

}  // namespace qd
