// The order of two filter values, family by family, and the readers'
// bounds: a value is never read past its size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/endian.h"
#include "callif/filter_value.h"
#include "dict/QDCLConv.h"
#include "tests/callif/filter_builder.h"

namespace qd {
namespace {

using test::DoubleBytes;
using test::Int16Bytes;
using test::Int32Bytes;
using test::TextBytes;

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) { return b; }
std::vector<uint8_t> Int64Bytes(int64_t v) {
  std::vector<uint8_t> b(8);
  PutInt64LE(b.data(), v);
  return b;
}
std::vector<uint8_t> Wide(const std::u16string& text, size_t units) {
  std::vector<uint8_t> b(2 * units, 0);
  for (size_t i = 0; i < text.size(); ++i) PutUInt16LE(&b[2 * i], text[i]);
  return b;
}

struct Side {
  uint16_t Type;
  bool Constant;
  std::vector<uint8_t> Bytes;
};

struct Case {
  const char* Name;
  Side Left, Right;
  int32_t Partial;
  bool CaseInsensitive;
  int32_t Expected;
};

TqdFilterValue ValueOf(const Side& s) {
  return {.Type = s.Type, .Size = static_cast<uint16_t>(s.Bytes.size()), .Bytes = s.Bytes.data(), .Blank = false,
          .Constant = s.Constant};
}

TEST(FilterCompareTest, EachFamilyOrdersItsValues) {
  const uint16_t engineFirstDay = 0;           // 1600-01-01 as an engine day number
  const int32_t bdeFirstDay = 584023;          // the same day in the BDE day count
  const Case cases[] = {
      {"int32 field < int16 constant", {fkInt32, false, Int32Bytes(5)}, {bdeInt16, true, Int16Bytes(7)}, 0, false, -1},
      {"largest unsigned 32-bit > 5", {fkUInt32, false, Int32Bytes(-1)}, {bdeInt16, true, Int16Bytes(5)}, 0, false, 1},
      {"signed byte", {fkInt8, false, Bytes({0xFF})}, {bdeInt16, true, Int16Bytes(0)}, 0, false, -1},
      {"comp is 64-bit", {fkComp, false, Int64Bytes(int64_t{1} << 40)}, {bdeInt32, true, Int32Bytes(1)}, 0, false, 1},
      {"auto-increment is unsigned", {fkAutoInc, false, Int32Bytes(-2)}, {bdeUInt32, true, Int32Bytes(-2)}, 0, false, 0},
      {"double field vs integer constant", {fkDouble, false, DoubleBytes(2.5)}, {bdeInt16, true, Int16Bytes(2)}, 0, false, 1},
      {"integer field vs double constant", {fkInt32, false, Int32Bytes(2)}, {bdeFloat, true, DoubleBytes(2.5)}, 0, false, -1},
      {"currency in ten-thousandths", {fkCurrency, false, Int64Bytes(12345)}, {bdeFloat, true, DoubleBytes(1.2345)}, 0, false, 0},
      {"date field vs BDE date", {fkDate, false, Int32Bytes(engineFirstDay)}, {bdeDate, true, Int32Bytes(bdeFirstDay)}, 0, false, 0},
      {"date field before a later day", {fkDate, false, Int32Bytes(engineFirstDay)}, {bdeDate, true, Int32Bytes(bdeFirstDay + 1)}, 0, false, -1},
      {"time in seconds vs milliseconds", {fkTime, false, Int32Bytes(3600)}, {bdeTime, true, Int32Bytes(3600000)}, 0, false, 0},
      {"date-time vs time stamp", {fkDateTime, false, DoubleBytes(700000.5)}, {bdeTimeStamp, true, DoubleBytes(700000.5 * 86400000.0)}, 0, false, 0},
      {"no date compares as bytes", {fkDate, false, Int32Bytes(-1)}, {bdeDate, true, Int32Bytes(-1)}, 0, false, 0},
      {"false < true", {fkBoolean, false, Bytes({0})}, {bdeBool, true, Int16Bytes(-1)}, 0, false, -1},
      {"case counts", {fkNullString, false, TextBytes("Abc")}, {bdeZString, true, TextBytes("abc")}, 0, false, -1},
      {"case folded", {fkNullString, false, TextBytes("Abc")}, {bdeZString, true, TextBytes("abd")}, 0, true, -1},
      {"case folded equal", {fkShortString, false, Bytes({3, 'A', 'B', 'C', 0})}, {bdeZString, true, TextBytes("abc")}, 0, true, 0},
      {"partial length 2", {fkNullString, false, TextBytes("abX")}, {bdeZString, true, TextBytes("abc")}, 2, false, 0},
      {"partial length counts characters", {fkNullString, false, TextBytes("\xC3\xA9" "aX")}, {bdeZString, true, TextBytes("\xC3\xA9" "ab")}, 2, false, 0},
      {"one character", {fkChar, false, Bytes({'b'})}, {bdeZString, true, TextBytes("bcd")}, 1, false, 0},
      {"shorter text first", {fkNullString, false, TextBytes("ab")}, {bdeZString, true, TextBytes("abc")}, 0, false, -1},
      // A length byte larger than the field: only the field's own bytes count.
      {"short string bound by its field", {fkShortString, false, Bytes({200, 'a', 'b', 'c'})}, {bdeZString, true, TextBytes("abc")}, 0, false, 0},
      {"unterminated text bound by its field", {fkNullString, false, Bytes({'a', 'b'})}, {bdeZString, true, TextBytes("ab")}, 0, false, 0},
      {"constant bound by its size", {fkNullString, false, TextBytes("ab")}, {bdeZString, true, Bytes({'a', 'b'})}, 0, false, 0},
      // Wide texts compare as texts, not as their UTF-16 bytes.
      {"wide string vs text", {fkWideString, false, Wide(u"Zo\u00eb", 8)}, {bdeZString, true, TextBytes("Zo\xC3\xAB")}, 0, false, 0},
      {"wide string orders as text", {fkWideString, false, Wide(u"Ab", 4)}, {bdeZString, true, TextBytes("B")}, 0, false, -1},
      {"wide character", {fkWideChar, false, Wide(u"x", 1)}, {bdeZString, true, TextBytes("x")}, 0, false, 0},
      {"bytes over the shorter size", {fkByteArray, false, Bytes({1, 2, 3})}, {bdeBytes, true, Bytes({1, 2})}, 0, false, 0},
      {"bytes differ", {fkByteArray, false, Bytes({1, 3})}, {bdeBytes, true, Bytes({1, 2})}, 0, false, 1},
      // A right value the left's family cannot read compares as bytes.
      {"integer vs text", {fkInt32, false, Int32Bytes(0x41)}, {bdeZString, true, TextBytes("A")}, 0, false, 0},
      {"constant too short for its type", {fkInt32, false, Int32Bytes(1)}, {bdeInt32, true, Bytes({2})}, 0, false, -1},
      {"constant left", {bdeInt16, true, Int16Bytes(3)}, {fkInt32, false, Int32Bytes(4)}, 0, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TqdFilterValue left = ValueOf(c.Left), right = ValueOf(c.Right);
    EXPECT_EQ(CompareFilterValues(left, right, c.Partial, c.CaseInsensitive), c.Expected);
  }
}

TEST(FilterCompareTest, ValuesWithoutBytesAreNeverRead) {
  TqdFilterValue empty{.Type = fkInt32, .Size = 0, .Bytes = nullptr};
  TqdFilterValue text{.Type = fkNullString, .Size = 0, .Bytes = nullptr};
  std::vector<uint8_t> four = Int32Bytes(4);
  TqdFilterValue some{.Type = fkInt32, .Size = 4, .Bytes = four.data()};
  EXPECT_EQ(CompareFilterValues(empty, some, 0, false), 0);
  EXPECT_EQ(CompareFilterValues(text, text, 0, false), 0);
}

}  // namespace
}  // namespace qd
