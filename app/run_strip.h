// TqdRunStrip: the strip below the rebuild window's form that shows what a
// job does: a status line (the object being worked on, then how the job
// ended), the elapsed time with an estimate of the time left, the job's
// Stop, Reconnect, "Save report…", the "Go on after a failure" check box,
// and a list of the finished objects with their result and seconds, shown
// on demand. It decides nothing: the window tells it what to show and
// reads its clicks.
// Thread rules: the user-interface thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace qd {

struct TqdReportEntry;

class TqdRunStrip : public QWidget {
 public:
  static constexpr int kWidth = 385;
  explicit TqdRunStrip(QWidget* parent);

  // The strip's height with the finished list hidden or shown.
  int HeightNow() const;

  void SetStatus(const std::string& text);
  void SetTime(const std::string& text);
  // While a job runs only Stop (and the finished list) can be used.
  void SetRunning(bool running);
  // Whether there is a report to save.
  void SetReportReady(bool ready);
  void ClearFinished();
  void AddFinished(const TqdReportEntry& entry);

  // Told after the finished list was shown or hidden.
  std::function<void()> OnResized;

  QLabel* LabelStatus;
  QLabel* LabelTime;
  QCheckBox* CheckBoxKeepGoing;
  QPushButton* BitBtnStop;
  QPushButton* BitBtnReconnect;
  QPushButton* BitBtnSaveReport;
  QToolButton* ToolButtonFinished;
  QTreeWidget* ListFinished;

 private:
  void ShowFinished(bool shown);

  bool running_ = false;
  bool reportReady_ = false;
};

}  // namespace qd
