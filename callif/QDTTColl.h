// Owning collections of the call interface. Every object handed out under a
// handle lives in one: the engine's sessions, a session's databases and
// session-level cursors, a database's cursors, a cursor's field descriptors
// and filters. A collection frees its items, the last first; an item leaves
// its collection when it is freed, so that freeing an owner frees
// everything below it and nothing is freed twice.
// Thread rules: one thread at a time (the user-interface thread).
#pragma once

#include <cstddef>
#include <vector>

namespace qd {

class TttCollection;

class TttCollectionItem {
 public:
  // Joins `collection` (when given) at its end.
  TttCollectionItem(TttCollectionItem* parent, TttCollection* collection);
  // Leaves the collection before anything else of the item is freed.
  virtual ~TttCollectionItem();
  TttCollectionItem(const TttCollectionItem&) = delete;
  TttCollectionItem& operator=(const TttCollectionItem&) = delete;

  TttCollection* Collection() const { return collection_; }
  TttCollectionItem* Parent() const { return parent_; }
  // The position in the collection, or 0 without one.
  int Index() const;

 private:
  friend class TttCollection;
  TttCollectionItem* parent_;
  TttCollection* collection_;
};

class TttCollection {
 public:
  TttCollection() = default;
  virtual ~TttCollection();
  TttCollection(const TttCollection&) = delete;
  TttCollection& operator=(const TttCollection&) = delete;

  virtual int IndexOf(const TttCollectionItem* item) const;
  virtual bool Add(TttCollectionItem* item);

  int Count() const { return static_cast<int>(items_.size()); }
  TttCollectionItem* Item(int index) const { return items_.at(static_cast<size_t>(index)); }
  // Frees every item, the last first.
  void Clear();

 private:
  friend class TttCollectionItem;
  void Remove(const TttCollectionItem* item);
  std::vector<TttCollectionItem*> items_;
};

}  // namespace qd
