// Giving disk space back: after a pack the pages it freed go back to the
// file system (a store made before stores had auto-vacuum is converted on
// the way) and the write-ahead log is cut to nothing; after a task that
// failed (for lack of space, say) the log it left is cut to nothing too.
// Thread rules: on the thread that owns the store, outside a transaction.
#pragma once

#include <cstdint>

#include "server/table_store.h"

namespace qd {

// Bytes the store takes on disk: its file and its write-ahead log.
int64_t StoreFootprint(const TqdTableStore& store);

// Frees the pages a pack left unused and truncates the log; returns the
// bytes given back (the footprint before minus after, never below 0), with
// `before` the footprint measured before the pack. Failures are not
// raised: the pack is done and sound either way.
int64_t ReclaimSpaceAfterPack(TqdTableStore& store, int64_t before);

// Checkpoints the log into the store and truncates it; never raises. For
// the task manager after any task that failed.
void ReleaseSpaceAfterFailedTask(TqdTableStore& store) noexcept;

}  // namespace qd
