#include "app/RIMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

#include "app/run_strip.h"
#include "app/window_run.h"
#include "dialogs/dialog_widgets.h"
#include "jobs/run_report.h"
#include "platform/hooks.h"

namespace qd {

namespace {

// The form's client area and the border around it; the strip goes below
// the form, the width of its controls.
constexpr int kClientWidth = 385;
constexpr int kFormHeight = 177;
constexpr int kStripTop = 184;
constexpr int kBorder = 3;

QLabel* RightLabel(QWidget* parent, const char* name, const char* caption, int left, int top, int width) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignTop);
  return Placed(label, name, left, top, width, 13);
}

QComboBox* DropDownList(QWidget* parent, const char* name, int top) {
  auto* list = Placed(new QComboBox(parent), name, 76, top, 309, 21);
  list->setEditable(false);
  list->setEnabled(false);
  return list;
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption, int left, int width) {
  auto* button = Placed(new QPushButton(QString::fromUtf8(caption), parent), name, left, 72, width, 25);
  button->setEnabled(false);
  return button;
}

QProgressBar* SmoothBar(QWidget* parent, const char* name, int top) {
  auto* bar = Placed(new QProgressBar(parent), name, 76, top, 309, 17);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(true);
  bar->setFormat(QStringLiteral("%p%"));
  bar->setAlignment(Qt::AlignCenter);
  return bar;
}

}  // namespace

TFrmRIMain::TFrmRIMain(TqdRebuildBackend& backend, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FrmRIMain"));
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  // A fixed border with the system menu and the minimise box only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("ClientArea"));
  CreateControls(client_);
  FitLabels();
  Strip = new TqdRunStrip(client_);
  Strip->move(0, kStripTop);
  Strip->OnResized = [this] { FitClientHeight(); };
  FitClientHeight();
  clock_ = new QTimer(this);
  clock_->setInterval(1000);
  AskReportPath = [this] {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save report"), QStringLiteral("rebuild-report.json"),
                                        QStringLiteral("JSON reports (*.json);;All files (*)"));
  };
  ConnectHandlers();
  workflow_ = std::make_unique<TqdRebuildWorkflow>(static_cast<TqdRebuildView&>(*this), backend);
  workflow_->Start();  // the form's creation fills the alias list
}

TFrmRIMain::~TFrmRIMain() = default;

void TFrmRIMain::FitClientHeight() {
  int height = kStripTop + Strip->HeightNow();
  client_->setGeometry(kBorder, kBorder, kClientWidth, height);
  FixClientSize(this, kClientWidth + 2 * kBorder, height + 2 * kBorder);
}

void TFrmRIMain::CreateControls(QWidget* client) {
  LabelAlias = RightLabel(client, "LabelAlias", "&Alias", 50, 4, 22);
  LabelTable = RightLabel(client, "LabelTable", "&Table", 45, 28, 27);
  LabelIndex = RightLabel(client, "LabelIndex", "&Index", 46, 52, 26);
  LabelIndexDone = RightLabel(client, "LabelIndexDone", "Index done", 19, 100, 53);
  LabelTablePacked = RightLabel(client, "LabelTablePacked", "Table packed", 6, 120, 66);
  LabelTableDone = RightLabel(client, "LabelTableDone", "Table done", 18, 140, 54);
  LabelAliasDone = RightLabel(client, "LabelAliasDone", "Alias done", 23, 160, 49);
  ComboBoxAlias = DropDownList(client, "ComboBoxAlias", 0);
  ComboBoxTable = DropDownList(client, "ComboBoxTable", 24);
  ComboBoxIndex = DropDownList(client, "ComboBoxIndex", 48);
  // The captions' letters are shortcuts to their lists, drawn underlined.
  LabelAlias->setBuddy(ComboBoxAlias);
  LabelTable->setBuddy(ComboBoxTable);
  LabelIndex->setBuddy(ComboBoxIndex);
  BitBtnReIndexIt = Button(client, "BitBtnReIndexIt", "&Rebuild selected index", 76, 121);
  BitBtnReIndexTable = Button(client, "BitBtnReIndexTable", "Rebuild table", 196, 97);
  BitBtnReIndexAlias = Button(client, "BitBtnReIndexAlias", "Rebuild alias", 292, 93);
  CheckBoxPack = Placed(new QCheckBox(QStringLiteral("Pack table"), client), "CheckBoxPack", 0, 76, 73, 17);
  ProgressGaugeIndex = SmoothBar(client, "ProgressGaugeIndex", 100);
  ProgressBarPacked = SmoothBar(client, "ProgressBarPacked", 120);
  ProgressGaugeTable = SmoothBar(client, "ProgressGaugeTable", 140);
  ProgressGaugeAlias = SmoothBar(client, "ProgressGaugeAlias", 160);
  QWidget* order[] = {ComboBoxAlias, ComboBoxTable, ComboBoxIndex, BitBtnReIndexIt, BitBtnReIndexTable,
                      BitBtnReIndexAlias, CheckBoxPack};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// The form's places were made for a narrower font: a right-aligned label
// keeps its right edge and grows to the left as far as its text needs.
void TFrmRIMain::FitLabels() {
  for (QLabel* label : {LabelAlias, LabelTable, LabelIndex, LabelIndexDone, LabelTablePacked, LabelTableDone,
                        LabelAliasDone}) {
    QString shown = label->text();
    if (label->buddy() != nullptr) shown.remove(QLatin1Char('&'));
    int needed = label->fontMetrics().horizontalAdvance(shown) + 1;
    QRect place = label->geometry();
    if (needed <= place.width()) continue;
    int left = std::max(0, place.right() + 1 - needed);
    label->setGeometry(left, place.top(), place.right() + 1 - left, place.height());
  }
}

void TFrmRIMain::ConnectHandlers() {
  // `activated` comes from the user only, never from filling a list.
  connect(ComboBoxAlias, &QComboBox::activated, this, [this] { workflow_->AliasPicked(); });
  connect(ComboBoxTable, &QComboBox::activated, this, [this] { workflow_->TablePicked(); });
  connect(ComboBoxIndex, &QComboBox::activated, this, [this] { workflow_->IndexPicked(); });
  connect(BitBtnReIndexIt, &QPushButton::clicked, this,
          [this] { RunJob(TqdRunScope::Index, [this] { workflow_->RebuildSelectedIndex(); }); });
  connect(BitBtnReIndexTable, &QPushButton::clicked, this,
          [this] { RunJob(TqdRunScope::Table, [this] { workflow_->RebuildTable(); }); });
  connect(BitBtnReIndexAlias, &QPushButton::clicked, this,
          [this] { RunJob(TqdRunScope::Alias, [this] { workflow_->RebuildAlias(); }); });
  connect(Strip->BitBtnStop, &QPushButton::clicked, this, [this] {
    stopAsked_ = true;
    Strip->BitBtnStop->setEnabled(false);
    Strip->SetStatus(Strip->LabelStatus->text().toStdString() + " (stopping after this task)");
  });
  connect(Strip->BitBtnReconnect, &QPushButton::clicked, this, [this] { workflow_->Reconnect(); });
  connect(Strip->BitBtnSaveReport, &QPushButton::clicked, this, [this] { SaveReport(); });
  auto* reconnect = new QShortcut(QKeySequence(Qt::Key_F5), this);
  connect(reconnect, &QShortcut::activated, Strip->BitBtnReconnect, &QPushButton::click);
  connect(clock_, &QTimer::timeout, this, [this] {
    if (run_) run_->Tick();
  });
}

void TFrmRIMain::RunJob(TqdRunScope scope, const std::function<void()>& job) {
  if (workflow_->Running()) return;
  stopAsked_ = closeNow_ = closeAfterJob_ = false;
  jobFailure_.reset();
  const std::string alias = workflow_->ChosenAlias();
  const bool keepGoing = Strip->CheckBoxKeepGoing->isChecked();
  TqdRunReport report;
  report.Scope.Alias = alias;
  if (scope != TqdRunScope::Alias) report.Scope.Table = workflow_->SelectedTableName();
  if (scope == TqdRunScope::Index) report.Scope.Index = ComboBoxIndex->currentText().toStdString();
  report.Scope.Pack = scope != TqdRunScope::Index && CheckBoxPack->isChecked();
  report.KeepGoing = keepGoing;
  run_.reset();
  run_ = std::make_unique<TqdWindowRun>(*Strip, TqdObserverSettings{alias, keepGoing, std::nullopt},
                                        std::move(report), workflow_->JobShape(scope),
                                        TqdStopRequests{[this] { return stopAsked_; }, [this] { return closeNow_; }});
  workflow_->SetObserver(&run_->Observer());
  Strip->SetRunning(true);
  clock_->start();
  job();
  clock_->stop();
  workflow_->SetObserver(nullptr);
  run_->Finish(jobFailure_, workflow_->SelectedTableName());
  Strip->SetReportReady(true);
  Strip->SetRunning(false);
  // The job the question asked about has ended.
  DismissCloseQuestion();
  if (closeAfterJob_) close();
}

void TFrmRIMain::closeEvent(QCloseEvent* event) {
  if (!workflow_->Running()) {
    event->accept();
    return;
  }
  // The job's loop runs below this event: the window closes once it ended.
  event->ignore();
  if (closeQuestion_ != nullptr || closeAfterJob_) {
    stopAsked_ = closeNow_ = closeAfterJob_ = true;
    DismissCloseQuestion();
    return;
  }
  AskBeforeClosing();
}

// Asked without a nested loop of its own, so the job goes on polling while
// the question waits.
void TFrmRIMain::AskBeforeClosing() {
  closeQuestion_ = new QMessageBox(QMessageBox::Question, QString::fromUtf8(kApplicationTitle),
                                   QStringLiteral("A job is running. Stop it after the current task and close "
                                                  "the window?\n\nClose the window again to close it at once; "
                                                  "the server finishes the task that runs."),
                                   QMessageBox::Yes | QMessageBox::No, this);
  closeQuestion_->setObjectName(QStringLiteral("CloseQuestion"));
  closeQuestion_->setWindowModality(Qt::WindowModal);
  connect(closeQuestion_, &QMessageBox::finished, this, [this](int answer) {
    if (answer == QMessageBox::Yes) stopAsked_ = closeAfterJob_ = true;
    closeQuestion_->deleteLater();
    closeQuestion_ = nullptr;
  });
  closeQuestion_->open();
}

void TFrmRIMain::DismissCloseQuestion() {
  if (closeQuestion_ == nullptr) return;
  closeQuestion_->disconnect(this);
  closeQuestion_->hide();
  closeQuestion_->deleteLater();
  closeQuestion_ = nullptr;
}

void TFrmRIMain::SaveReport() {
  if (!run_ || workflow_->Running()) return;
  QString path = AskReportPath ? AskReportPath() : QString();
  if (path.isEmpty()) return;
  std::string error;
  if (!WriteReportFile(path.toStdString(), run_->Report(), error))
    ShowErrorBox(kApplicationTitle, "The report could not be saved: " + error);
}

void TFrmRIMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (QScreen* shown = screen()) move(shown->availableGeometry().center() - rect().center());
}

QComboBox* TFrmRIMain::List(TqdRebuildList list) const {
  switch (list) {
    case TqdRebuildList::ComboBoxAlias: return ComboBoxAlias;
    case TqdRebuildList::ComboBoxTable: return ComboBoxTable;
    case TqdRebuildList::ComboBoxIndex: break;
  }
  return ComboBoxIndex;
}

QWidget* TFrmRIMain::Control(TqdRebuildControl control) const {
  switch (control) {
    case TqdRebuildControl::ComboBoxAlias: return ComboBoxAlias;
    case TqdRebuildControl::ComboBoxTable: return ComboBoxTable;
    case TqdRebuildControl::ComboBoxIndex: return ComboBoxIndex;
    case TqdRebuildControl::BitBtnReIndexIt: return BitBtnReIndexIt;
    case TqdRebuildControl::BitBtnReIndexTable: return BitBtnReIndexTable;
    case TqdRebuildControl::BitBtnReIndexAlias: return BitBtnReIndexAlias;
    case TqdRebuildControl::CheckBoxPack: break;
  }
  return CheckBoxPack;
}

QProgressBar* TFrmRIMain::Bar(TqdRebuildBar bar) const {
  switch (bar) {
    case TqdRebuildBar::ProgressGaugeIndex: return ProgressGaugeIndex;
    case TqdRebuildBar::ProgressBarPacked: return ProgressBarPacked;
    case TqdRebuildBar::ProgressGaugeTable: return ProgressGaugeTable;
    case TqdRebuildBar::ProgressGaugeAlias: break;
  }
  return ProgressGaugeAlias;
}

void TFrmRIMain::SetItems(TqdRebuildList list, const std::vector<std::string>& items) {
  QComboBox* box = List(list);
  QSignalBlocker quiet(box);
  box->clear();
  for (const std::string& item : items) box->addItem(QString::fromStdString(item));
  box->setCurrentIndex(-1);
}

int TFrmRIMain::ItemIndex(TqdRebuildList list) const { return List(list)->currentIndex(); }

void TFrmRIMain::SetItemIndex(TqdRebuildList list, int index) {
  QComboBox* box = List(list);
  QSignalBlocker quiet(box);
  box->setCurrentIndex(index);
}

void TFrmRIMain::SetEnabled(TqdRebuildControl control, bool enabled) {
  wanted_[static_cast<size_t>(control)] = enabled;
  Control(control)->setEnabled(enabled && !inputsLocked_);
}

bool TFrmRIMain::PackChecked() const { return CheckBoxPack->isChecked(); }

// A range of nothing would draw Qt's busy animation: it shows empty.
void TFrmRIMain::ShowBar(TqdRebuildBar bar, const TqdBarState& state) {
  QProgressBar* b = Bar(bar);
  if (state.Max <= state.Min) {
    b->setRange(0, 1);
    b->setValue(0);
  } else {
    b->setRange(state.Min, state.Max);
    b->setValue(state.Position);
  }
  bars_[static_cast<size_t>(bar)] = state;
  if (run_ && workflow_ && workflow_->Running()) run_->BarsChanged(bars_, ComboBoxTable->currentIndex());
}

// Only the inputs: the bars stay readable, the strip's Stop usable.
void TFrmRIMain::SetWindowEnabled(bool enabled) {
  inputsLocked_ = !enabled;
  for (size_t control = 0; control < kRebuildControlCount; ++control)
    Control(static_cast<TqdRebuildControl>(control))->setEnabled(wanted_[control] && enabled);
}

void TFrmRIMain::SetBusyCursor(bool busy) {
  if (busy) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

void TFrmRIMain::ProcessPendingEvents() { QCoreApplication::processEvents(); }

// Repaints, timers, the transport's notifications and the input a running
// job takes (Stop, closing, the finished list); every other input is
// disabled.
void TFrmRIMain::ProcessEventsBetweenPolls() { QCoreApplication::processEvents(); }

void TFrmRIMain::WaitBeforeNextPoll(std::chrono::milliseconds wait) {
  QEventLoop loop;
  QTimer::singleShot(wait, &loop, &QEventLoop::quit);
  loop.exec();
}

// A job's failure also ends its status line, before the box stands over it.
void TFrmRIMain::ShowError(const std::string& message) {
  if (run_ && clock_->isActive()) {
    jobFailure_ = message;
    Strip->SetStatus(message);
  }
  ShowErrorBox(kApplicationTitle, message);
}

}  // namespace qd
