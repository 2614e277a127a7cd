// A client's open transaction on one of its databases: a store connection
// of its own, begun, on which every request of that client on that
// database runs until the transaction ends; the others see none of its
// changes until it commits. Ending it any other way than by a commit (an
// abort, closing the database, a detach, the connection lost) rolls it
// back: closing the connection does that.
// Thread rules: created and ended on the serving thread; its store is used
// by one request worker at a time, under InUse. Wrote is the serving
// thread's.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "server/table_store.h"

namespace qd {

struct TqdClientTransaction {
  int32_t Id = 0;
  std::string Directory;
  std::mutex InUse;
  std::unique_ptr<TqdTableStore> Store;  // set by the worker that began it
  // A change was made in it: the store's write lock is held until it ends.
  bool Wrote = false;
};

}  // namespace qd
