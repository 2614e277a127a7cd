#include <gtest/gtest.h>

#include <string>

#include "base/bits.h"
#include "base/endian.h"
#include "base/shortstr.h"

namespace qd {
namespace {

TEST(ShortString, LongerInputIsCutNeverRejected) {
  TqdNetName name(std::string(40, 'x'));
  EXPECT_EQ(name.Length(), 31u);
  EXPECT_EQ(name.Bytes()[0], 31);
  name.Assign("abc");
  EXPECT_EQ(name.View(), "abc");
  EXPECT_EQ(name.Bytes()[4], 0);  // no stale characters behind the text
  name.Append(std::string(40, 'y'));
  EXPECT_EQ(name.Length(), 31u);
  EXPECT_EQ(name.View().substr(0, 4), "abcy");
  TqdNetAddress address(std::string(70, 'z'));
  EXPECT_EQ(address.Length(), 63u);
}

TEST(ShortString, RecordFieldsPadAndCut) {
  uint8_t field[32];
  std::fill(std::begin(field), std::end(field), 0xEE);
  PutShortString(field, "ORDERS", 31);
  EXPECT_EQ(field[0], 6);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field + 1), 6), "ORDERS");
  for (int i = 7; i < 32; ++i) EXPECT_EQ(field[i], 0) << i;
  EXPECT_EQ(GetShortString(field, 31), "ORDERS");
  field[0] = 200;  // a peer's length beyond the field is cut to the field
  EXPECT_EQ(GetShortString(field, 31).size(), 31u);
}

TEST(CompareShortText, CaseFoldingAndMaximum) {
  struct Case {
    const char* a;
    const char* b;
    size_t max;
    int plain;
    int noCase;
  };
  const Case cases[] = {
      {"abc", "ABC", 255, 1, 0},   {"ab", "abc", 255, -1, -1}, {"abX", "abY", 2, 0, 0},
      {"abX", "abY", 3, -1, -1},   {"b", "a", 255, 1, 1},      {"", "", 255, 0, 0},
      {"\xE9", "e", 255, 1, 1},    {"abc", "ab", 2, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(CompareShortText(c.a, c.b, c.max), c.plain);
    EXPECT_EQ(CompareShortTextNoCase(c.a, c.b, c.max), c.noCase);
  }
}

TEST(SmallRoutines, NumbersMemoryAndClamp) {
  EXPECT_EQ(CompareUInt32(0xFFFFFFFFu, 1), 1);
  EXPECT_EQ(CompareInt32(-1, 1), -1);
  EXPECT_EQ(CompareMemory("\x80", "\x01", 1), 1);
  EXPECT_EQ(CompareMemory("a", "b", 0), 0);
  EXPECT_EQ(Clamp(5, 1, 3), 3);
  EXPECT_EQ(Clamp(-5, 1, 3), 1);
  char buffer[4];
  EXPECT_EQ(CopyToZeroTerminated("abcdef", buffer, sizeof buffer), 3u);
  EXPECT_STREQ(buffer, "abc");
}

TEST(SharedText, ReadsAsBothFormsAndSharesTheEmptyConstant) {
  const uint8_t* text = NewSharedText("hello");
  EXPECT_EQ(text[0], 5);
  EXPECT_STREQ(reinterpret_cast<const char*>(text + 1), "hello");
  EXPECT_EQ(SharedTextView(text), "hello");
  FreeSharedText(text);
  EXPECT_EQ(text, nullptr);

  const uint8_t* empty1 = NewSharedText("");
  const uint8_t* empty2 = NewSharedText("");
  EXPECT_EQ(empty1, empty2);
  FreeSharedText(empty1);  // the constant is never freed
  EXPECT_EQ(empty2[0], 0);
}

TEST(BitArrays, LeastSignificantBitFirst) {
  uint8_t bits[3] = {};
  SetBit(bits, 0);
  SetBit(bits, 9);
  EXPECT_EQ(bits[0], 0x01);
  EXPECT_EQ(bits[1], 0x02);
  EXPECT_TRUE(TestBit(bits, 9));
  ClearBit(bits, 9);
  EXPECT_FALSE(TestBit(bits, 9));
  uint8_t filled[3] = {};
  SetFirstBits(filled, 9);  // (9 + 7) / 8 = 2 bytes
  EXPECT_EQ(filled[0], 0xFF);
  EXPECT_EQ(filled[1], 0xFF);
  EXPECT_EQ(filled[2], 0x00);
}

TEST(Endian, LittleEndianRoundTrips) {
  uint8_t b[8];
  PutInt32LE(b, -2);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[3], 0xFF);
  EXPECT_EQ(GetInt32LE(b), -2);
  PutUInt16LE(b, 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(GetUInt16LE(b), 0x1234);
  PutDoubleLE(b, 1.5);
  EXPECT_EQ(GetDoubleLE(b), 1.5);
  EXPECT_EQ(b[7], 0x3F);
}

}  // namespace
}  // namespace qd
