// The rebuild workflow's view for the command line: the lists and the pack
// box kept as values (the run picks items as a user would), the bars handed
// to the progress display with the run's share done, the transport's
// messages dispatched whenever the workflow lets events through, and the
// last failure kept for the run to print and report.
// Thread rules: the run's thread only (it owns the message queue).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "jobs/run_estimate.h"
#include "jobs/rebuild_view.h"

namespace qd {

class TqdTextView : public TqdRebuildView {
 public:
  explicit TqdTextView(TqdProgressDisplay& display) : display_(display) {}

  void SetItems(TqdRebuildList list, const std::vector<std::string>& items) override;
  int ItemIndex(TqdRebuildList list) const override { return selected_[Slot(list)]; }
  void SetItemIndex(TqdRebuildList list, int index) override { selected_[Slot(list)] = index; }
  void SetEnabled(TqdRebuildControl, bool) override {}
  bool PackChecked() const override { return pack_; }
  void ShowBar(TqdRebuildBar bar, const TqdBarState& state) override;
  void SetWindowEnabled(bool) override {}
  void SetBusyCursor(bool) override {}
  void ProcessPendingEvents() override;
  void ProcessEventsBetweenPolls() override;
  void WaitBeforeNextPoll(std::chrono::milliseconds wait) override;
  void ShowError(const std::string& message) override { error_ = message; }

  const std::vector<std::string>& Items(TqdRebuildList list) const { return items_[Slot(list)]; }
  void SetPack(bool pack) { pack_ = pack; }
  // From here on the bars also give the run's share done.
  void SetShape(TqdRunShape shape) { shape_ = std::move(shape); }
  // The failure shown since the last call, if any.
  std::optional<std::string> TakeError();
  double Fraction() const;
  void DrawNow() { display_.ShowBars(bars_, Fraction(), true); }

 private:
  static size_t Slot(TqdRebuildList list) { return static_cast<size_t>(list); }

  TqdProgressDisplay& display_;
  std::array<std::vector<std::string>, 3> items_;
  std::array<int, 3> selected_{-1, -1, -1};
  bool pack_ = false;
  TqdBars bars_{};
  bool packing_ = false;
  std::optional<TqdRunShape> shape_;
  std::optional<std::string> error_;
};

}  // namespace qd
