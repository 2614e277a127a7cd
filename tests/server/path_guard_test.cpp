#include "server/path_guard.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "temp_dir.h"

namespace qd {
namespace {

TEST(PathGuard, WithinDirectory) {
  EXPECT_TRUE(IsWithinDirectory("/a/b", "/a/b"));
  EXPECT_TRUE(IsWithinDirectory("/a/b", "/a/b/c"));
  EXPECT_FALSE(IsWithinDirectory("/a/b", "/a/bc"));
  EXPECT_FALSE(IsWithinDirectory("/a/b", "/a"));
  EXPECT_TRUE(IsWithinDirectory("/", "/x"));
}

TEST(PathGuard, ConfinesClientPaths) {
  test::TempDir dir;
  std::string data = *CanonicalDirectory(dir.Make("data"));
  dir.Make("data/sub/deeper");
  dir.Make("outside");
  ASSERT_EQ(symlink((dir.Path() + "/outside").c_str(), (data + "/escape").c_str()), 0);
  std::vector<std::string> roots{data};
  struct Case {
    std::string Path;
    std::string Expected;  // empty: refused
  };
  const Case cases[] = {
      {"sub", data + "/sub"},
      {"sub\\deeper", data + "/sub/deeper"},
      {data + "/sub", data + "/sub"},
      {".", data},
      {"..", ""},
      {"sub/../..", ""},
      {"../outside", ""},
      {"escape", ""},
      {dir.Path() + "/outside", ""},
      {"C:\\DATA", ""},
      {"missing", ""},
      {"", ""},
      {std::string("sub\0x", 5), ""},
      {"/etc", ""},
  };
  for (const auto& c : cases) {
    auto resolved = ResolveConfinedDirectory(c.Path, data, roots);
    EXPECT_EQ(resolved.value_or(""), c.Expected) << c.Path;
  }
}

TEST(PathGuard, BaseNames) {
  EXPECT_EQ(BaseNameOf("../../etc/passwd"), "passwd");
  EXPECT_EQ(BaseNameOf("C:\\DATA\\ORDERS"), "ORDERS");
  EXPECT_EQ(BaseNameOf("plain"), "plain");
}

}  // namespace
}  // namespace qd
