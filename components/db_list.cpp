// TqdDBList: the children of a node, or the process's comms engines.
#include <algorithm>
#include <mutex>

#include "components/QDDBBase.h"
#include "components/errors.h"
#include "framework/definitions.h"

namespace qd {

namespace {

// Holds the list's lock, when it has one, for one operation.
class ListGuard {
 public:
  explicit ListGuard(TqdPadLock* lock) : lock_(lock) {
    if (lock_ != nullptr) lock_->Lock();
  }
  ~ListGuard() {
    if (lock_ != nullptr) lock_->Unlock();
  }
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;

 private:
  TqdPadLock* lock_;
};

}  // namespace

TqdDBList::TqdDBList(bool threadSafe) { SetThreadSafe(threadSafe); }

TqdDBList::~TqdDBList() { SetThreadSafe(false); }

void TqdDBList::Add(TqdDBListItem* item) {
  ListGuard guard(lock_.get());
  items_.push_back(item);
}

void TqdDBList::Remove(TqdDBListItem* item) {
  ListGuard guard(lock_.get());
  auto at = std::find(items_.begin(), items_.end(), item);
  if (at != items_.end()) items_.erase(at);
}

int TqdDBList::Count() {
  ListGuard guard(lock_.get());
  return static_cast<int>(items_.size());
}

TqdDBListItem* TqdDBList::Items(int index) {
  {
    ListGuard guard(lock_.get());
    if (index >= 0 && static_cast<size_t>(index) < items_.size()) return items_[static_cast<size_t>(index)];
  }
  RaiseDatasetMessage(dsListItemNotFound);
}

int TqdDBList::IndexOf(const TqdDBListItem* item) {
  ListGuard guard(lock_.get());
  auto at = std::find(items_.begin(), items_.end(), item);
  return at == items_.end() ? -1 : static_cast<int>(at - items_.begin());
}

TqdDBListItem* TqdDBList::FindByName(std::string_view name) {
  ListGuard guard(lock_.get());
  for (auto at = items_.rbegin(); at != items_.rend(); ++at) {
    if (SameNameNoCase((*at)->OwnName(), name)) return *at;
  }
  return nullptr;
}

std::vector<TqdDBListItem*> TqdDBList::Snapshot() {
  ListGuard guard(lock_.get());
  return items_;
}

void TqdDBList::SetThreadSafe(bool threadSafe) {
  if (threadSafe) {
    if (lock_ == nullptr) lock_ = std::make_unique<TqdPadLock>();
    return;
  }
  if (lock_ == nullptr) return;
  // Waits for an operation of another thread to end before the lock goes.
  lock_->Lock();
  std::unique_ptr<TqdPadLock> lock = std::move(lock_);
  lock->Unlock();
}

void TqdDBList::CloseAll() {
  std::vector<TqdDBListItem*> items = Snapshot();
  for (auto at = items.rbegin(); at != items.rend(); ++at) {
    if (IndexOf(*at) >= 0) (*at)->ForceClose();
  }
}

void TqdDBList::ReleaseAll(TqdDBListItem* owner) {
  // Freeing one item may free or take out others, so take the last anew;
  // each leaves the list before it is freed.
  for (;;) {
    TqdDBListItem* item = nullptr;
    {
      ListGuard guard(lock_.get());
      if (items_.empty()) break;
      item = items_.back();
      items_.pop_back();
    }
    if (item->Owner() == nullptr) {
      FreeItem(item);
    } else if (owner != nullptr && item->AttachedParent() == owner) {
      item->Detach();
      item->StoreParentName("");
    }
  }
}

void TqdDBList::FreeItem(TqdDBListItem* item) { delete item; }

}  // namespace qd
