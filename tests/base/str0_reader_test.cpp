#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/endian.h"
#include "base/str0.h"

namespace qd {
namespace {

std::vector<uint8_t> Table(const std::vector<Str0Row>& rows) { return PackStr0(rows); }

TEST(Str0Format, LayoutOfAPackedTable) {
  std::vector<uint8_t> t = Table({{1, "ab"}, {7, ""}, {9, "\xC3\xA9"}});
  ASSERT_EQ(t.size(), 8u + 3 * 12 + 2 * 2 + 0 + 1 * 2);
  EXPECT_EQ(std::memcmp(t.data(), "STR0", 4), 0);
  EXPECT_EQ(GetUInt32LE(t.data() + 4), 3u);
  // id, offset from the table start, length in UTF-16 units
  const uint32_t expected[3][3] = {{1, 44, 2}, {7, 48, 0}, {9, 48, 1}};
  for (int i = 0; i < 3; ++i) {
    const uint8_t* e = t.data() + 8 + 12 * i;
    EXPECT_EQ(GetUInt32LE(e), expected[i][0]);
    EXPECT_EQ(GetUInt32LE(e + 4), expected[i][1]);
    EXPECT_EQ(GetUInt32LE(e + 8), expected[i][2]);
  }
  EXPECT_EQ(t[44], 'a');
  EXPECT_EQ(t[45], 0);
  EXPECT_EQ(GetUInt16LE(t.data() + 48), 0xE9);
}

TEST(TqdStringResource, FindsEveryEntryAndNothingElse) {
  std::vector<uint8_t> t = Table({{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}, {5, "five"}});
  TqdStringResource reader(t);
  const char* texts[] = {"", "one", "two", "three", "four", "five", ""};
  for (int id = 0; id <= 6; ++id) EXPECT_EQ(reader.ReadText(id), texts[id]) << id;
  EXPECT_EQ(reader.ReadText(-1), "");
}

TEST(TqdStringResource, NegativeIdsSortAsSigned) {
  std::vector<uint8_t> t = Table({{-5, "minus"}, {0, "zero"}, {70000, "big"}});
  TqdStringResource reader(t);
  EXPECT_EQ(reader.ReadText(-5), "minus");
  EXPECT_EQ(reader.ReadText(70000), "big");
}

TEST(TqdStringResource, EmptyTableGivesEmptyTexts) {
  std::vector<uint8_t> t = Table({});
  ASSERT_EQ(t.size(), 8u);
  TqdStringResource reader(t);
  EXPECT_EQ(reader.ReadText(1), "");
}

TEST(TqdStringResource, RaiseIfMissing) {
  std::vector<uint8_t> t = Table({{1, "one"}});
  TqdStringResource reader(t);
  reader.RaiseIfMissing = true;
  try {
    reader.ReadText(42);
    FAIL();
  } catch (const EqdStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String not found: 42");
  }
}

TEST(TqdStringResource, ReadTextIntoCutsOnACharacterBoundary) {
  std::vector<uint8_t> t =
      Table({{1, "abcdefghijklmnopqrst"}, {2, "a\xC3\xA9z"}, {3, "\xF0\x9F\x98\x80x"}});
  TqdStringResource reader(t);
  struct Case {
    int32_t id;
    size_t capacity;
    const char* text;
  };
  const Case cases[] = {
      {1, 1, ""},
      {1, 20, "abcdefghijklmnopqrs"},
      {1, 21, "abcdefghijklmnopqrst"},
      {1, 128, "abcdefghijklmnopqrst"},
      {2, 3, "a"},              // the two-byte character does not fit with the zero
      {2, 4, "a\xC3\xA9"},
      {3, 4, ""},               // a surrogate pair is never split
      {3, 5, "\xF0\x9F\x98\x80"},
      {99, 10, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.id) + "/" + std::to_string(c.capacity));
    std::vector<char> buffer(c.capacity, '#');
    reader.ReadTextInto(c.id, buffer.data(), c.capacity);
    EXPECT_STREQ(buffer.data(), c.text);
  }
}

// A table from elsewhere is untrusted: the reader checks it once on opening
// and refuses it rather than reading outside the block later.
TEST(TqdStringResource, RefusesMalformedBlocks) {
  std::vector<uint8_t> good = Table({{1, "ab"}, {2, "cd"}});
  auto with = [&](auto change) {
    std::vector<uint8_t> t = good;
    change(t);
    return t;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"wrong magic", with([](auto& t) { t[3] = '1'; })},
      {"shorter than the header", std::vector<uint8_t>{'S', 'T', 'R'}},
      {"count larger than the block", with([](auto& t) { PutUInt32LE(t.data() + 4, 3); })},
      {"huge count", with([](auto& t) { PutUInt32LE(t.data() + 4, 0xFFFFFFFFu); })},
      {"offset outside", with([](auto& t) { PutUInt32LE(t.data() + 8 + 4, 1000); })},
      {"length outside", with([](auto& t) { PutUInt32LE(t.data() + 8 + 12 + 8, 0x80000000u); })},
      {"offset plus length wraps", with([](auto& t) {
         PutUInt32LE(t.data() + 8 + 4, 0xFFFFFFF0u);
         PutUInt32LE(t.data() + 8 + 8, 0x10);
       })},
      {"unsorted ids", with([](auto& t) { PutInt32LE(t.data() + 8 + 12, 0); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      TqdStringResource reader(c.bytes);
      FAIL() << "accepted";
    } catch (const EqdStringResourceError& e) {
      EXPECT_STREQ(e.what(), "Invalid BWString resource");
    }
  }
}

TEST(TqdStringResource, MissingEmbeddedTable) {
  try {
    TqdStringResource reader("NO_SUCH_TABLE");
    FAIL();
  } catch (const EqdStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String resource not found: NO_SUCH_TABLE");
  }
  TqdStringResource none(static_cast<const char*>(nullptr));
  EXPECT_FALSE(none.HasTable());
}

TEST(StringSource, ParsesRowsAndRefusesDisorder) {
  std::vector<Str0Row> rows;
  std::string error;
  ASSERT_TRUE(ParseStringSource("# c\n\n1\tone\n2\t\n3\t two  \\x\n", rows, error));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].Text, "");
  EXPECT_EQ(rows[2].Text, " two  \\x");
  EXPECT_FALSE(ParseStringSource("2\ta\n1\tb\n", rows, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_FALSE(ParseStringSource("2\ta\n2\tb\n", rows, error));
  EXPECT_FALSE(ParseStringSource("x\ta\n", rows, error));
  EXPECT_FALSE(ParseStringSource("5 no tab\n", rows, error));
}

}  // namespace
}  // namespace qd
