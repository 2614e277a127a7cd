// The stores one request worker keeps open, one per alias directory.
// Thread rules: a cache belongs to one worker thread; the stop signal it
// passes to its stores may be stopped from any thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "server/table_store.h"

namespace qd {

// A worker keeps at most this many stores (each an open database) open.
inline constexpr size_t kMaxOpenStores = 32;

// The stores of one worker, opened on first use; when kMaxOpenStores are
// open, asking for another closes the others first. A store whose
// directory or file changed since it was opened is closed and opened
// afresh, which refuses a symbolic link put in its place.
class TqdStoreCache {
 public:
  // Stores are opened with `stop` (may be null), which must outlive them.
  explicit TqdStoreCache(TqdStopSignal* stop = nullptr) : stop_(stop) {}

  // The store of `directory`; qdErrNoSuchTable when it has none (nothing
  // is created).
  TqdTableStore& For(const std::string& directory);
  // The store of `directory`, or nullptr when it has none.
  TqdTableStore* Find(const std::string& directory);
  // The store of `directory`, created when it has none.
  TqdTableStore& ForCreating(const std::string& directory);
  size_t OpenCount() const { return stores_.size(); }

 private:
  TqdTableStore& Open(const std::string& directory, TqdOpenMode mode);

  TqdStopSignal* stop_;
  std::map<std::string, std::unique_ptr<TqdTableStore>> stores_;
};

}  // namespace qd
