// The rebuild workflow shared by the window and the command line: start-up,
// the three list handlers and the three jobs, with their order of steps, the
// controls they disable and enable again, the arithmetic of the four bars
// and the poll loop. It reaches the screen only through a TqdRebuildView and
// the server only through a TqdRebuildBackend.
//
// No exception leaves a public operation: a failure ends the operation, a
// job still runs its closing step (controls, cursor and window back), and
// the failure's message goes to the view's ShowError. A list handler that
// fails leaves the lists it cleared disabled.
//
// A job whose button is disabled does nothing, as no click could reach it;
// an operation asked for while a job runs (from inside the view's event
// processing) is ignored, as the disabled window would ignore it.
//
// An observer (optional, none by default) sees each pack and rebuild
// before and after it, and may skip it, stop the job, let it go on after a
// failed step or stop polling a task (rebuild_observer.h).
//
// A failure in a job is shown naming the object the job was on ("Failed at
// Sales/Customers index 2 ByName: ..."); a failed pick names the alias or
// table. Polls of one task are at least kMinPollInterval apart, so a
// server that answers at once gets at most a hundred a second.
// Thread rules: the user-interface thread only.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "jobs/rebuild_backend.h"
#include "jobs/rebuild_observer.h"
#include "jobs/rebuild_view.h"
#include "jobs/run_estimate.h"

namespace qd {

class TqdRebuildWorkflow {
 public:
  // Both are borrowed and must outlive the workflow.
  TqdRebuildWorkflow(TqdRebuildView& view, TqdRebuildBackend& backend);

  // Puts every control in its state at creation and fills the alias list.
  void Start();
  void AliasPicked();
  void TablePicked();
  void IndexPicked();
  void RebuildSelectedIndex();
  void RebuildTable();
  void RebuildAlias();
  // Connects afresh and fills the alias list again; the alias and table
  // chosen before are chosen again when the server still has them.
  void Reconnect();

  // Borrowed; nullptr (the default) removes it. Set it between jobs.
  void SetObserver(TqdRebuildObserver* observer) { observer_ = observer; }

  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // The clock that paces polls; the steady clock by default.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  bool Running() const { return running_; }
  // The alias list's choice, empty for none.
  std::string ChosenAlias() const;
  std::string SelectedTableName() const;
  // The work of a job of this scope on the chosen alias or table, for the
  // run's estimate: the tables' records from the server, in the table
  // list's order.
  TqdRunShape JobShape(TqdRunScope scope);

  static constexpr std::chrono::milliseconds kMinPollInterval{10};

  // The table name sent with each request is the table list's text, cut
  // to this length.
  static constexpr size_t kTableNameCapacity = 255;

 private:
  // The handlers' bodies; they throw, the public operations catch.
  void ShowCreationState();
  void FillAliases();
  void PickAlias();
  void PickTable();

  // Thrown when the observer stops a job; RunJob ends it without a failure.
  struct TqdJobStopped {};

  // Jobs (rebuild_jobs.cpp).
  void RunJob(std::initializer_list<TqdRebuildControl> held, const std::function<void()>& steps);
  void ReIndexOne(const TqdIndexEntry& entry);
  void ReIndexTableSteps();
  void ReIndexAliasSteps();
  void PackAndReIndexSelectedTable();
  void PackSelectedTable();
  void ReIndexEveryIndex();
  // A pack or rebuild: the request, then its task polled to the end.
  void RunStep(const TqdRebuildStep& step, TqdRebuildBar bar, const std::function<int32_t()>& request);
  void ObservedStep(const TqdRebuildStep& step, TqdRebuildBar bar, const std::function<int32_t()>& request);
  TqdRebuildStep IndexStep(const TqdIndexEntry& entry) const;
  void PollTask(int32_t task, TqdRebuildBar bar, const TqdRebuildStep* step = nullptr);
  void PaceNextPoll();
  TqdTaskProgress Status(int32_t task);
  // The alias job's pick of table t, with its index list; false when the
  // list could not be read and the observer goes on after the failure.
  bool PickTableInJob(size_t t);
  // Runs `body`; a failure is put into `outcome` and returned, a stopped
  // job passes through.
  std::exception_ptr Attempt(const std::function<void()>& body, TqdStepOutcome& outcome);

  // Runs a list handler's body and shows what it threw, naming `object`
  // (when it returns one) before the message.
  void Guarded(const std::function<void()>& body, const std::function<std::string()>& object = {});
  void RestoreChoice(TqdRebuildList list, const std::string& name);

  // State kept here and shown through the view.
  void SetEnabled(TqdRebuildControl control, bool enabled);
  bool Enabled(TqdRebuildControl control) const;
  void ClearList(TqdRebuildList list);
  void SetBarPosition(TqdRebuildBar bar, int32_t position);
  void SetBarMax(TqdRebuildBar bar, int32_t max);
  void StepBar(TqdRebuildBar bar);
  void BarToMax(TqdRebuildBar bar);
  void ShowBar(TqdRebuildBar bar);
  TqdBarState& Bar(TqdRebuildBar bar);

  // The selected item of a list, when the view's choice names an item.
  std::optional<size_t> Selected(TqdRebuildList list, size_t count) const;

  TqdRebuildView& view_;
  TqdRebuildBackend& backend_;
  TqdRebuildObserver* observer_ = nullptr;
  std::vector<std::string> aliases_;
  std::vector<std::string> tables_;
  std::vector<TqdIndexEntry> indexes_;
  std::array<bool, kRebuildControlCount> enabled_{};
  std::array<TqdBarState, kRebuildBarCount> bars_{};
  bool running_ = false;
  // What the job is working on, for its failure's message.
  std::string object_;
  Clock clock_ = std::chrono::steady_clock::now;
  std::optional<std::chrono::steady_clock::time_point> lastPoll_;
};

}  // namespace qd
