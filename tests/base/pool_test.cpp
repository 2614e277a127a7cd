#include <gtest/gtest.h>

#include <set>

#include "base/pool.h"

namespace qd {
namespace {

struct SizeClassCase {
  size_t size;
  int classIndex;
  uint32_t itemSize;
};

TEST(PoolSizeClass, MapsRequestSizesToTheirClass) {
  const SizeClassCase cases[] = {
      {1, 0, 32},       {32, 0, 32},       {33, 1, 64},       {1024, 31, 1024},
      {1025, 32, 1280}, {1280, 32, 1280},  {1281, 33, 1536},  {16384, 91, 16384},
      {16385, -1, 0},   {100000, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(PoolClassIndex(c.size), c.classIndex);
    if (c.classIndex >= 0) {
      EXPECT_EQ(PoolClassItemSize(c.classIndex), c.itemSize);
    }
  }
}

TEST(PoolSizeClass, EveryClassHoldsItsLargestRequest) {
  for (int i = 0; i < kPoolClassCount; ++i) {
    uint32_t item = PoolClassItemSize(i);
    EXPECT_EQ(PoolClassIndex(item), i);
    EXPECT_EQ(PoolClassIndex(item + 1), i + 1 < kPoolClassCount ? i + 1 : -1);
  }
}

TEST(MemoryPool, BlockGeometry) {
  TqdMemoryPool pool48(48, 1024);
  EXPECT_EQ(pool48.ItemsPerBlock(), 682u);  // 32768 / 48
  EXPECT_EQ(pool48.BlockBytes(), 682u * 48 + kBlockHeaderSize);

  TqdMemoryPool pool32(32, 1024);
  EXPECT_EQ(pool32.ItemsPerBlock(), 1024u);
  EXPECT_EQ(pool32.BlockBytes(), 32768u + kBlockHeaderSize);

  TqdMemoryPool tiny(1, 10);
  EXPECT_EQ(tiny.ItemSize(), kMinItemSize);
}

TEST(MemoryPool, HandsOutTheLastItemOfABlockFirst) {
  TqdMemoryPool pool(64, 16);
  auto* first = static_cast<unsigned char*>(pool.Alloc());
  auto* second = static_cast<unsigned char*>(pool.Alloc());
  EXPECT_EQ(first - second, 64);
  // Both come from one block whose items start after the header.
  std::set<unsigned char*> all{first, second};
  for (int i = 2; i < 16; ++i) all.insert(static_cast<unsigned char*>(pool.Alloc()));
  unsigned char* lowest = *all.begin();
  EXPECT_EQ(first, lowest + 15 * 64);
  EXPECT_EQ(all.size(), 16u);
}

TEST(MemoryPool, ReleasedItemIsReusedAndCallerPointerCleared) {
  TqdMemoryPool pool(32, 8);
  void* a = pool.Alloc();
  void* kept = a;
  pool.Release(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(pool.Alloc(), kept);
}

TEST(MemoryPool, GrowsByBlocksWhenExhausted) {
  TqdMemoryPool pool(32, 4);
  std::set<void*> items;
  for (int i = 0; i < 10; ++i) items.insert(pool.Alloc());
  EXPECT_EQ(items.size(), 10u);
}

TEST(PoolAlloc, RoundTripsEverySizeAndHeap) {
  for (size_t size : {size_t{1}, size_t{32}, size_t{4096}, size_t{16384}, size_t{16385}, size_t{70000}}) {
    auto* p = static_cast<unsigned char*>(PoolAlloc(size));
    ASSERT_NE(p, nullptr);
    p[0] = 1;
    p[size - 1] = 2;  // the whole request is usable
    PoolFree(p, size);
  }
}

TEST(PoolAlloc, ZeroedBlock) {
  auto* p = static_cast<unsigned char*>(AllocZeroed(100));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(p[i], 0);
  std::free(p);
}

class Probe : public TqdObject {
 public:
  explicit Probe(int v) : value(v) {}
  int value;
  char pad[40] = {};
};

TEST(TqdObject, ComesFromThePool) {
  Probe* a = new Probe(1);
  void* spot = a;
  delete a;
  Probe* b = new Probe(2);  // the freed item heads its class's free list
  EXPECT_EQ(static_cast<void*>(b), spot);
  EXPECT_EQ(b->value, 2);
  delete b;
}

}  // namespace
}  // namespace qd
