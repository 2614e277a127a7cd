#include <gtest/gtest.h>

#include <vector>

#include "base/endian.h"
#include "comms/QDDtMsgQ.h"
#include "comms/QDNetMsg.h"
#include "comms/bundle.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 13 + 1);
  return b;
}

TEST(DataMessageQueueTest, OnePartMessagesCompleteAtOnceInArrivalOrder) {
  TqdDataMessageQueue q;
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(q.AddFirstPart(258, 1, kDataKindBlock, nullptr, 0, 0, 0), TqdPartStatus::psAccepted);
  Bytes d = Pattern(5);
  q.AddFirstPart(771, 1, kDataKindStream, d.data(), 5, 5, 0x2C0C);
  EXPECT_EQ(q.Count(), 2u);
  TqdReceivedMessage* head = q.Peek();
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->MsgID, 258u);
  EXPECT_TRUE(head->Data.empty());
  EXPECT_EQ(q.Peek(), nullptr);  // a taken head is not returned again
  q.RemoveHead();
  head = q.Peek();
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->MsgID, 771u);
  EXPECT_TRUE(head->IsStream);
  EXPECT_EQ(head->ResultCode, 0x2C0Cu);
  EXPECT_EQ(head->Data, d);
  q.RemoveHead();
  EXPECT_TRUE(q.IsEmpty());
  q.RemoveHead();  // nothing to remove: no effect
}

TEST(DataMessageQueueTest, PartsAreJoinedPerMessageAndConnection) {
  TqdDataMessageQueue q;
  Bytes d = Pattern(10);
  q.AddFirstPart(1280, 7, kDataKindStream, d.data(), 4, 10, 0);
  q.AddFirstPart(1280, 8, kDataKindStream, d.data(), 4, 10, 0);  // another connection
  EXPECT_TRUE(q.IsEmpty());
  EXPECT_EQ(q.AddNextPart(1280, 7, d.data() + 4, 4), TqdPartStatus::psAccepted);
  EXPECT_TRUE(q.IsEmpty());
  // A last part longer than what is missing gives only the missing bytes.
  Bytes tail = {d[8], d[9], 0xEE, 0xEE};
  q.AddNextPart(1280, 7, tail.data(), 4);
  ASSERT_EQ(q.Count(), 1u);
  TqdReceivedMessage* m = q.Peek();
  EXPECT_EQ(m->Connection, 7u);
  EXPECT_EQ(m->Data, d);
  EXPECT_EQ(q.AddNextPart(999, 7, d.data(), 1), TqdPartStatus::psDropped);
  // A first part again abandons what was begun and starts anew.
  EXPECT_EQ(q.AddFirstPart(1280, 8, kDataKindStream, d.data(), 4, 10, 0), TqdPartStatus::psRestarted);
  q.DropConnection(8);
  EXPECT_EQ(q.AddNextPart(1280, 8, d.data(), 6), TqdPartStatus::psDropped);
}

TEST(DataMessageQueueTest, DropUnfinishedKeepsCompleteMessagesAndOtherConnections) {
  TqdDataMessageQueue q;
  Bytes d = Pattern(10);
  q.AddFirstPart(1280, 7, kDataKindStream, d.data(), 10, 10, 0);  // complete
  q.AddFirstPart(1299, 7, kDataKindStream, d.data(), 4, 10, 0);   // unfinished
  q.AddFirstPart(1299, 8, kDataKindStream, d.data(), 4, 10, 0);   // another connection
  q.DropUnfinished(7);
  EXPECT_EQ(q.AddNextPart(1299, 7, d.data() + 4, 6), TqdPartStatus::psDropped);
  EXPECT_EQ(q.AddNextPart(1299, 8, d.data() + 4, 6), TqdPartStatus::psAccepted);
  EXPECT_EQ(q.Count(), 2u);
}

TEST(DataMessageQueueTest, SizesFromAPeerAreCapped) {
  TqdDataMessageQueue q;
  Bytes d = Pattern(4);
  EXPECT_EQ(q.AddFirstPart(1, 1, 0, d.data(), 4, kMaxMessageDataSize + 1, 0), TqdPartStatus::psOverflow);
  // A lying TotalSize reserves nothing like it up front.
  EXPECT_EQ(q.AddFirstPart(2, 1, 0, d.data(), 4, kMaxMessageDataSize, 0), TqdPartStatus::psAccepted);
  for (uint32_t id = 3; id < 3 + TqdDataMessageQueue::kMaxReassembling - 1; ++id)
    EXPECT_EQ(q.AddFirstPart(id, 1, 0, d.data(), 4, 100, 0), TqdPartStatus::psAccepted);
  EXPECT_EQ(q.AddFirstPart(5000, 1, 0, d.data(), 4, 100, 0), TqdPartStatus::psOverflow);
  EXPECT_TRUE(q.IsEmpty());
}

// Messages without data still cost memory: a flood of empty messages, or a
// bundle of many empty replies, meets the queue's cap too.
TEST(DataMessageQueueTest, MessagesWithoutDataCountAgainstTheCap) {
  constexpr size_t kCap = 64u << 10;
  constexpr size_t kFits = kCap / TqdDataMessageQueue::kMessageCost;
  TqdDataMessageQueue flooded(kCap);
  size_t accepted = 0;
  while (accepted <= kFits && flooded.AddFirstPart(258, 1, kDataKindBlock, nullptr, 0, 0, 0) == TqdPartStatus::psAccepted)
    ++accepted;
  EXPECT_EQ(accepted, kFits);

  struct Case {
    size_t replies;
    bool unpacked;
  };
  for (Case c : {Case{kFits / 2, true}, Case{kFits * 2, false}}) {
    Bytes bundle;
    for (size_t i = 0; i < c.replies; ++i) AppendBundleRecord(bundle, 771, 0, 0, {});
    TqdDataMessageQueue q(kCap);
    q.AddFirstPart(msgBundle, 3, kDataKindBlock, bundle.data(), static_cast<uint32_t>(bundle.size()),
                   static_cast<uint32_t>(bundle.size()), 0);
    EXPECT_EQ(q.Peek() != nullptr, c.unpacked) << c.replies;
    EXPECT_EQ(q.TakeMalformedBundle(), !c.unpacked) << c.replies;
    EXPECT_EQ(q.Count(), c.unpacked ? c.replies : 0u) << c.replies;
  }
}

TqdDataMessageQueue& QueueBundle(TqdDataMessageQueue& q, const Bytes& bundle) {
  q.AddFirstPart(msgBundle, 3, kDataKindBlock, bundle.data(), static_cast<uint32_t>(bundle.size()),
                 static_cast<uint32_t>(bundle.size()), 0);
  return q;
}

TEST(DataMessageQueueTest, BundleRepliesGoToTheHeadInTheirOrder) {
  TqdDataMessageQueue q;
  Bytes bundle;
  AppendBundleRecord(bundle, 771, 0, 0, Bytes{1, 2});
  AppendBundleRecord(bundle, 258, 0, 1, Bytes{3});
  AppendBundleRecord(bundle, 512, 0, 0, {});
  QueueBundle(q, bundle);
  Bytes later = {9};
  q.AddFirstPart(1794, 3, 0, later.data(), 1, 1, 0);
  TqdReceivedMessage* m = q.Peek();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(q.Count(), 4u);
  const uint32_t order[] = {771, 258, 512, 1794};
  for (uint32_t id : order) {
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->MsgID, id);
    EXPECT_EQ(m->Connection, 3u);
    q.RemoveHead();
    m = q.Peek();
  }
  EXPECT_EQ(m, nullptr);
}

TEST(DataMessageQueueTest, BundleWithAFailedFirstReplyYieldsOnlyIt) {
  TqdDataMessageQueue q;
  Bytes bundle;
  AppendBundleRecord(bundle, 771, 0x2C0C, 0, Bytes{1});
  AppendBundleRecord(bundle, 258, 0, 0, Bytes{3});
  QueueBundle(q, bundle);
  TqdReceivedMessage* m = q.Peek();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->ResultCode, 0x2C0Cu);
  EXPECT_EQ(q.Count(), 1u);
}

TEST(DataMessageQueueTest, MalformedBundleIsDestroyedAndReported) {
  TqdDataMessageQueue q;
  Bytes bundle;
  AppendBundleRecord(bundle, 771, 0, 0, Bytes{1});
  bundle[4] = 50;  // reaches past the data
  QueueBundle(q, bundle);
  EXPECT_EQ(q.Peek(), nullptr);
  EXPECT_TRUE(q.TakeMalformedBundle());
  EXPECT_FALSE(q.TakeMalformedBundle());
  EXPECT_TRUE(q.IsEmpty());
}


// A bundle nested in bundles, `depth` levels in all: the innermost holds one
// reply of message 771 with one data byte. Built front to back, since each
// outer record's length is known from the depth.
Bytes NestedBundle(int depth) {
  Bytes bundle;
  for (int level = 0; level < depth - 1; ++level) {
    size_t at = bundle.size();
    AppendBundleRecord(bundle, msgBundle, 0, 0, {});
    PutUInt32LE(bundle.data() + at + 4, static_cast<uint32_t>(12 * (depth - level) + 1));
  }
  AppendBundleRecord(bundle, 771, 0, 0, Bytes{7});
  return bundle;
}

TEST(DataMessageQueueTest, BundlesNestedTooDeeplyAreMalformed) {
  struct Case {
    int depth;
    bool unpacked;
  };
  const int limit = TqdDataMessageQueue::kMaxBundleNesting;
  for (Case c : {Case{1, true}, Case{limit, true}, Case{limit + 1, false}, Case{20000, false}}) {
    TqdDataMessageQueue q;
    QueueBundle(q, NestedBundle(c.depth));
    TqdReceivedMessage* m = q.Peek();
    EXPECT_EQ(m != nullptr, c.unpacked) << c.depth;
    EXPECT_EQ(q.TakeMalformedBundle(), !c.unpacked) << c.depth;
    if (m != nullptr) {
      EXPECT_EQ(m->MsgID, 771u) << c.depth;
    }
  }
}

}  // namespace
}  // namespace qd
