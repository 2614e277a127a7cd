#include <gtest/gtest.h>

#include <vector>

#include "base/lists.h"

namespace qd {
namespace {

// Counts its destructions so tests can see who destroyed an item.
class TrackedItem : public TqdIntListItem {
 public:
  TrackedItem(int32_t key, int* deaths) : TqdIntListItem(key), deaths_(deaths) {}
  ~TrackedItem() override { ++*deaths_; }

 private:
  int* deaths_;
};

std::vector<int32_t> Keys(TqdList& list) {
  std::vector<int32_t> keys;
  for (int i = 0; i < list.Count(); ++i)
    keys.push_back(static_cast<TqdIntListItem*>(list.Items(i))->KeyValue());
  return keys;
}

TEST(TqdList, KeepsKeysSortedAndRefusesDuplicates) {
  int deaths = 0;
  TqdList list;
  for (int32_t k : {5, 1, 3, -7}) EXPECT_TRUE(list.Insert(new TrackedItem(k, &deaths)));
  EXPECT_EQ(Keys(list), (std::vector<int32_t>{-7, 1, 3, 5}));

  TrackedItem duplicate(3, &deaths);
  EXPECT_EQ(list.InsertAt(&duplicate), -1);
  EXPECT_TRUE(duplicate.Containers().empty());

  int32_t four = 4, three = 3;
  EXPECT_EQ(list.IndexOfKey(&four), -1);
  EXPECT_EQ(list.IndexOfKey(&three), 2);
  EXPECT_EQ(list.Items(4), nullptr);
  EXPECT_EQ(list.Items(-1), nullptr);
  list.DeleteAt(99);  // out of range: nothing
  EXPECT_EQ(list.Count(), 4);
}

TEST(TqdList, UnsortedAppendsAndSearchesLinearly) {
  int deaths = 0;
  TqdList list;
  list.Sorted = false;
  for (int32_t k : {5, 1, 5}) list.Insert(new TrackedItem(k, &deaths));
  EXPECT_EQ(Keys(list), (std::vector<int32_t>{5, 1, 5}));
  int32_t five = 5;
  EXPECT_EQ(list.IndexOfKey(&five), 0);
}

TEST(TqdList, ItemInTwoListsDiesWithTheLast) {
  int deaths = 0;
  TqdList first, second;
  auto* item = new TrackedItem(9, &deaths);
  first.Insert(item);
  second.Insert(item);
  EXPECT_EQ(item->Containers().size(), 2u);
  int32_t key = 9;
  first.Remove(&key);
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(item->Containers().size(), 1u);
  second.Remove(&key);
  EXPECT_EQ(deaths, 1);
}

TEST(TqdList, UnlinkFromAllLeavesEveryListAtTheFirstRemoval) {
  int deaths = 0;
  TqdList first, second, third;
  auto* item = new TrackedItem(9, &deaths);
  item->UnlinkFromAll = true;
  for (TqdList* l : {&first, &second, &third}) l->Insert(item);
  int32_t key = 9;
  second.Remove(&key);
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(first.Count(), 0);
  EXPECT_EQ(second.Count(), 0);
  EXPECT_EQ(third.Count(), 0);
}

TEST(TqdList, DestroyingAnItemDirectlyTakesItOutOfItsLists) {
  int deaths = 0;
  TqdList first, second;
  auto* item = new TrackedItem(2, &deaths);
  first.Insert(new TrackedItem(1, &deaths));
  first.Insert(item);
  second.Insert(item);
  delete item;
  EXPECT_EQ(deaths, 1);
  EXPECT_EQ(Keys(first), (std::vector<int32_t>{1}));
  EXPECT_EQ(second.Count(), 0);
}

TEST(TqdList, RemoveAllAndDestructionFreeOnlyWhatTheyLastHeld) {
  int deaths = 0;
  auto* shared = new TrackedItem(1, &deaths);
  TqdList keeper;
  keeper.Insert(shared);
  {
    TqdList temporary;
    temporary.Insert(shared);
    temporary.Insert(new TrackedItem(2, &deaths));
    temporary.Insert(new TrackedItem(3, &deaths));
  }
  EXPECT_EQ(deaths, 2);
  EXPECT_EQ(keeper.Count(), 1);
  keeper.RemoveAll();
  EXPECT_EQ(deaths, 3);
}

TEST(TqdList, AssignSharesTheSameItems) {
  int deaths = 0;
  TqdList source, target;
  target.Insert(new TrackedItem(100, &deaths));
  for (int32_t k : {3, 1, 2}) source.Insert(new TrackedItem(k, &deaths));
  target.Assign(source);
  EXPECT_EQ(deaths, 1);  // target's own item
  EXPECT_EQ(Keys(target), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(target.Items(0), source.Items(0));
  source.RemoveAll();
  EXPECT_EQ(deaths, 1);  // still held by target
  target.RemoveAll();
  EXPECT_EQ(deaths, 4);
}

TEST(TqdSelfListItem, KeysAreUniqueAmongLiveItems) {
  TqdList list;
  std::vector<TqdSelfListItem*> items;
  for (int i = 0; i < 1000; ++i) {
    auto* item = new TqdSelfListItem;
    ASSERT_TRUE(list.Insert(item));
    items.push_back(item);
  }
  for (auto* item : items) EXPECT_EQ(list.Items(list.IndexOfKey(item->Key())), item);
}

}  // namespace
}  // namespace qd
