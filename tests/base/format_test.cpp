#include <gtest/gtest.h>

#include "base/format.h"

namespace qd {
namespace {

TEST(FormatEngineText, Placeholders) {
  EXPECT_EQ(FormatEngineText("Quilldrive: %s [$%x/%d]", {"X", 9990, 9990}),
            "Quilldrive: X [$2706/9990]");
  EXPECT_EQ(FormatEngineText("$%x", {0xabc}), "$ABC");
  EXPECT_EQ(FormatEngineText("$%x", {0}), "$0");
  EXPECT_EQ(FormatEngineText("%x", {-1}), "FFFFFFFF");
  EXPECT_EQ(FormatEngineText("%d%%", {50}), "50%");
  EXPECT_EQ(FormatEngineText("[%s]", {""}), "[]");
  EXPECT_EQ(FormatEngineText("%d", {-12}), "-12");
  // A placeholder without an argument stays as it stands.
  EXPECT_EQ(FormatEngineText("a %s b %d", {"x"}), "a x b %d");
  EXPECT_EQ(FormatEngineText("100%", {}), "100%");
}

}  // namespace
}  // namespace qd
