// A client cursor against qd-server: walking every index both ways, key
// searches with every condition and partial keys, ranges, bookmarks across
// index switches and a pack, key extraction, and client filters over
// server reads. The demo table Customers has 300 records, every tenth
// deleted: Id 1..300 without 10, 20, ...
#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/QDTTFilt.h"
#include "dict/QDCLConv.h"
#include "tests/callif/filter_builder.h"
#include "tests/callif/poll_task.h"
#include "tests/callif/cursor_fixture.h"
#include "tests/callif/server_fixture.h"

namespace qd {
namespace {

using test::CursorServerTest;
using test::LiveIds;

// Every index read forward is in the index's order, holds every live
// record once, and read back is the same walk reversed.
TEST_P(CursorServerTest, EveryIndexWalksInItsOrderBothWays) {
  OpenCustomers();
  auto ci = [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()); };
  auto city = [&](const std::vector<uint8_t>& r) -> std::optional<std::string> {
    if (Dict().FieldIsNull(2, r.data())) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(r.data() + Dict().FieldDesc(2).Offset));
  };
  auto balance = [&](const std::vector<uint8_t>& r) { return GetInt64LE(r.data() + Dict().FieldDesc(3).Offset); };
  using Row = std::vector<uint8_t>;
  const std::function<bool(const Row&, const Row&)> inOrder[] = {
      [&](const Row& a, const Row& b) { return Id(a) < Id(b); },  // index 0: record order
      [&](const Row& a, const Row& b) { return Id(a) < Id(b); },
      [&](const Row& a, const Row& b) { return ci(Name(a), Name(b)) <= 0; },
      [&](const Row& a, const Row& b) {
        auto x = city(a), y = city(b);
        if (x.has_value() != y.has_value()) return !x.has_value();  // nulls first
        int c = x ? ci(*x, *y) : 0;
        return c != 0 ? c < 0 : ci(Name(a), Name(b)) <= 0;
      },
      [&](const Row& a, const Row& b) { return balance(a) >= balance(b); },
  };
  for (int16_t index = 0; index < 5; ++index) {
    SCOPED_TRACE(index);
    Switch(index);
    auto forward = Walk(true);
    ASSERT_EQ(forward.size(), 270u);
    for (size_t i = 1; i < forward.size(); ++i) EXPECT_TRUE(inOrder[index](forward[i - 1], forward[i])) << i;
    std::vector<int32_t> ids = Ids(forward);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, LiveIds(1, 300));
    auto backward = Walk(false);  // from past the end, where the forward walk left it
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(Ids(backward), Ids(forward));
    uint32_t count = 0;
    EXPECT_EQ(table_->GetRecordCount(count), qdOK);
    EXPECT_EQ(count, 270u);
  }
}

TEST_P(CursorServerTest, ReadingWithoutABufferStillMoves) {
  OpenCustomers();
  Switch(1);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, nullptr, nullptr), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 2);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 2);
  ASSERT_EQ(table_->SetToBegin(), qdOK);
  EXPECT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdErrNoCurrRec);
  EXPECT_EQ(table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr), qdErrBOF);
  ASSERT_EQ(table_->SetToEnd(), qdOK);
  ASSERT_EQ(table_->GetPriorRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 299);
}

// Searches on the unique Id index with each condition; a missing key
// leaves the cursor just before where it would be.
TEST_P(CursorServerTest, SetToKeyWithEachCondition) {
  OpenCustomers();
  Switch(1);
  struct {
    int32_t Condition;  // BDE: 0 equal, 1 greater, 2 greater or equal
    int32_t Id;
    TqdResult Result;
    int32_t Next;
  } cases[] = {{0, 151, qdOK, 151}, {1, 151, qdOK, 152}, {2, 151, qdOK, 151},
               {0, 20, qdErrRecNotFound, 21}, {2, 20, qdOK, 21}, {1, 19, qdOK, 21}, {1, 299, qdOK, -1}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.Condition << "/" << k.Id);
    std::vector<uint8_t> key = IdKey(k.Id);
    EXPECT_EQ(table_->SetToKey(k.Condition, true, 0, 0, key.data()), k.Result);
    TqdResult next = table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr);
    if (k.Next < 0) {
      EXPECT_EQ(next, qdErrEOF);
    } else {
      ASSERT_EQ(next, qdOK);
      EXPECT_EQ(Id(record_), k.Next);
    }
  }
  // A whole record may stand for the key.
  std::vector<uint8_t> r(record_.size());
  table_->InitRecord(r.data());
  int32_t id = 42;
  table_->TranslatePut(1, r.data(), &id);
  ASSERT_EQ(table_->GetRecordForKey(false, 0, 0, r.data(), dbiNOLOCK, record_.data()), qdOK);
  EXPECT_EQ(Id(record_), 42);
  EXPECT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(40).data(), dbiNOLOCK, record_.data()), qdErrRecNotFound);
}

// Partial keys on the case-insensitive name index.
TEST_P(CursorServerTest, PartialKeysFindTheFirstMatch) {
  OpenCustomers();
  Switch(2);
  std::vector<uint8_t> key = NameKey("JON");
  ASSERT_EQ(table_->GetRecordForKey(true, 1, 3, key.data(), dbiNOLOCK, record_.data()), qdOK);
  EXPECT_EQ(strncasecmp(Name(record_).c_str(), "jones", 5), 0) << Name(record_);
  key = NameKey("smi");
  ASSERT_EQ(table_->SetToKey(2, true, 1, 3, key.data()), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Name(record_).substr(0, 5), "Smith");
  // Greater than every "Smi...": the next name sorts after them all.
  ASSERT_EQ(table_->SetToKey(1, true, 1, 3, key.data()), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_GT(strncasecmp(Name(record_).c_str(), "smi", 3), 0) << Name(record_);
  EXPECT_EQ(table_->GetRecordForKey(true, 1, 3, NameKey("zzz").data(), dbiNOLOCK, record_.data()),
            qdErrRecNotFound);
  // The sequential index has no key to search by.
  Switch(0);
  EXPECT_EQ(table_->SetToKey(2, true, 0, 0, key.data()), qdErrInvalidIndexType);
  EXPECT_EQ(table_->GetRecordForKey(false, 0, 0, record_.data(), dbiNOLOCK, record_.data()),
            qdErrInvalidIndexType);
}

TEST_P(CursorServerTest, RangesWithOpenAndClosedEnds) {
  OpenCustomers();
  Switch(1);
  struct {
    int32_t Low, High;  // 0: open
    bool LowInclusive, HighInclusive;
    std::vector<int32_t> Ids;
  } cases[] = {
      {101, 105, true, true, {101, 102, 103, 104, 105}},
      {101, 105, false, false, {102, 103, 104}},
      {0, 5, true, true, {1, 2, 3, 4, 5}},
      {296, 0, true, true, {296, 297, 298, 299}},
      {105, 101, true, true, {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.Low << ".." << k.High);
    std::vector<uint8_t> low = IdKey(k.Low), high = IdKey(k.High);
    ASSERT_EQ(table_->SetRange(true, 0, 0, k.Low ? low.data() : nullptr, k.LowInclusive, 0, 0,
                               k.High ? high.data() : nullptr, k.HighInclusive),
              qdOK);
    EXPECT_EQ(Ids(Walk(true)), k.Ids);
    auto back = Ids(Walk(false));
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, k.Ids);
    uint32_t count = 0;
    ASSERT_EQ(table_->GetRecordCount(count), qdOK);
    EXPECT_EQ(count, k.Ids.size());
  }
  ASSERT_EQ(table_->ResetRange(), qdOK);
  EXPECT_EQ(Walk(true).size(), 270u);
}

TEST_P(CursorServerTest, BookmarksOutliveIndexSwitchesButNotAPack) {
  OpenCustomers();
  Switch(1);
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(151).data(), dbiNOLOCK, record_.data()), qdOK);
  std::vector<uint8_t> at151(static_cast<size_t>(table_->BookmarkSize()));
  ASSERT_EQ(table_->GetBookMark(at151.data()), qdOK);
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(7).data(), dbiNOLOCK, record_.data()), qdOK);
  std::vector<uint8_t> at7(at151.size());
  ASSERT_EQ(table_->GetBookMark(at7.data()), qdOK);
  int32_t order = 0;
  ASSERT_EQ(table_->CompareBookMarks(at7.data(), at151.data(), order), qdOK);
  EXPECT_EQ(order, -1);

  // On the name index "Roberts 7" sorts after "Roberts 151", and the
  // bookmarks still name their records.
  ASSERT_EQ(table_->SwitchToIndex("ByName", nullptr, 0, false), qdOK);
  ASSERT_EQ(table_->SetToBookmark(at151.data()), qdOK);
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 151);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_GE(strcasecmp(Name(record_).c_str(), "Roberts 151"), 0);
  ASSERT_EQ(table_->CompareBookMarks(at7.data(), at151.data(), order), qdOK);
  EXPECT_EQ(order, 1);
  ASSERT_EQ(table_->CompareBookMarks(at151.data(), at151.data(), order), qdOK);
  EXPECT_EQ(order, 0);

  // Keep the current record across a switch.
  ASSERT_EQ(table_->SetToBookmark(at7.data()), qdOK);
  ASSERT_EQ(table_->SwitchToIndex(nullptr, nullptr, 1, true), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 8);

  int32_t task = kNoTask;
  ASSERT_EQ(PackTable(db_, "Customers", task), qdOK);
  EXPECT_EQ(test::PollToFinished(Engine().CurrentSession()->Handle(), task), 100);
  EXPECT_EQ(table_->SetToBookmark(at151.data()), qdErrRecDeleted);
  // The pack sent the cursor before the first record.
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 1);
  std::vector<uint8_t> bogus(at151.size(), 0x5A);
  EXPECT_EQ(table_->SetToBookmark(bogus.data()), qdErrInvalidParam);
}

// The server's key of the current record equals the one built here.
TEST_P(CursorServerTest, ExtractKeyHereAndOnTheServerAgree) {
  OpenCustomers();
  for (int16_t index : {1, 3, 4}) {
    SCOPED_TRACE(index);
    Switch(index);
    ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
    std::vector<uint8_t> here(static_cast<size_t>(table_->KeyLength())), there(here.size(), 0xEE);
    ASSERT_EQ(table_->ExtractKey(record_.data(), here.data()), qdOK);
    ASSERT_EQ(table_->ExtractKey(nullptr, there.data()), qdOK);
    EXPECT_EQ(here, there);
  }
  Switch(1);
  std::vector<uint8_t> key(static_cast<size_t>(table_->KeyLength()));
  EXPECT_EQ(table_->ExtractKey(nullptr, key.data()), qdErrNoCurrRec);
}

// The server cannot see a client filter: counting with one active scans,
// and comes back to where it stood.
TEST_P(CursorServerTest, FiltersApplyToServerReads) {
  OpenCustomers();
  Switch(1);
  test::FilterBuilder b;
  uint16_t root = b.Compare(opLess);
  uint16_t field = b.Field(1, "Id");
  b.Operands(root, field, b.Constant(bdeInt32, test::Int32Bytes(25)));
  std::vector<uint8_t> expression = b.Block();
  hDBIFilter filter = nullptr;
  ASSERT_EQ(table_->AddFilter(0, 0, false, expression.data(), nullptr, filter), qdOK);
  ASSERT_EQ(table_->ActivateFilter(filter), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  ASSERT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 2);
  uint32_t count = 0;
  ASSERT_EQ(table_->GetExactRecordCount(count), qdOK);
  EXPECT_EQ(count, LiveIds(1, 24).size());
  ASSERT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdOK);
  EXPECT_EQ(Id(record_), 2);
  ASSERT_EQ(table_->GetRecordForKey(true, 0, 0, IdKey(26).data(), dbiNOLOCK, record_.data()), qdOK);
  EXPECT_EQ(table_->GetRecord(dbiNOLOCK, record_.data(), nullptr), qdErrRecNotFound);
  EXPECT_EQ(table_->GetNextRecord(dbiNOLOCK, record_.data(), nullptr), qdErrEOF);
}

INSTANTIATE_TEST_SUITE_P(Transports, CursorServerTest, testing::Bool(), test::ParamName);

}  // namespace
}  // namespace qd
