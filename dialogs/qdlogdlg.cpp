#include "dialogs/qdlogdlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>

#include "dialogs/dialog_widgets.h"
#include "platform/hooks.h"

namespace qd {

namespace {

// Every character of the password is shown as "*".
class StarPasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

constexpr int kClientWidth = 427;
constexpr int kClientHeight = 125;
// The message's line below the frame, which ends at 113.
constexpr int kMessageTop = 117;
constexpr int kMessageHeight = 16;

}  // namespace

TQDLoginDialog::TQDLoginDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Quilldrive Server Login"));
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  FixClientSize(this, kClientWidth, kClientHeight);
  Bevel1 = MakeBevel(this, 8, 8, 321, 105);
  Label1 = Placed(new QLabel(QStringLiteral("Server Name: "), this), "Label1", 24, 24);
  Label2 = Placed(new QLabel(QStringLiteral("User Name: "), this), "Label2", 24, 52);
  Label3 = Placed(new QLabel(QStringLiteral("Password: "), this), "Label3", 24, 80);
  ServerLbl = Placed(new QLabel(this), "ServerLbl", 104, 24);
  MessageLbl = Placed(new QLabel(this), "MessageLbl", 24, kMessageTop, 305, kMessageHeight);
  MessageLbl->hide();
  UserNameEdt = Placed(new QLineEdit(this), "UserNameEdt", 104, 48, 209, 21);
  PasswordEdt = Placed(new QLineEdit(this), "PasswordEdt", 104, 80, 209, 21);
  auto* stars = new StarPasswordStyle;
  stars->setParent(PasswordEdt);
  PasswordEdt->setStyle(stars);
  PasswordEdt->setEchoMode(QLineEdit::Password);
  BitBtn1 = Placed(new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("OK"), this),
                   "BitBtn1", 344, 8, 75, 25);
  BitBtn1->setDefault(true);
  BitBtn2 = Placed(new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Cancel"), this),
                   "BitBtn2", 344, 40, 75, 25);
  setTabOrder(UserNameEdt, PasswordEdt);
  setTabOrder(PasswordEdt, BitBtn1);
  setTabOrder(BitBtn1, BitBtn2);
  connect(BitBtn1, &QPushButton::clicked, this, &TQDLoginDialog::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TQDLoginDialog::BitBtn1Click() {
  for (QLineEdit* edit : {UserNameEdt, PasswordEdt}) {
    if (edit->text().isEmpty()) {
      edit->setFocus();
      Beep();
      return;
    }
  }
  accept();
}

void TQDLoginDialog::SetMessage(const QString& message) {
  MessageLbl->setText(message);
  MessageLbl->setVisible(!message.isEmpty());
  FixClientSize(this, kClientWidth, message.isEmpty() ? kClientHeight : kMessageTop + kMessageHeight + 8);
}

}  // namespace qd
