#include "base/pool.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>


namespace qd {
namespace {

void* NextOf(void* item) {
  void* next;
  std::memcpy(&next, item, sizeof next);
  return next;
}

void SetNext(void* item, void* next) { std::memcpy(item, &next, sizeof next); }

}  // namespace

TqdMemoryPool::TqdMemoryPool(uint32_t itemSize, uint32_t itemsPerBlock)
    : itemSize_(itemSize < kMinItemSize ? kMinItemSize : itemSize),
      itemsPerBlock_(itemsPerBlock == 0 ? 1 : itemsPerBlock) {
  if (static_cast<uint64_t>(itemsPerBlock_) * itemSize_ > kMaxBlockItemBytes)
    itemsPerBlock_ = itemSize_ > kMaxBlockItemBytes ? 1 : kMaxBlockItemBytes / itemSize_;
  blockBytes_ = itemsPerBlock_ * itemSize_ + kBlockHeaderSize;
}

TqdMemoryPool::~TqdMemoryPool() {
  std::lock_guard guard(lock_);
  void* block = blockChain_;
  while (block != nullptr) {
    QD_UNPOISON(block, blockBytes_);
    void* next = NextOf(block);
    std::free(block);
    block = next;
  }
  blockChain_ = nullptr;
  freeList_ = nullptr;
}

void* TqdMemoryPool::AllocFromNewBlock() {
  std::lock_guard guard(lock_);
  if (freeList_ == nullptr) {
    auto* block = static_cast<unsigned char*>(std::aligned_alloc(16, (blockBytes_ + 15) / 16 * 16));
    if (block == nullptr) throw std::bad_alloc();
    SetNext(block, blockChain_);
    blockChain_ = block;
    // Chain the items in reverse, so the block's last item is handed out first.
    void* head = nullptr;
    for (uint32_t i = 0; i < itemsPerBlock_; ++i) {
      unsigned char* item = block + kBlockHeaderSize + static_cast<size_t>(i) * itemSize_;
      SetNext(item, head);
      head = item;
    }
    freeList_ = head;
    QD_POISON(block + kBlockHeaderSize, static_cast<size_t>(itemsPerBlock_) * itemSize_);
  }
  void* item = freeList_;
  QD_UNPOISON(item, itemSize_);
  freeList_ = NextOf(item);
  return item;
}

namespace detail {

// Filled on first use of a class; a lost race frees the spare pool.
std::atomic<TqdMemoryPool*> g_pools[kPoolClassCount] = {};

TqdMemoryPool& CreatePoolOfClass(int index) {
  TqdMemoryPool* pool = g_pools[index].load(std::memory_order_acquire);
  if (pool != nullptr) return *pool;
  auto* fresh = new TqdMemoryPool(PoolClassItemSize(index), kPoolItemsPerBlock);
  if (g_pools[index].compare_exchange_strong(pool, fresh, std::memory_order_acq_rel)) return *fresh;
  delete fresh;
  return *pool;
}

void* HeapAlloc(size_t size) {
  void* p = std::malloc(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void HeapFree(void* block) { std::free(block); }

}  // namespace detail

void* AllocZeroed(size_t size) {
  void* p = std::calloc(size == 0 ? 1 : size, 1);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void DestroyAllPools() {
  for (auto& slot : detail::g_pools) delete slot.exchange(nullptr, std::memory_order_acq_rel);
}

}  // namespace qd
