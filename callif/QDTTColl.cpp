#include "callif/QDTTColl.h"

#include <algorithm>

namespace qd {

TttCollectionItem::TttCollectionItem(TttCollectionItem* parent, TttCollection* collection)
    : parent_(parent), collection_(collection) {
  if (collection_ != nullptr) collection_->Add(this);
}

TttCollectionItem::~TttCollectionItem() {
  if (collection_ != nullptr) collection_->Remove(this);
}

int TttCollectionItem::Index() const { return collection_ == nullptr ? 0 : collection_->IndexOf(this); }

TttCollection::~TttCollection() { Clear(); }

int TttCollection::IndexOf(const TttCollectionItem* item) const {
  auto at = std::find(items_.begin(), items_.end(), item);
  return at == items_.end() ? -1 : static_cast<int>(at - items_.begin());
}

bool TttCollection::Add(TttCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  return true;
}

void TttCollection::Clear() {
  // Each item removes itself as it is freed; an item's destruction may free
  // others of this collection (a cursor's clones), so take the last anew.
  while (!items_.empty()) delete items_.back();
}

void TttCollection::Remove(const TttCollectionItem* item) {
  int at = IndexOf(item);
  if (at >= 0) items_.erase(items_.begin() + at);
}

}  // namespace qd
