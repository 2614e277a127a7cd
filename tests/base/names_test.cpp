#include <gtest/gtest.h>

#include "base/names.h"

namespace qd {
namespace {

TEST(ExtractBaseTableName, TakesTheFilePartWithoutItsLastExtension) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"C:\\DATA\\ORDERS.DAT", "ORDERS"},
      {"ORDERS", "ORDERS"},
      {"A.B.C", "A.B"},
      {"DIR\\NAME", "NAME"},
      {"NAME.", "NAME"},
      {"DIR.X\\NAME", "NAME"},
      {"\\", ""},
      {"", ""},
      {".DAT", ""},
      {"C:\\A.B\\C.D.E", "C.D"},
      {"0123456789012345678901234567890123456789", "0123456789012345678901234567890"},
      {"X\\0123456789012345678901234567890123456789.DAT", "0123456789012345678901234567890"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtractBaseTableName(c.path), c.name) << c.path;
}

TEST(NameChecks, IdentifiersBlockSizesExtensionsKeyLengths) {
  EXPECT_TRUE(IsIdentifierText("Orders_2", 31));
  EXPECT_FALSE(IsIdentifierText("", 31));
  EXPECT_FALSE(IsIdentifierText("has space", 31));
  EXPECT_FALSE(IsIdentifierText("abcd", 3));
  EXPECT_FALSE(IsIdentifierText("caf\xC3\xA9", 31));

  for (int64_t n : {4096, 8192, 16384, 32768}) EXPECT_TRUE(IsValidBlockSize(n)) << n;
  for (int64_t n : {0, 1024, 4095, 65536, -4096}) EXPECT_FALSE(IsValidBlockSize(n)) << n;

  EXPECT_TRUE(IsValidExtension("DAT"));
  EXPECT_TRUE(IsValidExtension("IDXX"));  // only the first three count
  EXPECT_FALSE(IsValidExtension(""));
  EXPECT_FALSE(IsValidExtension("D.T"));

  struct KeyCase {
    int64_t n;
    bool valid;
  };
  for (KeyCase c : {KeyCase{0, false}, KeyCase{1, true}, KeyCase{1024, true}, KeyCase{1025, false},
                    KeyCase{65537, true}, KeyCase{65536, false}, KeyCase{-1, false}})
    EXPECT_EQ(IsValidKeyLength(c.n), c.valid) << c.n;
}

}  // namespace
}  // namespace qd
