// UTF-8 <-> UTF-16 conversion for the string tables, whose texts are stored
// as UTF-16LE and handed out as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qd {

// Invalid UTF-8 sequences become U+FFFD.
std::vector<uint16_t> Utf8ToUtf16(std::string_view text);
// Reads `count` UTF-16LE units from `bytes`; lone surrogates become U+FFFD.
std::string Utf16LEToUtf8(const uint8_t* bytes, size_t count);
// The UTF-8 size of the first `count` units, as Utf16LEToUtf8 converts them.
size_t Utf8SizeOfUtf16LE(const uint8_t* bytes, size_t count);

}  // namespace qd
