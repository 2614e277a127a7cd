// The login and server-selection dialogs: their controls, the OK checks
// with beep and focus, and what the installed hooks read back.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "callif/dialog_hooks.h"
#include "dialogs/dialog_hooks_qt.h"
#include "dialogs/qdlogdlg.h"
#include "dialogs/qdsrvdlg.h"
#include "platform/hooks.h"

namespace qd {

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  int beeps_ = 0;

  // Runs `answer` on the next modal dialog once it is shown.
  template <class Dialog, class Answer>
  void AnswerNextDialog(Answer answer) {
    QTimer::singleShot(0, this, [answer] {
      auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      answer(*dialog);
    });
  }

 private slots:
  void init() {
    InstallDialogHooks();
    beeps_ = 0;
    SetBeepHook([this] { ++beeps_; });
  }
  void cleanup() { RemoveDialogHooks(); }

  void loginDialogLayout() {
    TQDLoginDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quilldrive Server Login"));
    QCOMPARE(dialog.size(), QSize(427, 125));
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(dialog.findChild<QLabel*>("Label1")->text(), QStringLiteral("Server Name: "));
    QCOMPARE(dialog.findChild<QLabel*>("Label2")->text(), QStringLiteral("User Name: "));
    QCOMPARE(dialog.findChild<QLabel*>("Label3")->text(), QStringLiteral("Password: "));
    QCOMPARE(dialog.findChild<QLineEdit*>("UserNameEdt")->geometry(), QRect(104, 48, 209, 21));
    QCOMPARE(dialog.findChild<QLineEdit*>("PasswordEdt")->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.PasswordEdt->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dialog.PasswordEdt),
             int('*'));
    QCOMPARE(dialog.findChild<QPushButton*>("BitBtn1")->geometry(), QRect(344, 8, 75, 25));
    QVERIFY(dialog.BitBtn1->isDefault());
    QCOMPARE(dialog.UserNameEdt->nextInFocusChain(), static_cast<QWidget*>(dialog.PasswordEdt));
  }

  void loginOkChecksBothEdits() {
    struct Case {
      const char* user;
      const char* password;
      bool accepted;
      const char* focused;  // the edit that gets the focus when refused
    };
    const Case cases[] = {
        {"", "secret", false, "UserNameEdt"},
        {"", "", false, "UserNameEdt"},
        {"demo", "", false, "PasswordEdt"},
        {"demo", "secret", true, nullptr},
    };
    for (const Case& c : cases) {
      TQDLoginDialog dialog;
      dialog.show();
      dialog.UserNameEdt->setText(c.user);
      dialog.PasswordEdt->setText(c.password);
      beeps_ = 0;
      QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
      QCOMPARE(dialog.result() == QDialog::Accepted, c.accepted);
      QCOMPARE(dialog.isVisible(), !c.accepted);
      QCOMPARE(beeps_, c.accepted ? 0 : 1);
      if (c.focused != nullptr) QCOMPARE(dialog.focusWidget()->objectName(), QString::fromLatin1(c.focused));
    }
  }

  void loginHookReadsBackCutTo31() {
    AnswerNextDialog<TQDLoginDialog>([](TQDLoginDialog& d) {
      QCOMPARE(d.ServerLbl->text(), QStringLiteral("QDSERVER"));
      QCOMPARE(d.UserNameEdt->text(), QStringLiteral("old"));
      d.UserNameEdt->setText(QString(40, 'u'));
      d.PasswordEdt->setText(QString(35, 'p'));
      d.BitBtn1Click();
    });
    TqdNetName user("old"), password("pw");
    QVERIFY(RunLoginDialog("QDSERVER", "", user, password));
    QCOMPARE(QString::fromStdString(user.Str()), QString(31, 'u'));
    QCOMPARE(QString::fromStdString(password.Str()), QString(31, 'p'));

    AnswerNextDialog<TQDLoginDialog>([](TQDLoginDialog& d) { d.BitBtn2->click(); });
    QVERIFY(!RunLoginDialog("QDSERVER", "", user, password));
    QCOMPARE(QString::fromStdString(user.Str()), QString(31, 'u'));  // untouched when cancelled
  }

  // A login asked again says why below the frame, with the user name kept
  // and the focus in the emptied password; without a message the form is
  // as it always was.
  void loginHookShowsWhyItAsksAgain() {
    struct Case {
      const char* message;
      const char* user;
      QSize size;
      const char* focused;  // nullptr: left to the toolkit
    };
    const Case cases[] = {
        {"", "", QSize(427, 125), nullptr},
        {"Unknown user name or password.", "demo", QSize(427, 141), "PasswordEdt"},
    };
    for (const Case& c : cases) {
      AnswerNextDialog<TQDLoginDialog>([c](TQDLoginDialog& d) {
        QCOMPARE(d.MessageLbl->isVisible(), *c.message != '\0');
        QCOMPARE(d.MessageLbl->text(), QString::fromLatin1(c.message));
        QCOMPARE(d.size(), c.size);
        QCOMPARE(d.UserNameEdt->text(), QString::fromLatin1(c.user));
        QVERIFY(d.PasswordEdt->text().isEmpty());
        if (c.focused != nullptr) {
          QVERIFY(d.focusWidget() != nullptr);
          QCOMPARE(d.focusWidget()->objectName(), QString::fromLatin1(c.focused));
        }
        if (*c.message != '\0') QVERIFY(d.MessageLbl->geometry().top() > d.Bevel1->geometry().bottom());
        d.BitBtn2->click();
      });
      TqdNetName user(c.user), password;
      QVERIFY(!RunLoginDialog("QDSERVER", c.message, user, password));
    }
  }

  void serverDialogLayoutAndNoWayOut() {
    TQDPickServerDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Quilldrive Server Selection"));
    QCOMPARE(dialog.size(), QSize(432, 73));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(dialog.findChild<QLabel*>("Label1")->text(), QStringLiteral("Login to:"));
    QCOMPARE(dialog.findChild<QComboBox*>("CBNames")->geometry(), QRect(64, 24, 249, 21));
    QVERIFY(!dialog.CBNames->isEditable());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());  // it cannot be cancelled
  }

  void serverHookPreselectsTheFirstAndCutsTo63() {
    std::string chosen;
    AnswerNextDialog<TQDPickServerDlg>([](TQDPickServerDlg& d) {
      QCOMPARE(d.CBNames->count(), 2);
      QCOMPARE(d.CBNames->currentIndex(), 0);
      d.OKBtn->click();
    });
    std::string longName(70, 'n');
    QVERIFY(RunServerDialog({longName, "OTHER"}, chosen));
    QCOMPARE(chosen, std::string(63, 'n'));
  }
};

}  // namespace qd

QTEST_MAIN(qd::DialogsTest)
#include "dialogs_test.moc"
