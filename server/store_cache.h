// The stores one request worker keeps open, one per alias directory.
// Thread rules: a cache belongs to one worker thread.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "server/table_store.h"

namespace qd {

// A worker keeps at most this many stores (each an open database) open.
inline constexpr size_t kMaxOpenStores = 32;

// The stores of one worker, opened on first use; when kMaxOpenStores are
// open, asking for another closes the others first.
class TqdStoreCache {
 public:
  TqdTableStore& For(const std::string& directory);
  size_t OpenCount() const { return stores_.size(); }

 private:
  std::map<std::string, std::unique_ptr<TqdTableStore>> stores_;
};

}  // namespace qd
