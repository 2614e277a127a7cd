// TFrmRIMain: the rebuild window. Its controls carry the names, captions,
// places and tab order of the original form; it is a view of the rebuild
// workflow, which owns every decision (what is enabled, what the bars
// show, the order of a job's steps). The window only turns the user's picks
// and clicks into the workflow's operations and draws what it is told.
// Thread rules: the user-interface thread only.
#pragma once

#include <QWidget>
#include <memory>

#include "jobs/rebuild_backend.h"
#include "jobs/rebuild_view.h"
#include "jobs/rebuild_workflow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace qd {

inline constexpr const char* kApplicationTitle = "Rebuild QD Index";

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

 private:
  void CreateControls(QWidget* client);
  void ConnectHandlers();
  QComboBox* List(TqdRebuildList list) const;
  QWidget* Control(TqdRebuildControl control) const;
  QProgressBar* Bar(TqdRebuildBar bar) const;

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
  void ProcessPendingNonInputEvents() override;
  void ShowError(const std::string& message) override;

  std::unique_ptr<TqdRebuildWorkflow> workflow_;
};

}  // namespace qd
