// The pooled allocator: 92 size classes of fixed-size items, each served by a
// TqdMemoryPool that takes 32 KiB blocks from the heap and never shrinks.
// Small, frequent objects (list items, message records, dictionaries) come
// from here so that taking and giving back an item is a constant-time pop or
// push on a free list.
// Thread rules: every pool has its own TqdPadLock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/padlock.h"

namespace qd {

// Every block starts with the link to the next block. The link is a pointer,
// and the items behind it must stay aligned for any object, so on a 64-bit
// build the header takes 16 bytes rather than 4.
inline constexpr uint32_t kBlockHeaderSize = 16;
inline constexpr uint32_t kMaxBlockItemBytes = 32768;
inline constexpr uint32_t kMinItemSize = sizeof(void*);

class TqdMemoryPool {
 public:
  TqdMemoryPool(uint32_t itemSize, uint32_t itemsPerBlock);
  ~TqdMemoryPool();
  TqdMemoryPool(const TqdMemoryPool&) = delete;
  TqdMemoryPool& operator=(const TqdMemoryPool&) = delete;

  void* Alloc();
  // Puts `item` at the head of the free list and clears the caller's pointer.
  void Release(void*& item);

  uint32_t ItemSize() const { return itemSize_; }
  uint32_t ItemsPerBlock() const { return itemsPerBlock_; }
  uint32_t BlockBytes() const { return blockBytes_; }

 private:
  uint32_t itemSize_;
  uint32_t itemsPerBlock_;
  uint32_t blockBytes_;
  void* blockChain_ = nullptr;
  void* freeList_ = nullptr;
  TqdPadLock lock_;
};

inline constexpr int kPoolClassCount = 92;
inline constexpr size_t kLargestPooledSize = 16384;
inline constexpr uint32_t kPoolItemsPerBlock = 1024;

// The class of a request of `size` bytes (1..16384), or -1 for the heap.
int PoolClassIndex(size_t size);
// The item size of class `index`.
uint32_t PoolClassItemSize(int index);

void* PoolAlloc(size_t size);
// `size` must be the size that was allocated.
void PoolFree(void* block, size_t size);
void* AllocZeroed(size_t size);

// Destroys every pool with its blocks (engine shutdown). Items still in use
// become invalid.
void DestroyAllPools();

// The base of objects that allocate themselves from the pooled allocator.
class TqdObject {
 public:
  virtual ~TqdObject() = default;
  static void* operator new(size_t size) { return PoolAlloc(size); }
  static void operator delete(void* p, size_t size) { PoolFree(p, size); }
};

}  // namespace qd
