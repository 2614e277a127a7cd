// The state of one progress bar and the arithmetic the jobs do on it: a
// position kept inside [Min, Max], a step that never runs past the end.
// Thread rules: a plain value; the user-interface thread owns the copies.
#pragma once

#include <algorithm>
#include <cstdint>

namespace qd {

struct TqdBarState {
  int32_t Min = 0;
  int32_t Max = 100;
  int32_t Position = 0;
  int32_t Step = 1;

  // A server's percentage outside the range must not draw past either end.
  void SetPosition(int32_t position) { Position = std::clamp(position, Min, std::max(Min, Max)); }
  void SetMax(int32_t max) {
    Max = max;
    SetPosition(Position);
  }
  void StepIt() { SetPosition(Position + Step); }
  void ToMax() { SetPosition(Max); }

  friend bool operator==(const TqdBarState&, const TqdBarState&) = default;
};

}  // namespace qd
