#include "server/store_cache.h"

#include "server/server_results.h"

namespace qd {

TqdTableStore& TqdStoreCache::Open(const std::string& directory, TqdOpenMode mode) {
  auto it = stores_.find(directory);
  if (it != stores_.end()) {
    if (it->second->StillInPlace()) return *it->second;
    stores_.erase(it);
  }
  auto store =
      std::make_unique<TqdTableStore>(directory, TqdOpenOptions{mode, kRequestBusyMs, stop_});
  // A job uses one store, so the others can all go.
  if (stores_.size() >= kMaxOpenStores) stores_.clear();
  return *stores_.emplace(directory, std::move(store)).first->second;
}

TqdTableStore& TqdStoreCache::For(const std::string& directory) {
  return Open(directory, TqdOpenMode::Existing);
}

TqdTableStore& TqdStoreCache::ForCreating(const std::string& directory) {
  return Open(directory, TqdOpenMode::CreateIfMissing);
}

TqdTableStore* TqdStoreCache::Find(const std::string& directory) {
  try {
    return &Open(directory, TqdOpenMode::Existing);
  } catch (const EqdStorageError& e) {
    if (e.Code == qdErrNoSuchTable) return nullptr;
    throw;
  }
}

}  // namespace qd
