#include "server/key_encoding.h"

#include <cstring>

#include "base/endian.h"
#include "dict/extended.h"

namespace qd {
namespace {

size_t ValueWidth(const TqdDictField& field) {
  switch (field.FieldType) {
    case fkExtended: return 8;  // compared as the double it rounds to
    case fkShortString:
    case fkShortStringAlt:
    case fkNullString:
    case fkNullStringAlt: return static_cast<size_t>(field.Units);
    case fkWideString: return 2 * static_cast<size_t>(field.Units);
    default: return static_cast<size_t>(field.Length);
  }
}

void PutBigEndian(uint8_t* out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
}

uint64_t ReadLittleEndian(const uint8_t* p, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = bytes; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

void PutSigned(uint8_t* out, const uint8_t* p, size_t bytes) {
  uint64_t signBit = uint64_t{1} << (8 * bytes - 1);
  PutBigEndian(out, ReadLittleEndian(p, bytes) ^ signBit, bytes);
}

// Negative values reversed, positive ones above them; -0 equals +0.
void PutDouble(uint8_t* out, double value) {
  if (value == 0) value = 0;
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
  PutBigEndian(out, bits, 8);
}

void PutSingle(uint8_t* out, const uint8_t* p) {
  uint32_t bits = GetUInt32LE(p);
  if ((bits & 0x7FFFFFFFu) == 0) bits = 0;
  bits = (bits >> 31) ? ~bits : bits | 0x80000000u;
  PutBigEndian(out, bits, 4);
}

uint8_t Fold(uint8_t c, bool caseInsensitive) {
  return (caseInsensitive && c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 'a' + 'A') : c;
}

// Text bytes up to `count`, the rest zero.
void PutText(uint8_t* out, const uint8_t* chars, size_t count, size_t width, bool ci) {
  for (size_t i = 0; i < count; ++i) out[i] = Fold(chars[i], ci);
  std::memset(out + count, 0, width - count);
}

void PutWideText(uint8_t* out, const uint8_t* p, size_t units, bool ci) {
  size_t i = 0;
  for (; i < units; ++i) {
    uint16_t u = GetUInt16LE(p + 2 * i);
    if (u == 0) break;
    if (ci && u < 0x80) u = Fold(static_cast<uint8_t>(u), true);
    PutBigEndian(out + 2 * i, u, 2);
  }
  std::memset(out + 2 * i, 0, 2 * (units - i));
}

void PutValue(uint8_t* out, const TqdDictField& f, const uint8_t* p, bool ci) {
  size_t width = ValueWidth(f);
  switch (f.FieldType) {
    // Every byte of the width is written: keys are built in uncleared memory.
    case fkBoolean:
      std::memset(out, 0, width);
      out[0] = p[0] != 0;
      break;
    case fkChar:
      std::memset(out, 0, width);
      out[0] = Fold(p[0], ci);
      break;
    case fkWideChar: PutWideText(out, p, 1, ci); break;
    case fkInt8:
    case fkInt16:
    case fkInt32:
    case fkComp:
    case fkCurrency:
    case fkDate:
    case fkTime: PutSigned(out, p, width); break;
    case fkSingle: PutSingle(out, p); break;
    case fkDouble:
    case fkDateTime: PutDouble(out, GetDoubleLE(p)); break;
    case fkExtended: PutDouble(out, GetExtendedLE(p)); break;
    case fkShortString:
    case fkShortStringAlt: {
      size_t n = p[0] < width ? p[0] : width;
      PutText(out, p + 1, n, width, ci);
      break;
    }
    case fkNullString:
    case fkNullStringAlt: {
      const void* zero = std::memchr(p, 0, width);
      size_t n = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - p) : width;
      PutText(out, p, n, width, ci);
      break;
    }
    case fkWideString: PutWideText(out, p, width / 2, ci); break;
    case fkByteArray: std::memcpy(out, p, width); break;
    default: PutBigEndian(out, ReadLittleEndian(p, width), width); break;  // unsigned, BLOB numbers
  }
}

}  // namespace

size_t KeyFieldWidth(const TqdDictField& field) { return 1 + ValueWidth(field); }

TqdKeyEncoder::TqdKeyEncoder(const TqdDataDictionary& dict, int32_t indexNo) {
  const TqdDictIndex& index = dict.IndexDesc(indexNo);
  ascending_ = index.Ascending;
  caseInsensitive_ = index.CaseInsensitive;
  for (int32_t k = 0; k < index.FieldCount; ++k) {
    int32_t n = index.FieldNumbers[static_cast<size_t>(k)];
    const TqdDictField& field = dict.FieldDesc(n);
    size_t nullByte = static_cast<size_t>(dict.LogicalRecordLength()) + static_cast<size_t>(n) / 8;
    fields_.push_back({&field, ValueWidth(field), nullByte, static_cast<uint8_t>(1u << (n % 8))});
    width_ += KeyFieldWidth(field);
  }
}

void TqdKeyEncoder::Encode(const uint8_t* record, uint8_t* out) const {
  for (const KeyField& k : fields_) {
    if (record[k.NullByte] & k.NullMask) {
      std::memset(out, 0, 1 + k.ValueWidth);
    } else {
      out[0] = 1;
      PutValue(out + 1, *k.Field, record + k.Field->Offset, caseInsensitive_);
      if (!ascending_) {
        for (size_t i = 1; i <= k.ValueWidth; ++i) out[i] = static_cast<uint8_t>(~out[i]);
      }
    }
    out += 1 + k.ValueWidth;
  }
}

}  // namespace qd
