#include "app/RIMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "dialogs/dialog_widgets.h"
#include "platform/hooks.h"

namespace qd {

namespace {

// The client area and the border around it.
constexpr int kClientWidth = 385;
constexpr int kClientHeight = 177;
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
  bar->setTextVisible(false);
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
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setGeometry(kBorder, kBorder, kClientWidth, kClientHeight);
  FixClientSize(this, kClientWidth + 2 * kBorder, kClientHeight + 2 * kBorder);
  CreateControls(client);
  ConnectHandlers();
  workflow_ = std::make_unique<TqdRebuildWorkflow>(static_cast<TqdRebuildView&>(*this), backend);
  workflow_->Start();  // the form's creation fills the alias list
}

TFrmRIMain::~TFrmRIMain() = default;

void TFrmRIMain::CreateControls(QWidget* client) {
  LabelAlias = RightLabel(client, "LabelAlias", "&Alias", 50, 4, 22);
  LabelTable = RightLabel(client, "LabelTable", "&Table", 45, 28, 27);
  LabelIndex = RightLabel(client, "LabelIndex", "&Index", 46, 52, 26);
  LabelIndexDone = RightLabel(client, "LabelIndexDone", "Index done", 19, 100, 53);
  LabelTablePacked = RightLabel(client, "LabelTablePacked", "Table packed", 6, 120, 66);
  LabelTableDone = RightLabel(client, "LabelTableDone", "Table done", 18, 140, 54);
  LabelAliasDone = RightLabel(client, "LabelAliasDone", "Alias done", 23, 160, 49);
  // The accelerators are plain captions, bound to nothing.
  for (QLabel* label : {LabelAlias, LabelTable, LabelIndex}) label->setTextFormat(Qt::PlainText);
  ComboBoxAlias = DropDownList(client, "ComboBoxAlias", 0);
  ComboBoxTable = DropDownList(client, "ComboBoxTable", 24);
  ComboBoxIndex = DropDownList(client, "ComboBoxIndex", 48);
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

void TFrmRIMain::ConnectHandlers() {
  // `activated` comes from the user only, never from filling a list.
  connect(ComboBoxAlias, &QComboBox::activated, this, [this] { workflow_->AliasPicked(); });
  connect(ComboBoxTable, &QComboBox::activated, this, [this] { workflow_->TablePicked(); });
  connect(ComboBoxIndex, &QComboBox::activated, this, [this] { workflow_->IndexPicked(); });
  connect(BitBtnReIndexIt, &QPushButton::clicked, this, [this] { workflow_->RebuildSelectedIndex(); });
  connect(BitBtnReIndexTable, &QPushButton::clicked, this, [this] { workflow_->RebuildTable(); });
  connect(BitBtnReIndexAlias, &QPushButton::clicked, this, [this] { workflow_->RebuildAlias(); });
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

void TFrmRIMain::SetEnabled(TqdRebuildControl control, bool enabled) { Control(control)->setEnabled(enabled); }

bool TFrmRIMain::PackChecked() const { return CheckBoxPack->isChecked(); }

void TFrmRIMain::ShowBar(TqdRebuildBar bar, const TqdBarState& state) {
  QProgressBar* b = Bar(bar);
  b->setRange(state.Min, state.Max);
  b->setValue(state.Position);
}

void TFrmRIMain::SetWindowEnabled(bool enabled) { setEnabled(enabled); }

void TFrmRIMain::SetBusyCursor(bool busy) {
  if (busy) {
    setCursor(Qt::WaitCursor);
  } else {
    unsetCursor();
  }
}

void TFrmRIMain::ProcessPendingEvents() { QCoreApplication::processEvents(); }

// Repaints, window-manager pings and the transport's notifications; the
// window is disabled meanwhile, and user input waits.
void TFrmRIMain::ProcessPendingNonInputEvents() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFrmRIMain::ShowError(const std::string& message) { ShowMessageBox(kApplicationTitle, message); }

}  // namespace qd
