// Checks on names, block sizes, extensions and key lengths, and the reduction
// of a table path to the base name that is sent to the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qd {

// 1 to `max` characters, all from a-z, A-Z, 0-9 and _.
bool IsIdentifierText(std::string_view text, size_t max);
// 4096, 8192, 16384 or 32768.
bool IsValidBlockSize(int64_t n);
// The first three characters pass IsIdentifierText with max 3.
bool IsValidExtension(std::string_view text);
// The low 16 bits, unsigned, are 1 to 1024.
bool IsValidKeyLength(int64_t n);

inline constexpr size_t kTableNameCapacity = 31;

// The characters between the last backslash and the last dot behind it, at
// most 31: C:\DATA\ORDERS.DAT gives ORDERS, A.B.C gives A.B.
std::string ExtractBaseTableName(std::string_view path);

}  // namespace qd
