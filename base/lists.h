// Keyed list items and the lock-protected sorted list that holds them. An
// item may sit in several lists at once; it dies with the last list that
// holds it, or when destroyed directly (which takes it out of all its lists).
// Thread rules: every public TqdList operation holds the list's lock for its
// whole duration; never take two lists' locks in opposite orders.
#pragma once

#include <cstdint>
#include <vector>

#include "base/padlock.h"
#include "base/pool.h"

namespace qd {

class TqdList;

class TqdListItem : public TqdObject {
 public:
  TqdListItem() = default;
  ~TqdListItem() override;
  TqdListItem(const TqdListItem&) = delete;
  TqdListItem& operator=(const TqdListItem&) = delete;

  // -1, 0 or +1: how the key at `key` stands against this item's key
  // (+1 when the given key is greater).
  virtual int Compare(const void* key) const = 0;
  // The address of this item's key.
  virtual const void* Key() const = 0;

  // The lists that hold this item, in the order they took it.
  const std::vector<TqdList*>& Containers() const { return containers_; }

  // When set, removing the item from one list takes it out of all its lists.
  bool UnlinkFromAll = false;

 private:
  friend class TqdList;
  std::vector<TqdList*> containers_;
  bool busy_ = false;
};

class TqdIntListItem : public TqdListItem {
 public:
  explicit TqdIntListItem(int32_t key) : key_(key) {}
  int Compare(const void* key) const override;
  const void* Key() const override { return &key_; }
  int32_t KeyValue() const { return key_; }

 protected:
  int32_t key_;
};

// An item whose key is its own identity.
class TqdSelfListItem : public TqdIntListItem {
 public:
  TqdSelfListItem();
};

class TqdList : public TqdObject {
 public:
  TqdList() = default;
  ~TqdList() override;
  TqdList(const TqdList&) = delete;
  TqdList& operator=(const TqdList&) = delete;

  // False when an item with an equal key is already present (sorted lists);
  // the refused item is left untouched.
  bool Insert(TqdListItem* item);
  // The same, returning the position or -1.
  int InsertAt(TqdListItem* item);
  int IndexOfKey(const void* key);
  int Count();
  // The item at `i`, or nullptr when `i` is out of range.
  TqdListItem* Items(int i);
  void DeleteAt(int i);
  void Remove(const void* key);
  void RemoveAll();
  // RemoveAll, then insert every item of `source` in its order: the same
  // items, which then sit in both lists.
  void Assign(TqdList& source);

  bool Sorted = true;

 private:
  friend class TqdListItem;
  // Drops the slot of an item that is being destroyed.
  void DropSlotOf(TqdListItem* item);
  int SearchLocked(const void* key, bool* found);
  // Takes this list out of the item's containers; true when the item then
  // belongs to no list and must be destroyed.
  bool Detach(TqdListItem* item);

  std::vector<TqdListItem*> items_;
  bool clearing_ = false;
  TqdPadLock lock_;
};

}  // namespace qd
