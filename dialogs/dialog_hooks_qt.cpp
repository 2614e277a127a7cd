#include "dialogs/dialog_hooks_qt.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

#include "callif/dialog_hooks.h"
#include "dialogs/qdlogdlg.h"
#include "dialogs/qdsrvdlg.h"
#include "platform/hooks.h"

namespace qd {

namespace {

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }
std::string Cut(const QString& text, int characters) { return text.left(characters).toStdString(); }

bool AskLogin(const std::string& serverName, const std::string& message, TqdNetName& userName,
              TqdNetName& password) {
  TQDLoginDialog dialog;
  dialog.ServerLbl->setText(FromUtf8(serverName));
  dialog.ServerLbl->adjustSize();
  dialog.SetMessage(FromUtf8(message));
  dialog.UserNameEdt->setText(FromUtf8(userName.View()));
  dialog.PasswordEdt->setText(FromUtf8(password.View()));
  // With the user name kept, what is left to type is the password.
  if (!userName.Empty() && password.Empty()) dialog.PasswordEdt->setFocus();
  if (dialog.exec() != QDialog::Accepted) return false;
  userName.Assign(Cut(dialog.UserNameEdt->text(), kNetNameCapacity));
  password.Assign(Cut(dialog.PasswordEdt->text(), kNetNameCapacity));
  return true;
}

bool PickServer(const std::vector<std::string>& names, std::string& chosen) {
  TQDPickServerDlg dialog;
  for (const std::string& name : names) dialog.CBNames->addItem(FromUtf8(name));
  dialog.CBNames->setCurrentIndex(0);
  if (dialog.exec() != QDialog::Accepted) return false;
  chosen = Cut(dialog.CBNames->currentText(), kNetAddressCapacity);
  return true;
}

void ShowBox(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Information, FromUtf8(caption), FromUtf8(text), QMessageBox::Ok);
  box.exec();
}

void ShowError(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::Critical, FromUtf8(caption), FromUtf8(text), QMessageBox::Ok);
  box.exec();
}

void BusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace

void InstallDialogHooks() {
  SetLoginDialogHook(&AskLogin);
  SetServerDialogHook(&PickServer);
  SetMessageBoxHook(&ShowBox);
  SetErrorBoxHook(&ShowError);
  SetBeepHook([] { QApplication::beep(); });
  SetBusyCursorHook(&BusyCursor);
}

void RemoveDialogHooks() {
  SetLoginDialogHook({});
  SetServerDialogHook({});
  SetMessageBoxHook({});
  SetErrorBoxHook({});
  SetBeepHook({});
  SetBusyCursorHook({});
}

}  // namespace qd
