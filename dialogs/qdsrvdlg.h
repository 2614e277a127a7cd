// TQDPickServerDlg: lets the user choose one of several servers that
// answered a search. It has one button, which confirms the chosen name; it
// cannot be cancelled.
// Thread rules: the user-interface thread only.
#pragma once

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace qd {

class TQDPickServerDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TQDPickServerDlg(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QComboBox* CBNames;
  QPushButton* OKBtn;

  // Escape and the window manager's close do nothing: a server is chosen.
  void reject() override {}
};

}  // namespace qd
