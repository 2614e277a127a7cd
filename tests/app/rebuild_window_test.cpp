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
#include <QtTest>
#include <csignal>
#include <fstream>
#include <memory>

#include "app/RIMain.h"
#include "app/queue_driver.h"
#include "callif/QDCLSess.h"
#include "callif/dialog_hooks.h"
#include "components/QDDB.h"
#include "dialogs/dialog_hooks_qt.h"
#include "jobs/component_backend.h"
#include "platform/hooks.h"
#include "server/demo_data.h"
#include "platform/netbios/netbios.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"
#include "tests/support/emulated_transports.h"
#include "tests/support/free_port.h"

namespace qd {

class RebuildWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<TqdQtQueueDriver> driver_;
  std::unique_ptr<TqdComponentBackend> backend_;
  std::unique_ptr<TFrmRIMain> window_;
  QStringList boxes_;
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
  // As the user picks an item of a list.
  static void Pick(QComboBox* list, const QString& text) {
    int index = list->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    list->setCurrentIndex(index);
    emit list->activated(index);
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
    SetMessageBoxHook([this](std::string_view, std::string_view text) {
      boxes_ << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    });
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
      // The packed bar keeps the last percentage a status reported before
      // the one that said finished: it is not moved to its end.
      if (job.pack) QCOMPARE(window_->ProgressBarPacked->maximum(), 100);
    }
    QCOMPARE(window_->ProgressGaugeAlias->maximum(), 2);
    QCOMPARE(window_->ProgressGaugeAlias->value(), 2);
    QCOMPARE(window_->ComboBoxTable->currentText(), QStringLiteral("Suppliers"));  // the last stays selected
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
    QVERIFY2(boxes_[0].startsWith("Quilldrive: "), qPrintable(boxes_[0]));
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
