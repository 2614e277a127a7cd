// Field values through a client cursor: the logical form with xltFIELD,
// the physical bytes otherwise, blanks, and the failures.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "dict/QDCLConv.h"
#include "tests/callif/open_table_sample.h"

namespace qd {
namespace {

// Orders: 1 Id int32, 2 Name short string 20, 3 Amount double, 4 Day date.
class ValuesTest : public testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    TqdMemoryStream stream(test::DictionaryBytes(*test::OrdersDictionary()));
    table_.Dictionary().LoadFromStream(stream);
    table_.BuildFieldDescs();
    record_.assign(static_cast<size_t>(table_.Dictionary().RecordSize()), 0);
    table_.InitRecord(record_.data());
  }
  TQDClientTable table_{nullptr, nullptr, "Orders", nullptr, 0, dbiREADWRITE, dbiOPENSHARED, GetParam(), nullptr};
  std::vector<uint8_t> record_;
};

TEST_P(ValuesTest, APutValueReadsBack) {
  const bool logical = GetParam() == xltFIELD;
  int32_t id = 42;
  ASSERT_EQ(table_.TranslatePut(1, record_.data(), &id), qdOK);
  uint8_t name[32];
  std::memset(name, 0, sizeof name);
  if (logical) {
    std::strcpy(reinterpret_cast<char*>(name), "Smith");
  } else {
    name[0] = 5;
    std::memcpy(name + 1, "Smith", 5);
  }
  ASSERT_EQ(table_.TranslatePut(2, record_.data(), name), qdOK);
  int32_t idBack = 0;
  bool blank = true;
  ASSERT_EQ(table_.TranslateGet(1, record_.data(), blank, &idBack), qdOK);
  EXPECT_FALSE(blank);
  EXPECT_EQ(idBack, 42);
  uint8_t nameBack[32];
  std::memset(nameBack, 0xEE, sizeof nameBack);
  ASSERT_EQ(table_.TranslateGet(2, record_.data(), blank, nameBack), qdOK);
  EXPECT_EQ(std::memcmp(nameBack, name, logical ? 6 : 21), 0);
}

// A blank field fills the caller's buffer with zeros for its length: the
// logical length (20 characters for a short string of 20) or the physical
// one (the length byte and 20). Without a buffer only the blank flag is
// answered.
TEST_P(ValuesTest, ABlankFieldZeroFillsItsLength) {
  ASSERT_EQ(table_.TranslatePut(2, record_.data(), nullptr), qdOK);
  std::vector<uint8_t> buffer(40, 0xEE);
  bool blank = false;
  ASSERT_EQ(table_.TranslateGet(2, record_.data(), blank, buffer.data()), qdOK);
  EXPECT_TRUE(blank);
  const size_t length = GetParam() == xltFIELD ? 20 : 21;
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length), std::vector<uint8_t>(length, 0));
  EXPECT_EQ(buffer[length], 0xEE);
  blank = false;
  EXPECT_EQ(table_.TranslateGet(2, record_.data(), blank, nullptr), qdOK);
  EXPECT_TRUE(blank);
}

TEST_P(ValuesTest, Failures) {
  bool blank = false;
  int32_t value = 0;
  EXPECT_EQ(table_.TranslateGet(1, nullptr, blank, &value), qdErrInvalidParam);
  EXPECT_EQ(table_.TranslatePut(1, nullptr, &value), qdErrInvalidParam);
  for (int32_t field : {0, 5, -1}) {
    EXPECT_EQ(table_.TranslateGet(field, record_.data(), blank, &value), qdErrOutOfRange);
    EXPECT_EQ(table_.TranslatePut(field, record_.data(), &value), qdErrOutOfRange);
  }
  if (GetParam() != xltFIELD) return;
  // A date the engine cannot hold (before 1600), and a stored "no date".
  int32_t ancient = 1;
  EXPECT_EQ(table_.TranslatePut(4, record_.data(), &ancient), qdErrTranslate);
  PutInt32LE(record_.data() + table_.Dictionary().FieldDesc(3).Offset, -1);
  table_.Dictionary().WriteFieldNull(3, record_.data(), false);
  PutInt32LE(record_.data() + table_.Dictionary().FieldDesc(3).Offset, -1);
  EXPECT_EQ(table_.TranslateGet(4, record_.data(), blank, &value), qdErrTranslate);
}

INSTANTIATE_TEST_SUITE_P(Modes, ValuesTest, testing::Values(xltFIELD, 0));

}  // namespace
}  // namespace qd
