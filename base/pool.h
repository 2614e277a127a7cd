// The pooled allocator: 92 size classes of fixed-size items, each served by a
// TqdMemoryPool that takes 32 KiB blocks from the heap and never shrinks.
// Small, frequent objects (list items, message records, dictionaries) come
// from here so that taking and giving back an item is a constant-time pop or
// push on a free list.
// Thread rules: every pool has its own TqdPadLock.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/padlock.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QD_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define QD_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define QD_POISON(p, n) ((void)(p), (void)(n))
#define QD_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

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

  void* Alloc() {
    lock_.Lock();
    void* item = freeList_;
    if (item == nullptr) {
      lock_.Unlock();
      return AllocFromNewBlock();
    }
    UnpoisonItem(item);
    std::memcpy(&freeList_, item, sizeof freeList_);
    lock_.Unlock();
    return item;
  }
  // Puts `item` at the head of the free list and clears the caller's pointer.
  void Release(void*& item) {
    if (item == nullptr) return;
    lock_.Lock();
    std::memcpy(item, &freeList_, sizeof freeList_);
    freeList_ = item;
    PoisonItem(item);
    lock_.Unlock();
    item = nullptr;
  }

  uint32_t ItemSize() const { return itemSize_; }
  uint32_t ItemsPerBlock() const { return itemsPerBlock_; }
  uint32_t BlockBytes() const { return blockBytes_; }

 private:
  void* AllocFromNewBlock();
  // Free items are poisoned for AddressSanitizer, so that a use after
  // PoolFree is reported as it would be for the heap.
  void PoisonItem(void* item) const { QD_POISON(item, itemSize_); }
  void UnpoisonItem(void* item) const { QD_UNPOISON(item, itemSize_); }

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
inline int PoolClassIndex(size_t size) {
  if (size == 0) size = 1;
  if (size <= 1024) return static_cast<int>((size - 1) / 32);
  if (size <= kLargestPooledSize) return static_cast<int>((size - 1) / 256 + 28);
  return -1;
}
// The item size of class `index`.
inline uint32_t PoolClassItemSize(int index) {
  if (index < 32) return static_cast<uint32_t>(index + 1) * 32;
  return static_cast<uint32_t>(index - 28 + 1) * 256;
}

namespace detail {
extern std::atomic<TqdMemoryPool*> g_pools[kPoolClassCount];
TqdMemoryPool& CreatePoolOfClass(int index);
void* HeapAlloc(size_t size);
void HeapFree(void* block);

inline TqdMemoryPool& PoolOfClass(int index) {
  TqdMemoryPool* pool = g_pools[index].load(std::memory_order_acquire);
  return pool != nullptr ? *pool : CreatePoolOfClass(index);
}
}  // namespace detail

inline void* PoolAlloc(size_t size) {
  int index = PoolClassIndex(size);
  if (index < 0) return detail::HeapAlloc(size);
  return detail::PoolOfClass(index).Alloc();
}

// `size` must be the size that was allocated.
inline void PoolFree(void* block, size_t size) {
  if (block == nullptr) return;
  int index = PoolClassIndex(size);
  if (index < 0) return detail::HeapFree(block);
  detail::PoolOfClass(index).Release(block);
}

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
