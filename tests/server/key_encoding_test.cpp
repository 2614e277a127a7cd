#include "server/key_encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "server/record_writer.h"

namespace qd {
namespace {

// One field per type under test; index i + 1 is an ascending index over
// field i, index kFields + i + 1 a descending case-insensitive one.
enum FieldNo { kInt8, kInt32, kUInt16, kDouble, kSingle, kCurrency, kText, kNullText, kWide, kBool, kFields };

std::unique_ptr<TqdDataDictionary> MakeDictionary() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("I8", "", fkInt8, 3, 0, false);
  d->AddField("I32", "", fkInt32, 10, 0, false);
  d->AddField("U16", "", fkUInt16, 5, 0, false);
  d->AddField("D", "", fkDouble, 10, 2, false);
  d->AddField("S", "", fkSingle, 10, 2, false);
  d->AddField("C", "", fkCurrency, 10, 4, false);
  d->AddField("T", "", fkShortString, 8, 0, false);
  d->AddField("NT", "", fkNullString, 8, 0, false);
  d->AddField("W", "", fkWideString, 4, 0, false);
  d->AddField("B", "", fkBoolean, 0, 0, false);
  for (int32_t i = 0; i < kFields; ++i) {
    const int32_t f[] = {i};
    d->AddCompositeIndex("A" + std::to_string(i), "", 0, f, true, true, false);
  }
  for (int32_t i = 0; i < kFields; ++i) {
    const int32_t f[] = {i};
    d->AddCompositeIndex("D" + std::to_string(i), "", 0, f, true, false, true);
  }
  return d;
}

using Setter = std::function<void(TqdRecordWriter&)>;

struct OrderCase {
  const char* What;
  int32_t Field;
  Setter Low;   // sorts first in an ascending index
  Setter High;
  bool EqualWhenCaseInsensitive = false;
};

Setter Int(int32_t f, int64_t v) { return [=](TqdRecordWriter& w) { w.SetInteger(f, v); }; }
Setter Flt(int32_t f, double v) { return [=](TqdRecordWriter& w) { w.SetFloat(f, v); }; }
Setter Txt(int32_t f, const char* v) { return [=](TqdRecordWriter& w) { w.SetText(f, v); }; }
Setter Null(int32_t f) { return [=](TqdRecordWriter& w) { w.SetNull(f); }; }

int Compare(const TqdDataDictionary& dict, int32_t index, const Setter& a, const Setter& b) {
  TqdKeyEncoder encoder(dict, index);
  TqdRecordWriter wa(dict), wb(dict);
  a(wa);
  b(wb);
  std::vector<uint8_t> ka(encoder.Width()), kb(encoder.Width());
  encoder.Encode(wa.Bytes().data(), ka.data());
  encoder.Encode(wb.Bytes().data(), kb.data());
  int c = std::memcmp(ka.data(), kb.data(), ka.size());
  return (c > 0) - (c < 0);
}

TEST(KeyEncoding, OrdersLikeTheValues) {
  const OrderCase cases[] = {
      {"negative int8 first", kInt8, Int(kInt8, -5), Int(kInt8, 3)},
      {"int32 sign", kInt32, Int(kInt32, -1), Int(kInt32, 0)},
      {"int32 magnitude", kInt32, Int(kInt32, 255), Int(kInt32, 256)},
      {"int32 extremes", kInt32, Int(kInt32, INT32_MIN), Int(kInt32, INT32_MAX)},
      {"uint16 high bit", kUInt16, Int(kUInt16, 1), Int(kUInt16, 0x8000)},
      {"double negatives", kDouble, Flt(kDouble, -2.5), Flt(kDouble, -1.0)},
      {"double across zero", kDouble, Flt(kDouble, -0.001), Flt(kDouble, 0.001)},
      {"double fractions", kDouble, Flt(kDouble, 1.25), Flt(kDouble, 1.5)},
      {"single", kSingle, Flt(kSingle, -3), Flt(kSingle, 2)},
      {"currency", kCurrency, Int(kCurrency, -10000), Int(kCurrency, 5)},
      {"text prefix first", kText, Txt(kText, "abc"), Txt(kText, "abcd")},
      {"text case", kText, Txt(kText, "ABC"), Txt(kText, "abc"), true},
      {"null text first", kText, Null(kText), Txt(kText, "")},
      {"null int first", kInt32, Null(kInt32), Int(kInt32, INT32_MIN)},
      {"zero-ended string", kNullText, Txt(kNullText, "b"), Txt(kNullText, "bb")},
      {"wide string", kWide, Txt(kWide, "Ab"), Txt(kWide, "b")},
      {"boolean", kBool, Int(kBool, 0), Int(kBool, 1)},
  };
  auto dict = MakeDictionary();
  for (const auto& c : cases) {
    EXPECT_EQ(Compare(*dict, c.Field + 1, c.Low, c.High), -1) << c.What << " ascending";
    int descending = Compare(*dict, kFields + c.Field + 1, c.Low, c.High);
    bool lowIsNull = std::string(c.What).find("null") == 0;
    int expected = c.EqualWhenCaseInsensitive ? 0 : lowIsNull ? -1 : 1;
    EXPECT_EQ(descending, expected) << c.What << " descending";
  }
}

TEST(KeyEncoding, NegativeZeroEqualsZero) {
  auto dict = MakeDictionary();
  EXPECT_EQ(Compare(*dict, kDouble + 1, Flt(kDouble, -0.0), Flt(kDouble, 0.0)), 0);
}

TEST(KeyEncoding, WidthIsMarkerPlusValue) {
  auto dict = MakeDictionary();
  EXPECT_EQ(TqdKeyEncoder(*dict, kInt32 + 1).Width(), 5u);
  EXPECT_EQ(TqdKeyEncoder(*dict, kText + 1).Width(), 9u);
  EXPECT_EQ(TqdKeyEncoder(*dict, kWide + 1).Width(), 9u);
}

}  // namespace
}  // namespace qd
