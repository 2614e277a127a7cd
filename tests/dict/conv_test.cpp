// The mappings between engine and BDE field types and the request codes.
#include <gtest/gtest.h>

#include "base/string_ids.h"
#include "dict/QDCLConv.h"
#include "tests/dict/dict_test_util.h"

namespace qd {
namespace {

using test::CatchEqd;

TEST(BDETypeFromEngine, EveryEngineType) {
  struct Case {
    uint8_t Type;
    int32_t Length;
    TqdBDETypeInfo Expected;
  };
  const Case cases[] = {
      {fkBoolean, 1, {4, 4, 0}},        {fkChar, 1, {1, 1, 0}},           {fkWideChar, 2, {1, 1, 0}},
      {fkUInt8, 1, {12, 2, 0}},         {fkUInt16, 2, {12, 2, 0}},        {fkUInt32, 4, {6, 4, 0}},
      {fkInt32, 4, {6, 4, 0}},          {fkInt8, 1, {5, 2, 0}},           {fkInt16, 2, {5, 2, 0}},
      {fkAutoInc, 4, {6, 4, 29}},       {fkSingle, 4, {7, 8, 0}},         {fkDouble, 8, {7, 8, 0}},
      {fkExtended, 10, {7, 8, 0}},      {fkComp, 8, {7, 8, 0}},           {fkCurrency, 8, {7, 8, 21}},
      {fkDate, 4, {2, 4, 0}},           {fkTime, 4, {10, 4, 0}},          {fkDateTime, 8, {11, 8, 0}},
      {fkBlob, 4, {3, 4, 23}},          {fkBlobMemo, 4, {3, 4, 22}},      {fkBlobFmtMemo, 4, {3, 4, 24}},
      {fkBlobOleObj, 4, {3, 4, 25}},    {fkBlobGraphic, 4, {3, 4, 26}},   {fkBlobDbaseOle, 4, {3, 4, 27}},
      {fkBlobTypedBinary, 4, {3, 4, 28}}, {fkByteArray, 17, {9, 17, 0}},  {fkShortString, 11, {1, 10, 0}},
      {fkShortStringAlt, 11, {1, 10, 0}}, {fkNullString, 8192, {1, 8191, 0}}, {fkNullString, 8193, {3, 4, 22}},
      {fkNullStringAlt, 21, {1, 20, 0}}, {fkWideString, 42, {1, 41, 0}},  {fkWideString, 9000, {3, 4, 22}},
      {fkInt32 | 0x80, 4, {6, 4, 0}},  // only the low 7 bits count
  };
  for (const Case& c : cases) {
    TqdBDETypeInfo info = BDETypeFromEngine(c.Type, c.Length);
    EXPECT_EQ(info.Type, c.Expected.Type) << int(c.Type);
    EXPECT_EQ(info.Length, c.Expected.Length) << int(c.Type);
    EXPECT_EQ(info.Subtype, c.Expected.Subtype) << int(c.Type);
  }
  for (uint8_t unknown : {25, 44, 51, 127}) {
    auto e = CatchEqd([&] { BDETypeFromEngine(unknown, 4); });
    EXPECT_EQ(e.Code, csInvalidParameter) << int(unknown);
    EXPECT_EQ(e.Message, "Invalid Parameter");
  }
  EXPECT_THROW(BDETypeFromEngine(30, 4), EqdClientException);
}

TEST(EngineTypeFromBDE, EveryBDEType) {
  struct Case {
    uint16_t Type, Subtype;
    int32_t Length;
    TqdFieldKind Kind;
    int32_t EngineLength;
  };
  const Case cases[] = {
      {1, 0, 21, fkNullString, 21},     {2, 0, 0, fkDate, 4},           {3, 22, 0, fkBlobMemo, 4},
      {3, 23, 0, fkBlob, 4},            {3, 24, 0, fkBlobFmtMemo, 4},   {3, 25, 0, fkBlobOleObj, 4},
      {3, 26, 0, fkBlobGraphic, 4},     {3, 27, 0, fkBlobDbaseOle, 4},  {3, 28, 0, fkBlobTypedBinary, 4},
      {4, 0, 0, fkBoolean, 1},          {5, 0, 0, fkInt16, 2},          {6, 29, 0, fkAutoInc, 4},
      {6, 0, 0, fkInt32, 4},            {7, 21, 0, fkCurrency, 8},      {7, 0, 0, fkDouble, 8},
      {8, 0, 0, fkCurrency, 8},         {9, 0, 33, fkByteArray, 33},    {10, 0, 0, fkTime, 4},
      {11, 0, 0, fkDateTime, 8},        {12, 0, 0, fkUInt16, 2},        {13, 0, 0, fkUInt32, 4},
      {14, 0, 0, fkExtended, 10},       {15, 0, 256, fkShortString, 256},
  };
  for (const Case& c : cases) {
    TqdEngineTypeAndLength r = EngineTypeFromBDE(c.Type, c.Subtype, c.Length);
    EXPECT_EQ(r.Type, c.Kind) << c.Type << "/" << c.Subtype;
    EXPECT_EQ(r.Length, c.EngineLength) << c.Type << "/" << c.Subtype;
  }
  struct Bad {
    uint16_t Type, Subtype;
    int32_t Length;
  };
  for (Bad b : {Bad{15, 0, 300}, Bad{15, 0, 257}, Bad{3, 21, 0}, Bad{3, 0, 0}, Bad{0, 0, 0}, Bad{16, 0, 0}}) {
    auto e = CatchEqd([&] { EngineTypeFromBDE(b.Type, b.Subtype, b.Length); });
    EXPECT_EQ(e.Code, csInvalidParameter) << b.Type << "/" << b.Subtype << "/" << b.Length;
    EXPECT_EQ(e.Message, "Invalid Parameter");
  }
}

TEST(RequestCodes, Mappings) {
  struct Case {
    int32_t In, Lock, Search, Open, Share;
  };
  const Case cases[] = {
      {0, 0, 0, 1, 1}, {1, 2, 1, 0, 0}, {2, 1, 2, 0, 0}, {3, 0, 0, 0, 0}, {-1, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LockTypeToEngine(c.In), c.Lock) << c.In;
    EXPECT_EQ(SearchCondToEngine(c.In), c.Search) << c.In;
    EXPECT_EQ(OpenModeToEngine(c.In), c.Open) << c.In;
    EXPECT_EQ(ShareModeToEngine(c.In), c.Share) << c.In;
  }
}

}  // namespace
}  // namespace qd
