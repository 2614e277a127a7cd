#include "base/utf16.h"

#include "base/endian.h"

namespace qd {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

size_t Utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Decodes the code point at unit i, advancing i.
uint32_t NextCodePoint(const uint8_t* bytes, size_t count, size_t& i) {
  uint32_t u = GetUInt16LE(bytes + 2 * i++);
  if (u >= 0xD800 && u <= 0xDBFF) {
    if (i < count) {
      uint32_t low = GetUInt16LE(bytes + 2 * i);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++i;
        return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    return kReplacement;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return kReplacement;
  return u;
}

}  // namespace

std::vector<uint16_t> Utf8ToUtf16(std::string_view text) {
  std::vector<uint16_t> out;
  size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<uint8_t>(text[i]);
    size_t extra = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : 4;
    uint32_t cp = kReplacement;
    size_t used = 1;
    if (extra == 0) {
      cp = lead;
    } else if (extra < 4 && i + extra < text.size()) {
      uint32_t value = lead & (0x3Fu >> extra);
      bool ok = true;
      for (size_t k = 1; k <= extra; ++k) {
        auto cont = static_cast<uint8_t>(text[i + k]);
        ok = ok && (cont & 0xC0) == 0x80;
        value = (value << 6) | (cont & 0x3Fu);
      }
      if (ok && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF)) {
        cp = value;
        used = extra + 1;
      }
    }
    i += used;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(cp));
    }
  }
  return out;
}

std::string Utf16LEToUtf8(const uint8_t* bytes, size_t count) {
  std::string out;
  out.reserve(count);
  size_t i = 0;
  while (i < count) AppendUtf8(out, NextCodePoint(bytes, count, i));
  return out;
}

size_t Utf8SizeOfUtf16LE(const uint8_t* bytes, size_t count) {
  size_t size = 0;
  size_t i = 0;
  while (i < count) size += Utf8Length(NextCodePoint(bytes, count, i));
  return size;
}

}  // namespace qd
