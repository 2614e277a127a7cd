// TFrmRIMain: the rebuild window. Its form's controls carry the names,
// captions, places and tab order of the original form; below them a strip
// (TqdRunStrip) shows what a job does and holds its Stop. The window is a
// view of the rebuild workflow, which owns every decision (what is
// enabled, what the bars show, the order of a job's steps); the window
// turns the user's picks and clicks into the workflow's operations, gives
// each job an observer (TqdWindowRun) and draws what it is told.
//
// While a job runs only the inputs are disabled: the bars stay readable and
// Stop usable. Stop starts no new task; the running one is polled to its
// end. Closing the window during a job asks whether to stop after the
// current task and close; a second close request stops polling and closes
// at once (the server finishes the task).
// Thread rules: the user-interface thread only.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "jobs/rebuild_backend.h"
#include "jobs/rebuild_view.h"
#include "jobs/rebuild_workflow.h"
#include "jobs/run_estimate.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;
class QTimer;

namespace qd {

inline constexpr const char* kApplicationTitle = "Rebuild QD Index";

class TqdRunStrip;
class TqdWindowRun;

class TFrmRIMain : public QWidget, private TqdRebuildView {
 public:
  // Fills the alias list through `backend` (borrowed) before it returns.
  explicit TFrmRIMain(TqdRebuildBackend& backend, QWidget* parent = nullptr);
  ~TFrmRIMain() override;

  QLabel* LabelAlias;
  QLabel* LabelTable;
  QLabel* LabelIndex;
  QLabel* LabelIndexDone;
  QLabel* LabelTablePacked;
  QLabel* LabelTableDone;
  QLabel* LabelAliasDone;
  QComboBox* ComboBoxAlias;
  QComboBox* ComboBoxTable;
  QComboBox* ComboBoxIndex;
  QPushButton* BitBtnReIndexIt;
  QPushButton* BitBtnReIndexTable;
  QPushButton* BitBtnReIndexAlias;
  QCheckBox* CheckBoxPack;
  QProgressBar* ProgressGaugeIndex;
  QProgressBar* ProgressBarPacked;
  QProgressBar* ProgressGaugeTable;
  QProgressBar* ProgressGaugeAlias;
  TqdRunStrip* Strip;

  // Where "Save report…" writes; a file dialog by default, empty to cancel.
  std::function<QString()> AskReportPath;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls(QWidget* client);
  void FitLabels();
  void ConnectHandlers();
  void FitClientHeight();
  QComboBox* List(TqdRebuildList list) const;
  QWidget* Control(TqdRebuildControl control) const;
  QProgressBar* Bar(TqdRebuildBar bar) const;

  // A job with its observer, from the strip's start to its end.
  void RunJob(TqdRunScope scope, const std::function<void()>& job);
  void AskBeforeClosing();
  void DismissCloseQuestion();
  void SaveReport();

  // TqdRebuildView
  void SetItems(TqdRebuildList list, const std::vector<std::string>& items) override;
  int ItemIndex(TqdRebuildList list) const override;
  void SetItemIndex(TqdRebuildList list, int index) override;
  void SetEnabled(TqdRebuildControl control, bool enabled) override;
  bool PackChecked() const override;
  void ShowBar(TqdRebuildBar bar, const TqdBarState& state) override;
  void SetWindowEnabled(bool enabled) override;
  void SetBusyCursor(bool busy) override;
  void ProcessPendingEvents() override;
  void ProcessEventsBetweenPolls() override;
  void WaitBeforeNextPoll(std::chrono::milliseconds wait) override;
  void ShowError(const std::string& message) override;

  QWidget* client_ = nullptr;
  std::unique_ptr<TqdRebuildWorkflow> workflow_;
  // What the workflow wants of each input; shown only while no job runs.
  std::array<bool, kRebuildControlCount> wanted_{};
  bool inputsLocked_ = false;
  TqdBars bars_{};
  // The running job, or the last one (for its report).
  std::unique_ptr<TqdWindowRun> run_;
  std::optional<std::string> jobFailure_;
  QTimer* clock_ = nullptr;
  // Closing during a job: asked, stop after the task, stop at once.
  QMessageBox* closeQuestion_ = nullptr;
  bool stopAsked_ = false;
  bool closeNow_ = false;
  bool closeAfterJob_ = false;
  bool centred_ = false;
};

}  // namespace qd
