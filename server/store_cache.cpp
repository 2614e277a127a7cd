#include "server/store_cache.h"

namespace qd {

TqdTableStore& TqdStoreCache::For(const std::string& directory) {
  auto it = stores_.find(directory);
  if (it != stores_.end()) return *it->second;
  auto store = std::make_unique<TqdTableStore>(directory);
  // A job uses one store, so the others can all go.
  if (stores_.size() >= kMaxOpenStores) stores_.clear();
  return *stores_.emplace(directory, std::move(store)).first->second;
}

}  // namespace qd
