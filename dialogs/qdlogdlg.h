// TQDLoginDialog: asks for a user name and password when a server refused
// the login. The caller fills the server label and both edits, and the
// message that says why it asks again, shows the dialog modally and reads
// the edits back when it was confirmed. Without a message the form is as
// it always was; a message gets a line of its own below the frame.
// Thread rules: the user-interface thread only.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qd {

class TQDLoginDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TQDLoginDialog(QWidget* parent = nullptr);

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* ServerLbl;
  QLabel* MessageLbl;  // hidden while there is no message
  QLineEdit* UserNameEdt;
  QLineEdit* PasswordEdt;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;

  // OK: both edits must hold text; an empty one gets the focus and a beep.
  void BitBtn1Click();
  // Shows `message` below the frame (the dialog grows by its line); an
  // empty one hides it again.
  void SetMessage(const QString& message);
};

}  // namespace qd
