// The rebuild window against a qd-server process with the demo data: the
// controls as the form has them, the lists and their enabled states, the
// three jobs with and without pack (bars and the server's own log of the
// tasks), a login that is refused once, no server at all, a server stopped
// in the middle of a job, and a window that idles longer than the server's
// keep-alive allows an unanswering client.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QMessageBox>
#include <QScreen>
#include <functional>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>
#include <fstream>
#include <memory>

#include "app/RIMain.h"
#include "tests/app/pick.h"
#include "app/queue_driver.h"
#include "app/run_strip.h"
#include "callif/QDCLSess.h"
#include "callif/dialog_hooks.h"
#include "components/QDDB.h"
#include "dialogs/dialog_hooks_qt.h"
#include "jobs/component_backend.h"
#include "jobs/run_report.h"
#include "platform/hooks.h"
#include "server/demo_data.h"
#include "platform/netbios/netbios.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"
#include "tests/support/emulated_transports.h"
#include "tests/support/free_port.h"

namespace qd {

using test::Pick;

class RebuildWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<TqdQtQueueDriver> driver_;
  std::unique_ptr<TqdComponentBackend> backend_;
  std::unique_ptr<TFrmRIMain> window_;
  QStringList boxes_;
  QStringList kinds_;  // "error" or "information", one for each box
  int prompts_ = 0;

  // With a quick keep-alive the server hangs up on a client that leaves
  // its checks unanswered for 2 s; otherwise the defaults (about 17 s).
  void StartServer(bool quickKeepAlive = false) {
    std::ofstream(dir_->Path() + "/test.conf")
        << "[Server]\nName = QDAPP\nTransports = TCP/IP\nPort = 0\nSecure = 1\nDataDir = .\n"
        << (quickKeepAlive ? "KeepAliveInactivity = 1000\nKeepAliveInterval = 500\nKeepAliveRetries = 2\n" : "")
        << "[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    server_ = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, dir_->Path() + "/test.conf",
                                                    dir_->Path() + "/single-user");
    QVERIFY(server_->TcpPort() != 0);
    WriteClientSettings(server_->TcpPort());
  }
  void WriteClientSettings(uint16_t port) {
    std::filesystem::create_directories(dir_->Path() + "/xdg/Brackwater");
    std::ofstream(dir_->Path() + "/xdg/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\nProtocol = TCP/IP\nServerName = QDAPP@127.0.0.1\nServerPort = " << port << "\n";
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(dir_->Path() + "/xdg"));
  }
  // The login dialog answers with these passwords in turn, then the last.
  void AnswerLogins(QStringList passwords) {
    SetLoginDialogHook([this, passwords](const std::string&, const std::string&, TqdNetName& user,
                                         TqdNetName& password) {
      user.Assign("demo");
      password.Assign(passwords.value(std::min<int>(prompts_, passwords.size() - 1)).toStdString());
      ++prompts_;
      return true;
    });
  }
  void OpenWindow() {
    backend_ = std::make_unique<TqdComponentBackend>();
    window_ = std::make_unique<TFrmRIMain>(*backend_);
    window_->show();
  }
  // The tasks the server has logged as finished, by kind ("rebuild", "pack").
  int Finished(const char* kind) {
    server_->ReadAvailable();
    const std::string& out = server_->Output();
    std::string marker = std::string("(") + kind + " of ";
    int count = 0;
    for (size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) {
      size_t end = out.find('\n', at);
      if (out.substr(at, end - at).find(") finished") != std::string::npos) ++count;
    }
    return count;
  }

  // Runs `during` at each pass over events while the job the click starts
  // runs (before each step and between polls), until it returns true.
  void ClickDuringJob(QPushButton* button, const std::function<bool()>& during) {
    QTimer timer;
    bool done = false;
    connect(&timer, &QTimer::timeout, this, [&] {
      if (!done) done = during();
    });
    timer.start(0);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // The window's question after a close request during a job: the first
  // call asks to close and gives nullptr, later calls give the question.
  QMessageBox* AskedToClose() {
    auto* question = window_->findChild<QMessageBox*>("CloseQuestion");
    if (question == nullptr) window_->close();
    return question;
  }
  int FinishedRows() const { return window_->Strip->ListFinished->topLevelItemCount(); }

 private slots:
  void init() {
    dir_ = std::make_unique<test::TempDir>();
    std::string error;
    QVERIFY2(MakeDemoData(dir_->Path(), 4, 100, error), error.c_str());
    StartServer();
    InitializeComponentLayer();
    InstallDialogHooks();
    ForgetAcceptedCredentials();
    boxes_.clear();
    prompts_ = 0;
    auto capture = [this](const char* kind) {
      return [this, kind](std::string_view, std::string_view text) {
        boxes_ << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        kinds_ << QString::fromLatin1(kind);
      };
    };
    SetMessageBoxHook(capture("information"));
    SetErrorBoxHook(capture("error"));
    kinds_.clear();
    AnswerLogins({"demo"});
    driver_ = std::make_unique<TqdQtQueueDriver>();
  }
  void cleanup() {
    window_.reset();
    backend_.reset();
    FinalizeComponentLayer();
    driver_.reset();
    RemoveDialogHooks();
    server_.reset();
    dir_.reset();
  }

  void controlsAsTheFormHasThem() {
    OpenWindow();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Rebuild QD Index"));
    struct Control {
      const char* name;
      QRect geometry;
      bool enabled;
    };
    const Control controls[] = {
        {"ComboBoxAlias", {76, 0, 309, 21}, true},        {"ComboBoxTable", {76, 24, 309, 21}, false},
        {"ComboBoxIndex", {76, 48, 309, 21}, false},      {"BitBtnReIndexIt", {76, 72, 121, 25}, false},
        {"BitBtnReIndexTable", {196, 72, 97, 25}, false}, {"BitBtnReIndexAlias", {292, 72, 93, 25}, false},
        {"CheckBoxPack", {0, 76, 73, 17}, true},          {"ProgressGaugeIndex", {76, 100, 309, 17}, true},
        {"ProgressBarPacked", {76, 120, 309, 17}, true},  {"ProgressGaugeTable", {76, 140, 309, 17}, true},
        {"ProgressGaugeAlias", {76, 160, 309, 17}, true}, {"LabelTablePacked", {6, 120, 66, 13}, true},
    };
    for (const Control& c : controls) {
      auto* widget = window_->findChild<QWidget*>(c.name);
      QVERIFY2(widget != nullptr, c.name);
      QCOMPARE(widget->geometry(), c.geometry);
      QCOMPARE(widget->isEnabled(), c.enabled);
    }
    QCOMPARE(window_->BitBtnReIndexIt->text(), QStringLiteral("&Rebuild selected index"));
    QCOMPARE(window_->LabelAlias->text(), QStringLiteral("&Alias"));
    QCOMPARE(window_->ComboBoxAlias->count(), 2);
    QCOMPARE(window_->ComboBoxAlias->currentIndex(), -1);
    QVERIFY(!window_->CheckBoxPack->isChecked());
    QCOMPARE(prompts_, 1);  // the secure server refused the empty login once
  }

  void noServerLeavesTheAliasListDisabled() {
    WriteClientSettings(test::FreeLoopbackPort(SOCK_STREAM));
    OpenWindow();
    QVERIFY(!window_->ComboBoxAlias->isEnabled());
    QCOMPARE(window_->ComboBoxAlias->count(), 0);
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].startsWith("Quilldrive: "), qPrintable(boxes_[0]));
  }

  void aWrongPasswordThenTheRightOne() {
    AnswerLogins({"wrong", "demo"});
    OpenWindow();
    QCOMPARE(prompts_, 2);
    QCOMPARE(window_->ComboBoxAlias->count(), 2);
    QVERIFY(boxes_.isEmpty());
  }

  void picksEnableTheNextControls() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    QCOMPARE(window_->ComboBoxTable->count(), 2);
    QVERIFY(window_->ComboBoxTable->isEnabled());
    QVERIFY(window_->BitBtnReIndexAlias->isEnabled());
    QVERIFY(!window_->ComboBoxIndex->isEnabled());
    Pick(window_->ComboBoxTable, "Customers");
    QVERIFY(window_->ComboBoxIndex->count() > 1);
    QVERIFY(window_->ComboBoxIndex->isEnabled());
    QVERIFY(window_->BitBtnReIndexTable->isEnabled());
    QVERIFY(!window_->BitBtnReIndexIt->isEnabled());
    Pick(window_->ComboBoxIndex, window_->ComboBoxIndex->itemText(1));
    QVERIFY(window_->BitBtnReIndexIt->isEnabled());
    // The same alias again: the table list is refilled and the index list emptied.
    Pick(window_->ComboBoxAlias, "Sales");
    QCOMPARE(window_->ComboBoxIndex->count(), 0);
    QVERIFY(!window_->BitBtnReIndexTable->isEnabled());
    QVERIFY(boxes_.isEmpty());
  }

  void jobsRunToTheirEndWithAndWithoutPack() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    Pick(window_->ComboBoxTable, "Customers");
    const int indexes = window_->ComboBoxIndex->count();
    Pick(window_->ComboBoxIndex, window_->ComboBoxIndex->itemText(1));
    struct Job {
      const char* name;
      QPushButton* button;
      bool pack;
      int rebuilds;  // at least; the alias job depends on every table's indexes
      int packs;
    };
    const Job jobs[] = {
        {"selected index", window_->BitBtnReIndexIt, false, 1, 0},
        {"table", window_->BitBtnReIndexTable, false, indexes, 0},
        {"table with pack", window_->BitBtnReIndexTable, true, indexes, 1},
        {"alias with pack", window_->BitBtnReIndexAlias, true, indexes + 1, 2},
    };
    for (const Job& job : jobs) {
      int rebuildsBefore = Finished("rebuild"), packsBefore = Finished("pack");
      window_->CheckBoxPack->setChecked(job.pack);
      QTest::mouseClick(job.button, Qt::LeftButton);
      QVERIFY2(boxes_.isEmpty(), qPrintable(QString(job.name) + ": " + boxes_.join('\n')));
      QVERIFY(window_->isEnabled());
      QCOMPARE(window_->ProgressGaugeIndex->value(), 100);
      QCOMPARE(window_->ComboBoxAlias->isEnabled(), true);
      QTRY_VERIFY_WITH_TIMEOUT(Finished("rebuild") - rebuildsBefore >= job.rebuilds, 30000);
      QTRY_COMPARE_WITH_TIMEOUT(Finished("pack") - packsBefore, job.packs, 30000);
      if (job.button != window_->BitBtnReIndexIt) {
        QCOMPARE(window_->ProgressGaugeTable->value(), window_->ProgressGaugeTable->maximum());
        QVERIFY2(window_->ProgressGaugeTable->maximum() == window_->ComboBoxIndex->count() + (job.pack ? 1 : 0),
                 qPrintable(QString("%1: table bar max %2, %3 indexes").arg(job.name)
                                .arg(window_->ProgressGaugeTable->maximum()).arg(window_->ComboBoxIndex->count())));
      }
      // A finished pack leaves its bar at the end.
      if (job.pack) {
        QCOMPARE(window_->ProgressBarPacked->maximum(), 100);
        QCOMPARE(window_->ProgressBarPacked->value(), 100);
      }
    }
    QCOMPARE(window_->ProgressGaugeAlias->maximum(), 2);
    QCOMPARE(window_->ProgressGaugeAlias->value(), 2);
    QCOMPARE(window_->ComboBoxTable->currentText(), QStringLiteral("Suppliers"));  // the last stays selected
  }

  // Stop starts no new task: the one running is polled to its end, the
  // job's closing step runs and the status line says what was left.
  void stopEndsTheAliasJobAfterTheCurrentTask() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    window_->CheckBoxPack->setChecked(true);
    int rowsAtStop = -1;
    ClickDuringJob(window_->BitBtnReIndexAlias, [&] {
      if (FinishedRows() < 1 || !window_->Strip->BitBtnStop->isEnabled()) return false;
      rowsAtStop = FinishedRows();
      QTest::mouseClick(window_->Strip->BitBtnStop, Qt::LeftButton);
      return true;
    });
    QVERIFY(rowsAtStop >= 1);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    // At most the task that ran when Stop was pressed came after it.
    QVERIFY2(FinishedRows() <= rowsAtStop + 1, qPrintable(QString::number(FinishedRows())));
    QVERIFY(window_->ProgressGaugeAlias->value() < window_->ProgressGaugeAlias->maximum());
    const QString status = window_->Strip->LabelStatus->text();
    QVERIFY2(status.startsWith("Stopped after ") && status.contains("; left: "), qPrintable(status));
    // Every task the server ran is one the window saw to its end.
    QTRY_COMPARE_WITH_TIMEOUT(Finished("rebuild") + Finished("pack"), FinishedRows(), 30000);
    QVERIFY(window_->ComboBoxAlias->isEnabled());
    QVERIFY(window_->BitBtnReIndexAlias->isEnabled());
    QVERIFY(!window_->Strip->BitBtnStop->isEnabled());
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
  }

  // Closing during a job asks first; a second close request closes at once.
  void closingDuringAJobAsksThenClosesAtOnce() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    window_->CheckBoxPack->setChecked(true);
    bool asked = false;
    ClickDuringJob(window_->BitBtnReIndexAlias, [&] {
      if (FinishedRows() < 1) return false;
      QMessageBox* question = AskedToClose();
      if (question == nullptr) return false;
      asked = question->isVisible() && window_->isVisible();  // the first request only asked
      window_->close();
      return true;
    });
    QVERIFY(asked);
    QVERIFY(!window_->isVisible());
    QVERIFY(window_->ProgressGaugeAlias->value() < window_->ProgressGaugeAlias->maximum());
    QVERIFY(window_->findChild<QMessageBox*>("CloseQuestion") == nullptr ||
            !window_->findChild<QMessageBox*>("CloseQuestion")->isVisible());
  }

  // Answering yes stops after the current task, then the window closes.
  void closingDuringAJobAndAnsweringYesStopsThenCloses() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    window_->CheckBoxPack->setChecked(true);
    int rowsAtYes = -1;
    ClickDuringJob(window_->BitBtnReIndexAlias, [&] {
      if (FinishedRows() < 1) return false;
      QMessageBox* question = AskedToClose();
      if (question == nullptr) return false;
      rowsAtYes = FinishedRows();
      question->button(QMessageBox::Yes)->click();
      return true;
    });
    QVERIFY(rowsAtYes >= 1);
    QVERIFY(!window_->isVisible());
    QVERIFY(FinishedRows() <= rowsAtYes + 1);
    QVERIFY(window_->Strip->LabelStatus->text().startsWith("Stopped after "));
  }

  // During a job only the inputs are disabled: the bars stay readable.
  void barsStayEnabledDuringAJob() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    bool seen = false;
    QStringList wrong;
    ClickDuringJob(window_->BitBtnReIndexAlias, [&] {
      if (!window_->Strip->BitBtnStop->isEnabled()) return false;
      for (QProgressBar* bar : {window_->ProgressGaugeIndex, window_->ProgressBarPacked, window_->ProgressGaugeTable,
                                window_->ProgressGaugeAlias})
        if (!bar->isEnabled() || !bar->isTextVisible()) wrong << bar->objectName();
      for (QWidget* input : std::initializer_list<QWidget*>{
               window_->ComboBoxAlias, window_->ComboBoxTable, window_->ComboBoxIndex, window_->BitBtnReIndexIt,
               window_->BitBtnReIndexTable, window_->BitBtnReIndexAlias, window_->CheckBoxPack,
               window_->Strip->BitBtnReconnect, window_->Strip->BitBtnSaveReport, window_->Strip->CheckBoxKeepGoing})
        if (input->isEnabled()) wrong << input->objectName();
      if (!window_->isEnabled()) wrong << "FrmRIMain";
      seen = true;
      return true;
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(", ")));
    QVERIFY(seen);
    QVERIFY(window_->ComboBoxTable->isEnabled());
  }

  // After a table job with pack: "Done", one finished row per object, and
  // the report saved as qd-reindex writes it.
  void statusLineFinishedListAndReportAfterAPackJob() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    Pick(window_->ComboBoxTable, "Customers");
    const int indexes = window_->ComboBoxIndex->count();
    window_->CheckBoxPack->setChecked(true);
    QString working;
    ClickDuringJob(window_->BitBtnReIndexTable, [&] {
      working = window_->Strip->LabelStatus->text();
      return working.startsWith("Sales/Customers: rebuilding ");
    });
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QVERIFY2(working.contains(QRegularExpression(", index \\d+ of " + QString::number(indexes) + "$")),
             qPrintable(working));
    const QString status = window_->Strip->LabelStatus->text();
    QVERIFY2(status.startsWith(QString("Done: %1 objects in ").arg(indexes + 1)), qPrintable(status));
    QVERIFY2(window_->Strip->LabelTime->text().startsWith("Elapsed "), qPrintable(window_->Strip->LabelTime->text()));
    QCOMPARE(FinishedRows(), indexes + 1);
    QCOMPARE(window_->Strip->ListFinished->topLevelItem(0)->text(0), QStringLiteral("Sales/Customers pack"));
    for (int row = 0; row < FinishedRows(); ++row)
      QCOMPARE(window_->Strip->ListFinished->topLevelItem(row)->text(1), QStringLiteral("done"));
    // The list is collapsed until asked for; showing it makes the window taller.
    QVERIFY(!window_->Strip->ListFinished->isVisible());
    const int collapsed = window_->height();
    window_->Strip->ToolButtonFinished->click();
    QVERIFY(window_->Strip->ListFinished->isVisible());
    QVERIFY(window_->height() > collapsed);

    const std::string path = dir_->Path() + "/window-report.json";
    window_->AskReportPath = [&] { return QString::fromStdString(path); };
    QVERIFY(window_->Strip->BitBtnSaveReport->isEnabled());
    window_->Strip->BitBtnSaveReport->click();
    std::string error;
    std::optional<TqdRunReport> report = ReadReportFile(path, error);
    QVERIFY2(report.has_value(), error.c_str());
    QCOMPARE(report->Entries.size(), static_cast<size_t>(indexes + 1));
    QVERIFY(report->Entries[0].IsPack());
    QCOMPARE(report->Outcome, std::string("done"));
    QCOMPARE(report->Scope.Table, std::string("Customers"));
    QVERIFY(report->Scope.Pack);
    QVERIFY(!report->End.empty());
  }

  // Right-aligned labels grow to the left as far as their text needs, and
  // a caption's "&" marks a shortcut letter, never drawn.
  void everyLabelReadsWhole() {
    OpenWindow();
    for (QLabel* label : window_->findChildren<QLabel*>()) {
      if (label->text().isEmpty() || label->wordWrap()) continue;
      QString shown = label->text();
      if (shown.contains('&')) {
        QVERIFY2(label->buddy() != nullptr, qPrintable(label->objectName()));
        shown.remove('&');
      }
      const int needed = label->fontMetrics().horizontalAdvance(shown);
      QVERIFY2(needed <= label->width(), qPrintable(QString("%1: %2 > %3").arg(label->objectName()).arg(needed)
                                                        .arg(label->width())));
      QVERIFY2(label->geometry().left() >= 0, qPrintable(label->objectName()));
    }
    // The right edges stay where the form has them.
    QCOMPARE(window_->LabelAlias->geometry().right(), 50 + 22 - 1);
    QCOMPARE(window_->LabelTablePacked->geometry().right(), 6 + 66 - 1);
  }

  void theWindowOpensCentred() {
    OpenWindow();
    const QPoint screenCentre = window_->screen()->availableGeometry().center();
    const QPoint centre = window_->geometry().center();
    QVERIFY2((centre - screenCentre).manhattanLength() <= 40,
             qPrintable(QString("%1,%2 against %3,%4").arg(centre.x()).arg(centre.y()).arg(screenCentre.x())
                            .arg(screenCentre.y())));
  }

  // The same window over the emulated transports: the lists fill and a
  // table job with pack runs to its end.
  void aTableJobOverIPXSPXAndNetBIOS_data() {
    QTest::addColumn<QString>("protocol");
    QTest::newRow("IPX/SPX") << QStringLiteral("IPX/SPX");
    QTest::newRow("NetBIOS") << QStringLiteral("NetBIOS");
  }
  void aTableJobOverIPXSPXAndNetBIOS() {
    QFETCH(QString, protocol);
    server_.reset();
    const test::EmulatedTransportPorts ports;
    std::ofstream(dir_->Path() + "/test.conf") << "[Server]\nName = QDAPP\n" << ports.ServerLines(protocol.toStdString())
                                               << "Secure = 1\nDataDir = .\n[Users]\ndemo = demo\n"
                                               << "[Aliases]\nSales = sales\nStock = stock\n";
    server_ = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, dir_->Path() + "/test.conf",
                                                    dir_->Path() + "/single-user");
    QVERIFY(server_->TcpPort() != 0);
    std::ofstream(dir_->Path() + "/xdg/Brackwater/Quilldrive.conf")
        << "[Client Configuration]\n" << ports.ClientLines(protocol.toStdString(), "QDAPP");
    ConfigureNetBIOS(ports.NetBIOS);  // the client's side of the emulation, with the test's short name waits
    struct StopNetBIOS {
      ~StopNetBIOS() { ConfigureNetBIOS(TqdNetBIOSConfig{}); }
    } stop;

    OpenWindow();
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    Pick(window_->ComboBoxAlias, "Sales");
    Pick(window_->ComboBoxTable, "Customers");
    QVERIFY(window_->ComboBoxIndex->count() > 1);
    const int rebuildsBefore = Finished("rebuild");
    window_->CheckBoxPack->setChecked(true);
    QTest::mouseClick(window_->BitBtnReIndexTable, Qt::LeftButton);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QCOMPARE(window_->ProgressGaugeTable->value(), window_->ProgressGaugeTable->maximum());
    QTRY_COMPARE_WITH_TIMEOUT(Finished("pack"), 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(Finished("rebuild") - rebuildsBefore >= window_->ComboBoxIndex->count(), 30000);
    window_.reset();  // detaches while the emulation still runs
  }

  void aServerStoppedMidJobIsReportedAndTheWindowGoesOn() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    // Runs in the job's one pass over pending events, after it started.
    QTimer::singleShot(0, this, [this] { server_->Signal(SIGKILL); });
    QTest::mouseClick(window_->BitBtnReIndexAlias, Qt::LeftButton);
    QCOMPARE(boxes_.size(), 1);
    // An error box that names the object the job was on.
    QCOMPARE(kinds_[0], QStringLiteral("error"));
    QVERIFY2(boxes_[0].startsWith("Failed at Sales/Customers "), qPrintable(boxes_[0]));
    QVERIFY2(boxes_[0].contains("Quilldrive: "), qPrintable(boxes_[0]));
    QVERIFY2(!boxes_[0].contains("Quilldrive:  ["), qPrintable(boxes_[0]));
    QCOMPARE(window_->Strip->LabelStatus->text(), boxes_[0]);
    QVERIFY(window_->isEnabled());
    QVERIFY(window_->ComboBoxAlias->isEnabled());
    QVERIFY(window_->BitBtnReIndexAlias->isEnabled());
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
  }

  // The server hangs up on a client that leaves its keep-alive checks
  // unanswered for 2 s; the idle window answers them through Qt's loop.
  void anIdleWindowKeepsItsConnection() {
    server_.reset();
    StartServer(true);
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    Pick(window_->ComboBoxTable, "Customers");
    Pick(window_->ComboBoxIndex, window_->ComboBoxIndex->itemText(1));
    QTest::qWait(5000);  // idle: the time itself is what is tested
    QTest::mouseClick(window_->BitBtnReIndexIt, Qt::LeftButton);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QCOMPARE(window_->ProgressGaugeIndex->value(), 100);
    QCOMPARE(prompts_, 1);
  }
};

}  // namespace qd

QTEST_MAIN(qd::RebuildWindowTest)
#include "rebuild_window_test.moc"
