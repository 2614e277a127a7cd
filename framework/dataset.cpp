#include "framework/dataset.h"

namespace qd {

void TqdDataSet::SetActive(bool active) {
  if (IsReading()) {
    streamedActive_ = active;
    return;
  }
  if (active == active_) return;
  if (!active) {
    CloseCursor();
    return;
  }
  try {
    OpenCursor();
    InternalOpen();
    active_ = true;
  } catch (...) {
    // The open's own failure is the one to report; one raised while undoing
    // it would only hide it.
    try {
      CloseCursor();
    } catch (...) {
    }
    throw;
  }
}

void TqdDataSet::Loaded() {
  TqdComponent::Loaded();
  if (streamedActive_) {
    streamedActive_ = false;
    SetActive(true);
  }
}

}  // namespace qd
