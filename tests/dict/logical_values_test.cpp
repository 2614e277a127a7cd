// PutLogicalValue and GetLogicalValue for every engine type, and the
// 10-byte extended form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/endian.h"
#include "dict/QDCLConv.h"
#include "dict/extended.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes I16(int16_t v) { Bytes b(2); PutInt16LE(b.data(), v); return b; }
Bytes I32(int32_t v) { Bytes b(4); PutInt32LE(b.data(), v); return b; }
Bytes I64(int64_t v) { Bytes b(8); PutInt64LE(b.data(), v); return b; }
Bytes F64(double v) { Bytes b(8); PutDoubleLE(b.data(), v); return b; }
Bytes F32(float v) { Bytes b(4); uint32_t bits; std::memcpy(&bits, &v, 4); PutUInt32LE(b.data(), bits); return b; }
Bytes Text(std::string_view s) { Bytes b(s.begin(), s.end()); b.push_back(0); return b; }
Bytes Ext(double v) { Bytes b(kExtendedSize); PutExtendedLE(b.data(), v); return b; }

constexpr int32_t kBDEDayOf1600 = 584023;  // 1600-01-01 with 0001-01-01 as day 1

struct PutCase {
  const char* What;
  uint8_t Type;
  int32_t FieldLength;
  Bytes Logical;
  bool Ok;
  Bytes Field;  // expected field bytes (checked when Ok, or when given)
};

TEST(PutLogicalValue, ByEngineType) {
  const PutCase cases[] = {
      {"boolean true", fkBoolean, 1, I16(-1), true, {1}},
      {"boolean any non-zero", fkBoolean, 1, I16(0x100), true, {1}},
      {"boolean false", fkBoolean, 1, I16(0), true, {0}},
      {"char", fkChar, 1, Text("xyz"), true, {'x'}},
      {"wide char", fkWideChar, 2, Text("\xC3\xA9t"), true, {0xE9, 0x00}},
      {"wide char beyond one unit", fkWideChar, 2, Text("\xF0\x9F\x98\x80"), true, {0xFD, 0xFF}},
      {"uint8 low byte", fkUInt8, 1, I16(251), true, {251}},
      {"int8 low byte", fkInt8, 1, I16(-5), true, {0xFB}},
      {"uint16", fkUInt16, 2, I16(-2), true, I16(-2)},
      {"int16", fkInt16, 2, I16(300), true, I16(300)},
      {"int32", fkInt32, 4, I32(-100000), true, I32(-100000)},
      {"uint32", fkUInt32, 4, I32(7), true, I32(7)},
      {"autoinc", fkAutoInc, 4, I32(42), true, I32(42)},
      {"single", fkSingle, 4, F64(1.5), true, F32(1.5f)},
      {"single rounded", fkSingle, 4, F64(0.1), true, F32(0.1f)},
      {"single out of range", fkSingle, 4, F64(1e300), false, {}},
      {"double", fkDouble, 8, F64(-2.25), true, F64(-2.25)},
      {"extended", fkExtended, 10, F64(1.0), true, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {"comp 2.5 to even", fkComp, 8, F64(2.5), true, I64(2)},
      {"comp 3.5 to even", fkComp, 8, F64(3.5), true, I64(4)},
      {"comp -2.5", fkComp, 8, F64(-2.5), true, I64(-2)},
      {"comp out of range", fkComp, 8, F64(1e19), false, {}},
      {"comp NaN", fkComp, 8, F64(std::numeric_limits<double>::quiet_NaN()), false, {}},
      {"currency", fkCurrency, 8, F64(12.34), true, I64(123400)},
      {"date 1600-01-01", fkDate, 4, I32(kBDEDayOf1600), true, I32(0)},
      {"date 2000-01-01", fkDate, 4, I32(kBDEDayOf1600 + 146097), true, I32(146097)},
      {"date 1599-12-31", fkDate, 4, I32(kBDEDayOf1600 - 1), false, I32(0)},
      {"date 4000-01-01", fkDate, 4, I32(kBDEDayOf1600 + 876582), false, I32(0)},
      {"time in whole seconds", fkTime, 4, I32((13 * 3600 + 45 * 60 + 30) * 1000 + 999), true,
       I32(13 * 3600 + 45 * 60 + 30)},
      {"time of no day", fkTime, 4, I32(86400000), false, {}},
      {"time negative", fkTime, 4, I32(-1000), false, {}},
      {"date-time", fkDateTime, 8, F64(86400000.0 * 2.5), true, F64(2.5)},
      {"blob number", fkBlobGraphic, 4, I32(77), true, I32(77)},
      {"byte array", fkByteArray, 3, {1, 2, 3, 4}, true, {1, 2, 3}},
      {"short string", fkShortString, 6, Text("abc"), true, {3, 'a', 'b', 'c', 0, 0}},
      {"short string cut", fkShortStringAlt, 4, Text("abcdef"), true, {3, 'a', 'b', 'c'}},
      {"null string", fkNullString, 6, Text("abc"), true, {'a', 'b', 'c', 0, 0, 0}},
      {"null string cut", fkNullStringAlt, 4, Text("abcdef"), true, {'a', 'b', 'c', 0}},
      {"wide string", fkWideString, 8, Text("a\xC3\xA9"), true, {'a', 0, 0xE9, 0, 0, 0, 0, 0}},
      {"wide string cut", fkWideString, 6, Text("abcdef"), true, {'a', 0, 'b', 0, 0, 0}},
      {"wide string keeps pairs whole", fkWideString, 6, Text("a\xF0\x9F\x98\x80"), true, {'a', 0, 0, 0, 0, 0}},
      {"unknown type", 30, 4, I32(1), false, {}},
      {"unknown type 51", 51, 4, I32(1), false, {}},
  };
  for (const PutCase& c : cases) {
    Bytes field(static_cast<size_t>(c.FieldLength), 0xEE);
    Bytes logical = c.Logical;
    EXPECT_EQ(PutLogicalValue(c.Type, c.FieldLength, logical.data(), field.data()), c.Ok) << c.What;
    if (!c.Field.empty()) {
      EXPECT_EQ(field, c.Field) << c.What;
    }
  }
}

struct GetCase {
  const char* What;
  uint8_t Type;
  int32_t FieldLength;
  Bytes Field;
  bool Ok;
  Bytes Logical;  // expected leading bytes of the logical value
};

TEST(GetLogicalValue, ByEngineType) {
  const GetCase cases[] = {
      {"boolean true", fkBoolean, 1, {7}, true, I16(-1)},
      {"boolean false", fkBoolean, 1, {0}, true, I16(0)},
      {"char", fkChar, 1, {'q'}, true, {'q', 0}},
      {"wide char", fkWideChar, 2, {'w', 0}, true, {'w', 0}},
      {"wide char that needs more room", fkWideChar, 2, {0xE9, 0}, true, {'?', 0}},
      {"uint8 zero-extended", fkUInt8, 1, {251}, true, I16(251)},
      {"int8 sign-extended", fkInt8, 1, {0xFB}, true, I16(-5)},
      {"uint16", fkUInt16, 2, I16(-2), true, I16(-2)},
      {"int32", fkInt32, 4, I32(-9), true, I32(-9)},
      {"autoinc", fkAutoInc, 4, I32(9), true, I32(9)},
      {"single", fkSingle, 4, F32(1.5f), true, F64(1.5)},
      {"double", fkDouble, 8, F64(3.25), true, F64(3.25)},
      {"extended", fkExtended, 10, Ext(-6.5), true, F64(-6.5)},
      {"comp", fkComp, 8, I64(-12), true, F64(-12.0)},
      {"currency", fkCurrency, 8, I64(123400), true, F64(12.34)},
      {"date 1600-01-01", fkDate, 4, I32(0), true, I32(kBDEDayOf1600)},
      {"no date", fkDate, 4, I32(-1), false, {}},
      {"date beyond 3999", fkDate, 4, I32(876582), false, {}},
      {"time", fkTime, 4, I32(13 * 3600 + 45 * 60 + 30), true, I32((13 * 3600 + 45 * 60 + 30) * 1000)},
      {"no time", fkTime, 4, I32(-1), false, {}},
      {"time of no day", fkTime, 4, I32(86400), false, {}},
      {"date-time", fkDateTime, 8, F64(2.5), true, F64(216000000.0)},
      {"blob number", fkBlob, 4, I32(5), true, I32(5)},
      {"byte array", fkByteArray, 3, {9, 8, 7}, true, {9, 8, 7}},
      {"short string", fkShortString, 6, {3, 'a', 'b', 'c', 0, 0}, true, Text("abc")},
      {"short string with a length beyond the field", fkShortString, 4, {200, 'a', 'b', 'c'}, true, Text("abc")},
      {"null string", fkNullString, 6, {'a', 'b', 0, 'x', 'y', 'z'}, true, Text("ab")},
      {"null string without a terminator", fkNullStringAlt, 4, {'a', 'b', 'c', 'd'}, true, Text("abc")},
      {"wide string", fkWideString, 8, {'a', 0, 0xE9, 0, 0, 0, 0, 0}, true, Text("a\xC3\xA9")},
      {"wide string without a terminator", fkWideString, 4, {'a', 0, 'b', 0}, true, Text("ab")},
      {"wide string cut on a character", fkWideString, 4, {'a', 0, 0xAC, 0x20}, true, Text("a")},
      {"unknown type", 40, 4, I32(1), false, {}},
  };
  for (const GetCase& c : cases) {
    Bytes field = c.Field;
    Bytes logical(16, 0xEE);
    EXPECT_EQ(GetLogicalValue(c.Type, c.FieldLength, field.data(), logical.data()), c.Ok) << c.What;
    if (c.Ok) {
      EXPECT_EQ(Bytes(logical.begin(), logical.begin() + static_cast<long>(c.Logical.size())), c.Logical) << c.What;
    }
  }
}

TEST(LogicalValues, DateAndTimeRoundTrips) {
  Bytes field(4);
  int32_t bdeDay = kBDEDayOf1600;
  ASSERT_TRUE(PutLogicalValue(fkDate, 4, &bdeDay, field.data()));
  int32_t back = 0;
  ASSERT_TRUE(GetLogicalValue(fkDate, 4, field.data(), &back));
  EXPECT_EQ(back, kBDEDayOf1600);

  Bytes in = I32((13 * 3600 + 45 * 60 + 30) * 1000 + 999);
  ASSERT_TRUE(PutLogicalValue(fkTime, 4, in.data(), field.data()));
  Bytes out(4);
  ASSERT_TRUE(GetLogicalValue(fkTime, 4, field.data(), out.data()));
  EXPECT_EQ(GetInt32LE(out.data()), (13 * 3600 + 45 * 60 + 30) * 1000);
}

TEST(Extended, BytesAndRoundTrips) {
  EXPECT_EQ(Ext(0.0), Bytes(10, 0));
  EXPECT_EQ(Ext(-2.0), Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));
  EXPECT_EQ(Ext(std::numeric_limits<double>::infinity()), Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}));
  for (double v : {1.0, -1.0, 0.1, 1e300, -1e-300, 4.9e-324, std::numeric_limits<double>::max(),
                   std::numeric_limits<double>::denorm_min(), 123456.789}) {
    EXPECT_EQ(GetExtendedLE(Ext(v).data()), v) << v;
  }
  EXPECT_TRUE(std::isnan(GetExtendedLE(Ext(std::numeric_limits<double>::quiet_NaN()).data())));
  // Beyond the double's range an extended value reads as infinity.
  Bytes huge = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x7F};
  EXPECT_EQ(GetExtendedLE(huge.data()), std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace qd
