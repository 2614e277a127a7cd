#include "app/run_strip.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>

#include "dialogs/dialog_widgets.h"
#include "jobs/run_report.h"

namespace qd {
namespace {

constexpr int kCollapsedHeight = 73;
constexpr int kListTop = 78;
constexpr int kListHeight = 120;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

TqdRunStrip::TqdRunStrip(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RunStrip"));
  // The window shows the busy cursor during a job; Stop is still a button.
  setCursor(Qt::ArrowCursor);
  LabelStatus = Placed(new QLabel(this), "LabelStatus", 0, 0, kWidth, 26);
  LabelStatus->setWordWrap(true);
  LabelStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LabelStatus->setTextFormat(Qt::PlainText);
  LabelTime = Placed(new QLabel(this), "LabelTime", 0, 30, 190, 15);
  LabelTime->setTextFormat(Qt::PlainText);
  CheckBoxKeepGoing =
      Placed(new QCheckBox(QStringLiteral("Go on after a failure"), this), "CheckBoxKeepGoing", 195, 29, 190, 17);
  BitBtnStop = Placed(new QPushButton(QStringLiteral("&Stop"), this), "BitBtnStop", 0, 48, 75, 25);
  BitBtnReconnect = Placed(new QPushButton(QStringLiteral("Reco&nnect"), this), "BitBtnReconnect", 80, 48, 90, 25);
  BitBtnReconnect->setToolTip(QStringLiteral("Connect to the server afresh and fill the lists again (F5)"));
  BitBtnSaveReport =
      Placed(new QPushButton(QStringLiteral("Save &report…"), this), "BitBtnSaveReport", 175, 48, 100, 25);
  ToolButtonFinished = Placed(new QToolButton(this), "ToolButtonFinished", 280, 48, 105, 25);
  ToolButtonFinished->setText(QStringLiteral("Finished"));
  ToolButtonFinished->setCheckable(true);
  ToolButtonFinished->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  ToolButtonFinished->setArrowType(Qt::RightArrow);
  ListFinished = Placed(new QTreeWidget(this), "ListFinished", 0, kListTop, kWidth, kListHeight);
  ListFinished->setColumnCount(3);
  ListFinished->setHeaderLabels({QStringLiteral("Object"), QStringLiteral("Result"), QStringLiteral("Seconds")});
  ListFinished->setRootIsDecorated(false);
  ListFinished->header()->setStretchLastSection(false);
  ListFinished->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  ListFinished->hide();
  connect(ToolButtonFinished, &QToolButton::toggled, this, [this](bool shown) { ShowFinished(shown); });
  resize(kWidth, kCollapsedHeight);
  SetRunning(false);
}

int TqdRunStrip::HeightNow() const { return ListFinished->isVisible() ? kListTop + kListHeight : kCollapsedHeight; }

void TqdRunStrip::ShowFinished(bool shown) {
  ToolButtonFinished->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
  ListFinished->setVisible(shown);
  resize(kWidth, shown ? kListTop + kListHeight : kCollapsedHeight);
  if (OnResized) OnResized();
}

void TqdRunStrip::SetStatus(const std::string& text) {
  LabelStatus->setText(Text(text));
  LabelStatus->setToolTip(Text(text));
}

void TqdRunStrip::SetTime(const std::string& text) { LabelTime->setText(Text(text)); }

void TqdRunStrip::SetRunning(bool running) {
  running_ = running;
  BitBtnStop->setEnabled(running);
  BitBtnReconnect->setEnabled(!running);
  CheckBoxKeepGoing->setEnabled(!running);
  BitBtnSaveReport->setEnabled(!running && reportReady_);
}

void TqdRunStrip::SetReportReady(bool ready) {
  reportReady_ = ready;
  SetRunning(running_);
}

void TqdRunStrip::ClearFinished() { ListFinished->clear(); }

void TqdRunStrip::AddFinished(const TqdReportEntry& entry) {
  std::string object = entry.Alias + "/" + entry.Table + " " + entry.Index;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", entry.Seconds);
  auto* row = new QTreeWidgetItem(ListFinished, {Text(object), Text(entry.State), Text(seconds)});
  row->setTextAlignment(2, Qt::AlignRight);
  if (!entry.Message.empty()) {
    for (int column = 0; column < 3; ++column) row->setToolTip(column, Text(entry.Message));
  }
  ListFinished->scrollToItem(row);
}

}  // namespace qd
