// The families of CompareFilterValues. Every reader checks the value's
// size before it reads: a constant's size comes from the caller's
// expression, and a field may be shorter than its kind says.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "base/endian.h"
#include "base/utf16.h"
#include "callif/filter_value.h"
#include "dict/QDCLConv.h"
#include "dict/extended.h"

namespace qd {
namespace {

enum class Family { Integer, Floating, DateTime, Boolean, Text, Bytes };

Family FamilyOf(const TqdFilterValue& v) {
  if (v.Constant) {
    switch (v.Type) {
      case bdeInt16: case bdeInt32: case bdeUInt16: case bdeUInt32: return Family::Integer;
      case bdeFloat: case bdeFloatIeee: return Family::Floating;
      case bdeDate: case bdeTime: case bdeTimeStamp: return Family::DateTime;
      case bdeBool: return Family::Boolean;
      case bdeZString: return Family::Text;
      default: return Family::Bytes;
    }
  }
  switch (v.Type) {
    case fkUInt8: case fkUInt16: case fkUInt32: case fkInt8: case fkInt16: case fkInt32: case fkAutoInc:
    case fkComp: return Family::Integer;
    case fkSingle: case fkDouble: case fkExtended: case fkCurrency: return Family::Floating;
    case fkDate: case fkTime: case fkDateTime: return Family::DateTime;
    case fkBoolean: return Family::Boolean;
    // Wide texts are texts: as raw bytes they would never equal a text constant.
    case fkChar: case fkWideChar: case fkShortString: case fkShortStringAlt: case fkNullString:
    case fkNullStringAlt: case fkWideString: return Family::Text;
    default: return Family::Bytes;
  }
}

bool Fits(const TqdFilterValue& v, size_t bytes) { return v.Bytes != nullptr && v.Size >= bytes; }

bool AsInteger(const TqdFilterValue& v, int64_t& out) {
  const uint8_t* p = v.Bytes;
  if (v.Constant) {
    switch (v.Type) {
      case bdeInt16: if (!Fits(v, 2)) return false; out = GetInt16LE(p); return true;
      case bdeUInt16: if (!Fits(v, 2)) return false; out = GetUInt16LE(p); return true;
      case bdeInt32: if (!Fits(v, 4)) return false; out = GetInt32LE(p); return true;
      case bdeUInt32: if (!Fits(v, 4)) return false; out = GetUInt32LE(p); return true;
      default: return false;
    }
  }
  switch (v.Type) {
    case fkUInt8: if (!Fits(v, 1)) return false; out = p[0]; return true;
    case fkInt8: if (!Fits(v, 1)) return false; out = static_cast<int8_t>(p[0]); return true;
    case fkUInt16: if (!Fits(v, 2)) return false; out = GetUInt16LE(p); return true;
    case fkInt16: if (!Fits(v, 2)) return false; out = GetInt16LE(p); return true;
    case fkUInt32:
    case fkAutoInc: if (!Fits(v, 4)) return false; out = GetUInt32LE(p); return true;
    case fkInt32: if (!Fits(v, 4)) return false; out = GetInt32LE(p); return true;
    case fkComp: if (!Fits(v, 8)) return false; out = GetInt64LE(p); return true;
    default: return false;
  }
}

bool AsFloating(const TqdFilterValue& v, double& out) {
  const uint8_t* p = v.Bytes;
  if (v.Constant) {
    switch (v.Type) {
      case bdeFloat: if (!Fits(v, 8)) return false; out = GetDoubleLE(p); return true;
      case bdeFloatIeee: if (!Fits(v, kExtendedSize)) return false; out = GetExtendedLE(p); return true;
      default: return false;
    }
  }
  switch (v.Type) {
    case fkSingle: {
      if (!Fits(v, 4)) return false;
      uint32_t bits = GetUInt32LE(p);
      float single;
      std::memcpy(&single, &bits, sizeof single);
      out = single;
      return true;
    }
    case fkDouble: if (!Fits(v, 8)) return false; out = GetDoubleLE(p); return true;
    case fkExtended: if (!Fits(v, kExtendedSize)) return false; out = GetExtendedLE(p); return true;
    case fkCurrency: if (!Fits(v, 8)) return false; out = static_cast<double>(GetInt64LE(p)) / 10000; return true;
    default: return false;
  }
}

// Either numeric family, as a floating value.
bool AsNumber(const TqdFilterValue& v, double& out) {
  int64_t whole;
  if (AsInteger(v, whole)) {
    out = static_cast<double>(whole);
    return true;
  }
  return AsFloating(v, out);
}

// Days, in the BDE day count (1 January 0001 is day 1).
bool AsDays(const TqdFilterValue& v, double& out) {
  const uint8_t* p = v.Bytes;
  if (v.Constant) {
    switch (v.Type) {
      case bdeDate: if (!Fits(v, 4)) return false; out = GetInt32LE(p); return true;
      case bdeTime: if (!Fits(v, 4)) return false; out = GetInt32LE(p) / double{kMillisecondsPerDay}; return true;
      case bdeTimeStamp: if (!Fits(v, 8)) return false; out = GetDoubleLE(p) / kMillisecondsPerDay; return true;
      default: return false;
    }
  }
  uint8_t logical[8];
  switch (v.Type) {
    case fkDate:
      if (!Fits(v, 4) || !GetLogicalValue(fkDate, 4, p, logical)) return false;
      out = GetInt32LE(logical);
      return true;
    case fkTime:
      if (!Fits(v, 4) || !GetLogicalValue(fkTime, 4, p, logical)) return false;
      out = GetInt32LE(logical) / double{kMillisecondsPerDay};
      return true;
    case fkDateTime: if (!Fits(v, 8)) return false; out = GetDoubleLE(p); return true;
    default: return false;
  }
}

bool AsBoolean(const TqdFilterValue& v, bool& out) {
  if (v.Constant ? v.Type != bdeBool || !Fits(v, 2) : v.Type != fkBoolean || !Fits(v, 1)) return false;
  out = v.Constant ? GetUInt16LE(v.Bytes) != 0 : v.Bytes[0] != 0;
  return true;
}

std::string_view Terminated(const uint8_t* p, size_t room) {
  const char* text = reinterpret_cast<const char*>(p);
  return {text, strnlen(text, room)};
}

// The text of a value, never beyond its size. Wide texts are converted
// into `scratch`, which the view then points into.
bool AsText(const TqdFilterValue& v, std::string_view& out, std::string& scratch) {
  const uint8_t* p = v.Bytes;
  if (v.Constant) {
    if (v.Type != bdeZString || p == nullptr) return false;
    out = Terminated(p, v.Size);
    return true;
  }
  if (p == nullptr || v.Size < 1) return false;
  switch (v.Type) {
    case fkChar: out = Terminated(p, 1); return true;
    case fkShortString:
    case fkShortStringAlt:
      out = {reinterpret_cast<const char*>(p + 1), std::min<size_t>(p[0], v.Size - 1u)};
      return true;
    case fkNullString:
    case fkNullStringAlt: out = Terminated(p, v.Size); return true;
    case fkWideChar:
    case fkWideString: {
      size_t units = 0;
      const size_t most = v.Type == fkWideChar ? std::min<size_t>(1, v.Size / 2) : v.Size / 2u;
      while (units < most && GetUInt16LE(p + 2 * units) != 0) ++units;
      scratch = Utf16LEToUtf8(p, units);
      out = scratch;
      return true;
    }
    default: return false;
  }
}

// The first `characters` characters of UTF-8 text (continuation bytes do
// not start a character).
std::string_view FirstCharacters(std::string_view text, int32_t characters) {
  size_t end = 0;
  for (int32_t n = 0; end < text.size(); ++end) {
    if ((static_cast<uint8_t>(text[end]) & 0xC0) != 0x80 && n++ == characters) break;
  }
  return text.substr(0, end);
}

template <class T>
int32_t Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int32_t CompareTexts(std::string_view a, std::string_view b, int32_t partialLength, bool caseInsensitive) {
  if (partialLength > 0) {
    a = FirstCharacters(a, partialLength);
    b = FirstCharacters(b, partialLength);
  }
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    uint8_t x = static_cast<uint8_t>(a[i]), y = static_cast<uint8_t>(b[i]);
    if (caseInsensitive) {
      if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + 32);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return Order(a.size(), b.size());
}

int32_t CompareBytes(const TqdFilterValue& a, const TqdFilterValue& b) {
  const size_t common = std::min(a.Size, b.Size);
  if (common == 0 || a.Bytes == nullptr || b.Bytes == nullptr) return 0;
  int c = std::memcmp(a.Bytes, b.Bytes, common);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int32_t CompareFilterValues(const TqdFilterValue& left, const TqdFilterValue& right, int32_t partialLength,
                            bool caseInsensitive) {
  switch (FamilyOf(left)) {
    case Family::Integer: {
      int64_t a, b;
      double x, y;
      if (AsInteger(left, a) && AsInteger(right, b)) return Order(a, b);
      if (AsNumber(left, x) && AsNumber(right, y)) return Order(x, y);
      break;
    }
    case Family::Floating: {
      double x, y;
      if (AsFloating(left, x) && AsNumber(right, y)) return Order(x, y);
      break;
    }
    case Family::DateTime: {
      double x, y;
      if (AsDays(left, x) && AsDays(right, y)) return Order(x, y);
      break;
    }
    case Family::Boolean: {
      bool x, y;
      if (AsBoolean(left, x) && AsBoolean(right, y)) return Order(x, y);
      break;
    }
    case Family::Text: {
      std::string_view x, y;
      std::string leftScratch, rightScratch;
      if (AsText(left, x, leftScratch) && AsText(right, y, rightScratch))
        return CompareTexts(x, y, partialLength, caseInsensitive);
      break;
    }
    case Family::Bytes: break;
  }
  return CompareBytes(left, right);
}

}  // namespace qd
