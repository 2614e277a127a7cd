#include "base/lists.h"

#include <algorithm>
#include <mutex>

namespace qd {

TqdListItem::~TqdListItem() {
  // Busy: the lists drop their slots but leave the destroying to us. The
  // key is out of reach here (the derived part is gone), so the lists find
  // the item by its address.
  busy_ = true;
  std::vector<TqdList*> lists = containers_;
  for (TqdList* list : lists) list->DropSlotOf(this);
  containers_.clear();
}

int TqdIntListItem::Compare(const void* key) const {
  int32_t given = *static_cast<const int32_t*>(key);
  if (given > key_) return 1;
  if (given < key_) return -1;
  return 0;
}

TqdSelfListItem::TqdSelfListItem()
    : TqdIntListItem(static_cast<int32_t>(reinterpret_cast<uintptr_t>(this))) {
  // Pool items are at least 32 bytes apart within a 32 KiB block, but two
  // blocks 4 GiB apart could share the low 32 bits; fold in the high bits.
  auto address = reinterpret_cast<uintptr_t>(this);
  key_ = static_cast<int32_t>(static_cast<uint32_t>(address) ^ static_cast<uint32_t>(address >> 32));
}

TqdList::~TqdList() { RemoveAll(); }

int TqdList::SearchLocked(const void* key, bool* found) {
  int low = 0;
  int high = static_cast<int>(items_.size()) - 1;
  while (low <= high) {
    int middle = (low + high) / 2;
    int r = items_[middle]->Compare(key);
    if (r == 0) {
      *found = true;
      return middle;
    }
    if (r < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  *found = false;
  return low;
}

int TqdList::InsertAt(TqdListItem* item) {
  std::lock_guard guard(lock_);
  int position = static_cast<int>(items_.size());
  if (Sorted && !items_.empty()) {
    bool found = false;
    position = SearchLocked(item->Key(), &found);
    if (found) return -1;
  }
  items_.insert(items_.begin() + position, item);
  auto& containers = item->containers_;
  if (std::find(containers.begin(), containers.end(), this) == containers.end())
    containers.push_back(this);
  return position;
}

bool TqdList::Insert(TqdListItem* item) { return InsertAt(item) >= 0; }

int TqdList::IndexOfKey(const void* key) {
  std::lock_guard guard(lock_);
  if (items_.empty()) return -1;
  if (Sorted) {
    bool found = false;
    int position = SearchLocked(key, &found);
    return found ? position : -1;
  }
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->Compare(key) == 0) return static_cast<int>(i);
  return -1;
}

int TqdList::Count() {
  std::lock_guard guard(lock_);
  return static_cast<int>(items_.size());
}

TqdListItem* TqdList::Items(int i) {
  std::lock_guard guard(lock_);
  if (i < 0 || i >= static_cast<int>(items_.size())) return nullptr;
  return items_[i];
}

bool TqdList::Detach(TqdListItem* item) {
  if (item->busy_) return false;
  auto& containers = item->containers_;
  containers.erase(std::remove(containers.begin(), containers.end(), this), containers.end());
  if (item->UnlinkFromAll && !containers.empty()) {
    item->busy_ = true;
    std::vector<TqdList*> others = containers;
    for (auto it = others.rbegin(); it != others.rend(); ++it) (*it)->Remove(item->Key());
    containers.clear();
    item->busy_ = false;
  }
  return containers.empty();
}

void TqdList::DeleteAt(int i) {
  std::lock_guard guard(lock_);
  if (clearing_ || i < 0 || i >= static_cast<int>(items_.size())) return;
  TqdListItem* item = items_[i];
  bool orphan = Detach(item);
  items_.erase(items_.begin() + i);
  if (orphan) delete item;
}

void TqdList::Remove(const void* key) {
  std::lock_guard guard(lock_);
  DeleteAt(IndexOfKey(key));
}

void TqdList::DropSlotOf(TqdListItem* item) {
  std::lock_guard guard(lock_);
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it != items_.end()) items_.erase(it);
}

void TqdList::RemoveAll() {
  std::lock_guard guard(lock_);
  if (clearing_) return;
  clearing_ = true;
  try {
    while (!items_.empty()) {
      TqdListItem* item = items_.back();
      items_.pop_back();
      if (Detach(item)) delete item;
    }
  } catch (...) {
    clearing_ = false;
    throw;
  }
  clearing_ = false;
}

void TqdList::Assign(TqdList& source) {
  if (&source == this) return;
  std::lock_guard guard(lock_);
  RemoveAll();
  std::lock_guard sourceGuard(source.lock_);
  for (TqdListItem* item : source.items_) InsertAt(item);
}

}  // namespace qd
