// PutLogicalValue and GetLogicalValue: one engine field value to and from
// its BDE logical form. Every text is cut to the field or buffer it goes to,
// and every scan of field bytes stops at the field's end.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/endian.h"
#include "base/utf16.h"
#include "dict/QDCLConv.h"
#include "dict/QDStDate.h"
#include "dict/extended.h"

namespace qd {

namespace {

constexpr int32_t kFirstBDEDayOfDayNumbers = kBDEDateDelta - kDayNumberOfFrameworkZero;  // 584023
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr uint16_t kReplacementUnit = 0xFFFD;

// Rounds half to even (the default rounding mode); false when the result is
// not a 64-bit integer.
bool RoundToInt64(double value, int64_t& out) {
  double rounded = std::nearbyint(value);
  if (!(rounded >= -kTwoTo63 && rounded < kTwoTo63)) return false;
  out = static_cast<int64_t>(rounded);
  return true;
}

// The first `capacity` bytes of UTF-8 text, not splitting a character.
size_t Utf8Fit(const std::string& text, size_t capacity) {
  if (text.size() <= capacity) return text.size();
  size_t n = capacity;
  while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

void PutZeroPadded(uint8_t* field, size_t fieldLength, const void* text, size_t count) {
  if (count > 0) std::memcpy(field, text, count);
  std::memset(field + count, 0, fieldLength - count);
}

void GetText(void* logical, const void* text, size_t count) {
  auto* out = static_cast<char*>(logical);
  if (count > 0) std::memcpy(out, text, count);
  out[count] = '\0';
}

bool PutWideString(int32_t fieldLength, const char* text, uint8_t* field) {
  if (fieldLength < 2) return false;
  const size_t maxUnits = static_cast<size_t>(fieldLength - 2) / 2;
  // A UTF-8 character gives one unit from at least one byte, or two units
  // from four, so this many bytes always yield enough units.
  std::vector<uint16_t> units = Utf8ToUtf16({text, strnlen(text, 3 * maxUnits + 3)});
  size_t count = units.size() < maxUnits ? units.size() : maxUnits;
  if (count > 0 && count < units.size() && units[count - 1] >= 0xD800 && units[count - 1] < 0xDC00) {
    --count;  // keep a surrogate pair whole
  }
  std::memset(field, 0, static_cast<size_t>(fieldLength));
  for (size_t i = 0; i < count; ++i) PutUInt16LE(field + 2 * i, units[i]);
  return true;
}

bool PutWideChar(const char* text, uint8_t* field) {
  std::vector<uint16_t> units = Utf8ToUtf16({text, strnlen(text, 4)});
  uint16_t unit = units.empty() ? 0 : units[0];
  if (unit >= 0xD800 && unit < 0xE000) unit = kReplacementUnit;  // no single unit for it
  PutUInt16LE(field, unit);
  return true;
}

bool GetWideString(int32_t fieldLength, const uint8_t* field, void* logical) {
  const size_t maxUnits = static_cast<size_t>(fieldLength) / 2;
  size_t count = 0;
  while (count < maxUnits && GetUInt16LE(field + 2 * count) != 0) ++count;
  std::string text = Utf16LEToUtf8(field, count);
  GetText(logical, text.data(), Utf8Fit(text, static_cast<size_t>(fieldLength) - 1));
  return true;
}

bool GetWideChar(int32_t fieldLength, const uint8_t* field, void* logical) {
  uint16_t unit = GetUInt16LE(field);
  std::string text = unit == 0 ? std::string() : Utf16LEToUtf8(field, 1);
  // Like a code-page conversion, a character that does not fit becomes '?'.
  if (text.size() > static_cast<size_t>(fieldLength) - 1) text = "?";
  GetText(logical, text.data(), text.size());
  return true;
}

}  // namespace

bool PutLogicalValue(uint8_t engineType, int32_t fieldLength, const void* logical, uint8_t* field) {
  const auto* in = static_cast<const uint8_t*>(logical);
  const auto* text = static_cast<const char*>(logical);
  switch (engineType) {
    case fkBoolean: PutUInt8(field, GetUInt16LE(in) != 0 ? 1 : 0); return true;
    case fkChar: PutUInt8(field, in[0]); return true;
    case fkWideChar: return PutWideChar(text, field);
    case fkUInt8:
    case fkInt8: PutUInt8(field, in[0]); return true;
    case fkUInt16:
    case fkInt16: PutUInt16LE(field, GetUInt16LE(in)); return true;
    case fkUInt32:
    case fkInt32:
    case fkAutoInc: PutUInt32LE(field, GetUInt32LE(in)); return true;
    case fkSingle: {
      double value = GetDoubleLE(in);
      if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return false;
      float single = static_cast<float>(value);
      uint32_t bits;
      std::memcpy(&bits, &single, sizeof bits);
      PutUInt32LE(field, bits);
      return true;
    }
    case fkDouble: std::memcpy(field, in, 8); return true;
    case fkExtended: PutExtendedLE(field, GetDoubleLE(in)); return true;
    case fkComp:
    case fkCurrency: {
      double value = GetDoubleLE(in) * (engineType == fkCurrency ? 10000.0 : 1.0);
      int64_t whole;
      if (!RoundToInt64(value, whole)) return false;
      PutInt64LE(field, whole);
      return true;
    }
    case fkDate: {
      int32_t n = DateTimeToDayNumber(static_cast<double>(GetInt32LE(in)) - kBDEDateDelta);
      PutInt32LE(field, n == kNoDate ? 0 : n);
      return n != kNoDate;
    }
    case fkTime: {
      int32_t milliseconds = GetInt32LE(in);
      if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay) return false;
      PutInt32LE(field, milliseconds / 1000);
      return true;
    }
    case fkDateTime: PutDoubleLE(field, GetDoubleLE(in) / kMillisecondsPerDay); return true;
    case fkByteArray:
      if (fieldLength < 0) return false;
      std::memcpy(field, in, static_cast<size_t>(fieldLength));
      return true;
    case fkShortString:
    case fkShortStringAlt: {
      if (fieldLength < 1) return false;
      size_t count = strnlen(text, static_cast<size_t>(fieldLength) - 1);
      if (count > 255) count = 255;
      PutUInt8(field, static_cast<uint8_t>(count));
      PutZeroPadded(field + 1, static_cast<size_t>(fieldLength) - 1, text, count);
      return true;
    }
    case fkNullString:
    case fkNullStringAlt: {
      if (fieldLength < 1) return false;
      size_t count = strnlen(text, static_cast<size_t>(fieldLength) - 1);
      PutZeroPadded(field, static_cast<size_t>(fieldLength), text, count);
      return true;
    }
    case fkWideString: return PutWideString(fieldLength, text, field);
    default:
      if (!IsBlobKind(engineType)) return false;
      PutUInt32LE(field, GetUInt32LE(in));
      return true;
  }
}

bool GetLogicalValue(uint8_t engineType, int32_t fieldLength, const uint8_t* field, void* logical) {
  auto* out = static_cast<uint8_t*>(logical);
  switch (engineType) {
    case fkBoolean: PutUInt16LE(out, field[0] != 0 ? 0xFFFF : 0); return true;
    case fkChar:
      out[0] = field[0];
      out[1] = 0;
      return true;
    case fkWideChar: return fieldLength >= 1 && GetWideChar(fieldLength, field, logical);
    case fkUInt8: PutUInt16LE(out, field[0]); return true;
    case fkInt8: PutInt16LE(out, static_cast<int8_t>(field[0])); return true;
    case fkUInt16:
    case fkInt16: PutUInt16LE(out, GetUInt16LE(field)); return true;
    case fkUInt32:
    case fkInt32:
    case fkAutoInc: PutUInt32LE(out, GetUInt32LE(field)); return true;
    case fkSingle: {
      uint32_t bits = GetUInt32LE(field);
      float single;
      std::memcpy(&single, &bits, sizeof single);
      PutDoubleLE(out, single);
      return true;
    }
    case fkDouble: std::memcpy(out, field, 8); return true;
    case fkExtended: PutDoubleLE(out, GetExtendedLE(field)); return true;
    case fkComp: PutDoubleLE(out, static_cast<double>(GetInt64LE(field))); return true;
    case fkCurrency: PutDoubleLE(out, static_cast<double>(GetInt64LE(field)) / 10000.0); return true;
    case fkDate: {
      int32_t n = GetInt32LE(field);
      if (n < 0 || n > kLastDayNumber) return false;  // -1 is no date; others are no day
      PutInt32LE(out, n + kFirstBDEDayOfDayNumbers);
      return true;
    }
    case fkTime: {
      int32_t seconds = GetInt32LE(field);
      if (seconds < 0 || seconds >= kSecondsPerDay) return false;  // -1 is no time
      PutInt32LE(out, seconds * 1000);
      return true;
    }
    case fkDateTime: PutDoubleLE(out, GetDoubleLE(field) * kMillisecondsPerDay); return true;
    case fkByteArray:
      if (fieldLength < 0) return false;
      std::memcpy(out, field, static_cast<size_t>(fieldLength));
      return true;
    case fkShortString:
    case fkShortStringAlt: {
      if (fieldLength < 1) return false;
      const size_t room = static_cast<size_t>(fieldLength) - 1;
      const size_t count = field[0] < room ? field[0] : room;
      GetText(logical, field + 1, count);
      return true;
    }
    case fkNullString:
    case fkNullStringAlt: {
      if (fieldLength < 1) return false;
      GetText(logical, field, strnlen(reinterpret_cast<const char*>(field), static_cast<size_t>(fieldLength) - 1));
      return true;
    }
    case fkWideString: return fieldLength >= 1 && GetWideString(fieldLength, field, logical);
    default:
      if (!IsBlobKind(engineType)) return false;
      PutUInt32LE(out, GetUInt32LE(field));
      return true;
  }
}

}  // namespace qd
