// The password hash: the ELF hash of the System V object file format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qd {

// 0 for count <= 0; the top four bits of the result are always 0.
uint32_t HashBytes(const void* data, std::ptrdiff_t count);
// The hash of a short string's characters (not its length byte).
inline uint32_t HashShortString(std::string_view characters) {
  return HashBytes(characters.data(), static_cast<std::ptrdiff_t>(characters.size()));
}

}  // namespace qd
