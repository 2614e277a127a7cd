// The pending-open list: nodes whose open or parent name was set while a
// form was read, run in level order once the form has loaded.
#include <algorithm>
#include <memory>

#include "components/QDDBBase.h"
#include "framework/app_exceptions.h"

namespace qd {

namespace {

// Made on the first deferral, freed when it is empty again.
std::unique_ptr<std::vector<TqdDBListItem*>>& Pending() {
  static std::unique_ptr<std::vector<TqdDBListItem*>> pending;
  return pending;
}

constexpr int32_t kLowestLevel = 1;
constexpr int32_t kHighestLevel = 4;

// The nodes of the level, the last added first.
std::vector<TqdDBListItem*> LevelBatch(int32_t level) {
  std::vector<TqdDBListItem*> batch;
  if (!Pending()) return batch;
  for (auto at = Pending()->rbegin(); at != Pending()->rend(); ++at) {
    if ((*at)->Level() == level) batch.push_back(*at);
  }
  return batch;
}

}  // namespace

void AddPendingOpen(TqdDBListItem* item) {
  if (!Pending()) Pending() = std::make_unique<std::vector<TqdDBListItem*>>();
  if (!IsPendingOpen(item)) Pending()->push_back(item);
}

void RemovePendingOpen(TqdDBListItem* item) {
  if (!Pending()) return;
  std::erase(*Pending(), item);
  if (Pending()->empty()) Pending().reset();
}

bool IsPendingOpen(const TqdDBListItem* item) {
  return Pending() && std::find(Pending()->begin(), Pending()->end(), item) != Pending()->end();
}

size_t PendingOpenCount() { return Pending() ? Pending()->size() : 0; }

void RunDeferredOpen(TqdDBListItem* item) {
  item->deferring_ = false;
  item->deferredOpenRunning_ = true;
  try {
    item->DeferredOpen();
  } catch (const std::exception& e) {
    item->deferredOpenRunning_ = false;
    RemovePendingOpen(item);
    if (!item->IsDesigning()) throw;
    HandleApplicationException(e);
    return;
  }
  item->deferredOpenRunning_ = false;
  RemovePendingOpen(item);
}

void ProcessPendingOpens() {
  for (int32_t level = kLowestLevel; level <= kHighestLevel; ++level) {
    for (TqdDBListItem* item : LevelBatch(level)) {
      // A node freed meanwhile has left the list; one whose own form is
      // still being read waits for that form's Loaded.
      if (!IsPendingOpen(item) || item->IsReading()) continue;
      RunDeferredOpen(item);
    }
  }
}

}  // namespace qd
