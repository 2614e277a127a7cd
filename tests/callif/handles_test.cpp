// Collections, results, the not-supported answer and the registry of live
// handles.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "callif/QDTTBapi.h"
#include "platform/hooks.h"

namespace qd {
namespace {

// An item that logs its destruction.
class LoggedItem : public TttBapiListItem {
 public:
  LoggedItem(TttCollection* c, std::vector<int>& log, int id) : TttBapiListItem(nullptr, c), log_(log), id_(id) {}
  ~LoggedItem() override { log_.push_back(id_); }

 private:
  std::vector<int>& log_;
  int id_;
};
class OtherItem : public TttBapiListItem {
 public:
  OtherItem() : TttBapiListItem(nullptr, nullptr) {}
};

TEST(CollectionTest, FreeingAnItemRemovesItAndKeepsTheOrder) {
  std::vector<int> log;
  TttCollection c;
  auto* a = new LoggedItem(&c, log, 1);
  auto* b = new LoggedItem(&c, log, 2);
  auto* d = new LoggedItem(&c, log, 3);
  EXPECT_EQ(b->Index(), 1);
  delete b;
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Item(0), a);
  EXPECT_EQ(c.Item(1), d);
  EXPECT_EQ(d->Index(), 1);
  EXPECT_EQ(c.IndexOf(b), -1);
}

TEST(CollectionTest, ClearFreesTheLastFirst) {
  std::vector<int> log;
  {
    TttCollection c;
    for (int i = 1; i <= 3; ++i) new LoggedItem(&c, log, i);
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1}));
    new LoggedItem(&c, log, 4);
  }  // the collection's destruction frees what it still holds
  EXPECT_EQ(log, (std::vector<int>{3, 2, 1, 4}));
}

TEST(CollectionTest, AnItemWithoutCollectionHasIndexZero) {
  OtherItem item;
  EXPECT_EQ(item.Index(), 0);
  EXPECT_EQ(item.Collection(), nullptr);
}

TEST(ResultTest, OnlyNonZeroResultsBecomeTheThreadsLastError) {
  OtherItem item;
  item.SetResult(qdErrInvalidHandle);
  item.SetResult(qdOK);
  EXPECT_TRUE(item.ResultOK());
  EXPECT_EQ(ThreadLastError(), qdErrInvalidHandle);
  item.SetResult(qdErrEOF);
  EXPECT_EQ(ThreadLastError(), qdErrEOF);
  // Another thread has its own.
  TqdResult seen = 1;
  std::thread([&] { seen = ThreadLastError(); }).join();
  EXPECT_EQ(seen, qdOK);
}

TEST(ResultTest, NotSupportedShowsTheOperationAndAnswers12289) {
  std::vector<std::pair<std::string, std::string>> boxes;
  SetMessageBoxHook([&](std::string_view caption, std::string_view text) {
    boxes.emplace_back(std::string(caption), std::string(text));
  });
  OtherItem item;
  EXPECT_EQ(item.NotSupported("TttBaseTable.AddIndex"), qdErrNotSupported);
  EXPECT_EQ(item.Result(), qdErrNotSupported);
  EXPECT_EQ(item.NotSupportedQuietly(), qdErrNotSupported);
  uint16_t length = 0;
  EXPECT_EQ(item.GetProp(1, nullptr, length, 0), qdErrNotSupported);  // quietly
  SetMessageBoxHook({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, "Quilldrive System Message");
  EXPECT_EQ(boxes[0].second, "A BDE routine is not supported [TttBaseTable.AddIndex].");
}

TEST(RegistryTest, FreedAndForeignHandlesAreNotLive) {
  std::vector<int> log;
  TttCollection c;
  auto* item = new LoggedItem(&c, log, 1);
  hDBIObj handle = item->Handle();
  EXPECT_EQ(LiveObject<LoggedItem>(handle), item);
  EXPECT_EQ(LiveObject<OtherItem>(handle), nullptr);  // wrong kind
  delete item;
  EXPECT_FALSE(IsLiveObject(handle));
  int notAnObject = 0;
  EXPECT_FALSE(IsLiveObject(&notAnObject));
  EXPECT_FALSE(IsLiveObject(nullptr));
}

}  // namespace
}  // namespace qd
