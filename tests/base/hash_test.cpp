#include <gtest/gtest.h>

#include <string>

#include "base/QDHash.h"

namespace qd {
namespace {

TEST(HashBytes, KnownValues) {
  struct Case {
    std::string input;
    uint32_t hash;
  };
  const Case cases[] = {
      {"", 0},
      {"a", 0x61},
      {std::string(1, '\xFF'), 0xFF},
      {"abc", 0x6783},  // 0x61, 0x610 + 0x62, 0x6720 + 0x63
      {"abcdefg", 0x789ABA7},
      // The eighth byte pushes a 7 into the top nibble: folded 24 bits lower
      // (0x...D8 ^ 0x70) and cleared.
      {"abcdefgh", 0x89ABAA8},
      {"password", 0x8AAE1E4},
      {"QUILLDRIVE secret", 0x75BDCA4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(HashBytes(c.input.data(), static_cast<std::ptrdiff_t>(c.input.size())), c.hash);
    EXPECT_EQ(HashShortString(c.input), c.hash);
  }
  EXPECT_EQ(HashBytes("abc", 0), 0u);
  EXPECT_EQ(HashBytes("abc", -1), 0u);
}

TEST(HashBytes, NeverSetsTheTopNibble) {
  std::string s;
  for (int i = 0; i < 300; ++i) {
    s += static_cast<char>(0xF0 + i % 16);
    EXPECT_EQ(HashBytes(s.data(), static_cast<std::ptrdiff_t>(s.size())) & 0xF0000000u, 0u);
  }
}

}  // namespace
}  // namespace qd
