// The rebuild window against a qd-server process that stops and starts
// again, refuses a login or has a rival on the network: the next pick
// reaches the restarted server (over TCP/IP and over the single-user
// transport) with the login it had, Reconnect connects afresh, a task's
// poll on a lost connection fails instead of connecting, start-up logs in
// once, a refused or cancelled login says why and leaves a way to log in,
// and the server chosen among two is asked for once until Reconnect.
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <csignal>
#include <fstream>
#include <memory>

#include "app/RIMain.h"
#include "tests/app/pick.h"
#include "app/queue_driver.h"
#include "base/QDLLExcp.h"
#include "callif/QDCLSess.h"
#include "callif/dialog_hooks.h"
#include "components/QDDB.h"
#include "dialogs/dialog_hooks_qt.h"
#include "jobs/component_backend.h"
#include "platform/hooks.h"
#include "server/demo_data.h"
#include "tests/server/server_process.h"
#include "tests/server/temp_dir.h"
#include "tests/support/discovery_answerer.h"
#include "tests/support/free_port.h"

namespace qd {

using test::Pick;

namespace {

const QString kTcp = QStringLiteral("TCP/IP");
const QString kSingleUser = QStringLiteral("Single User");
const char* const kRefused = "Unknown user name or password.";

// What a login prompt showed: the message, the user name and the password.
struct Prompt {
  std::string Message;
  std::string User;
  std::string Password;
};

}  // namespace

class ReconnectWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<TqdQtQueueDriver> driver_;
  std::unique_ptr<TqdComponentBackend> backend_;
  std::unique_ptr<TFrmRIMain> window_;
  QStringList boxes_;
  std::vector<Prompt> prompts_;
  QString transport_ = kTcp;
  uint16_t port_ = 0;                // the TCP port, kept across restarts
  uint16_t clientDiscoveryPort_ = 0;

  std::string SocketPath() const { return dir_->Path() + "/single-user"; }

  // Starts the server on the port it had before (any port the first time)
  // and the same single-user path, over the test's transport.
  void StartServer() {
    std::ofstream(dir_->Path() + "/test.conf")
        << "[Server]\nName = QDAPP\nTransports = " << transport_.toStdString() << "\nPort = " << port_
        << "\nClientDiscoveryPort = " << clientDiscoveryPort_ << "\nSecure = 1\nDataDir = .\n"
        << "[Users]\ndemo = demo\n[Aliases]\nSales = sales\nStock = stock\n";
    server_ = std::make_unique<test::ServerProcess>(QD_SERVER_PATH, dir_->Path() + "/test.conf", SocketPath());
    QVERIFY2(server_->Output().find("serving") != std::string::npos, server_->Output().c_str());
    if (transport_ == kTcp) {
      QVERIFY2(port_ == 0 || server_->TcpPort() == port_, server_->Output().c_str());
      port_ = server_->TcpPort();
    }
  }
  void RestartServer() {
    server_->Signal(SIGKILL);
    StartServer();
  }
  // The client's settings: the server named, or (`discover`) searched for
  // on the loopback network.
  void WriteClientSettings(bool discover = false) {
    std::filesystem::create_directories(dir_->Path() + "/xdg/Brackwater");
    std::ofstream settings(dir_->Path() + "/xdg/Brackwater/Quilldrive.conf");
    settings << "[Client Configuration]\nProtocol = " << transport_.toStdString() << "\n";
    if (transport_ == kTcp) {
      settings << "ServerName = " << (discover ? "" : "QDAPP@127.0.0.1") << "\nServerPort = " << port_
               << "\nClientDiscoveryPort = " << clientDiscoveryPort_ << "\nDiscoveryAddress = 127.255.255.255\n";
    }
    qputenv("XDG_CONFIG_DIRS", QByteArray::fromStdString(dir_->Path() + "/xdg"));
    qputenv("QUILLDRIVE_SINGLE_USER_SOCKET", QByteArray::fromStdString(SocketPath()));
  }
  // The login dialog answers with these passwords in turn (then the last),
  // as user "demo"; `confirm` false cancels every prompt.
  void AnswerLogins(std::vector<std::string> passwords, bool confirm = true) {
    SetLoginDialogHook([this, passwords, confirm](const std::string&, const std::string& message, TqdNetName& user,
                                                  TqdNetName& password) {
      prompts_.push_back({message, user.Str(), password.Str()});
      user.Assign("demo");
      password.Assign(passwords[std::min(prompts_.size(), passwords.size()) - 1]);
      return confirm;
    });
  }
  void OpenWindow() {
    backend_ = std::make_unique<TqdComponentBackend>();
    window_ = std::make_unique<TFrmRIMain>(*backend_);
    window_->show();
  }
  // The lines of the server's output (since it started) that hold `marker`.
  int ServerLines(const std::string& marker) {
    server_->ReadAvailable();
    int count = 0;
    const std::string& out = server_->Output();
    for (size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) ++count;
    return count;
  }
  int Logins() { return ServerLines("logged in: "); }
  // Alias Sales, table Customers and its first named index, as the user
  // picks them; every list filled.
  void PickSalesCustomers() {
    Pick(window_->ComboBoxAlias, "Sales");
    QCOMPARE(window_->ComboBoxTable->count(), 2);
    Pick(window_->ComboBoxTable, "Customers");
    QVERIFY(window_->ComboBoxIndex->count() > 1);
    Pick(window_->ComboBoxIndex, window_->ComboBoxIndex->itemText(1));
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<test::TempDir>();
    std::string error;
    QVERIFY2(MakeDemoData(dir_->Path(), 4, 100, error), error.c_str());
    transport_ = kTcp;
    port_ = 0;
    clientDiscoveryPort_ = test::FreeLoopbackPort(SOCK_DGRAM);
    StartServer();
    WriteClientSettings();
    InitializeComponentLayer();
    InstallDialogHooks();
    ForgetAcceptedCredentials();
    boxes_.clear();
    prompts_.clear();
    auto capture = [this](std::string_view, std::string_view text) {
      boxes_ << QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    };
    SetMessageBoxHook(capture);
    SetErrorBoxHook(capture);
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
    qunsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
  }

  // The server stops and starts again on the same port (or single-user
  // path) with the same data: the next pick reaches it, with the login the
  // session had, and a job runs to its end, all in the same window.
  void aRestartedServerIsReachedByTheNextPick_data() {
    QTest::addColumn<QString>("transport");
    QTest::newRow("TCP/IP") << kTcp;
    QTest::newRow("Single User") << kSingleUser;
  }
  void aRestartedServerIsReachedByTheNextPick() {
    QFETCH(QString, transport);
    if (transport != transport_) {
      transport_ = transport;
      server_.reset();
      StartServer();
      WriteClientSettings();
    }
    OpenWindow();
    PickSalesCustomers();
    const size_t promptsBefore = prompts_.size();

    RestartServer();
    PickSalesCustomers();
    QCOMPARE(Logins(), 1);
    QCOMPARE(prompts_.size(), promptsBefore);
    QTest::mouseClick(window_->BitBtnReIndexIt, Qt::LeftButton);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QCOMPARE(window_->ProgressGaugeIndex->value(), 100);

    // A lost connection is re-made by a table pick and by a job as well.
    RestartServer();
    Pick(window_->ComboBoxTable, "Suppliers");
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QVERIFY(window_->ComboBoxIndex->count() > 1);
    RestartServer();
    QTest::mouseClick(window_->BitBtnReIndexTable, Qt::LeftButton);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QCOMPARE(window_->ProgressGaugeTable->value(), window_->ProgressGaugeTable->maximum());
    QCOMPARE(prompts_.size(), promptsBefore);
  }

  // Reconnect connects and logs in afresh after a lost connection; while
  // the server is still away it says so, and tries again when asked again.
  void reconnectAfterALostConnectionListsTheAliases() {
    OpenWindow();
    Pick(window_->ComboBoxAlias, "Sales");
    server_->Signal(SIGKILL);
    bool failed = false;
    try {
      backend_->Reconnect();
    } catch (const EqdDatabaseError& e) {
      failed = true;
      QVERIFY2(QString(e.what()).startsWith("Quilldrive: "), e.what());
    }
    QVERIFY(failed);
    StartServer();
    backend_->Reconnect();
    QCOMPARE(Logins(), 1);
    QCOMPARE(backend_->ListAliasNames(), (std::vector<std::string>{"Sales", "Stock"}));
    QCOMPARE(Logins(), 1);  // the list came over the connection Reconnect made
    QCOMPARE(backend_->OpenAlias("Stock").size(), size_t{2});
    QCOMPARE(prompts_.size(), size_t{1});
  }

  // A task lives on the connection that started it: its poll fails once
  // that connection is lost, and connects nowhere; the next pick does.
  void aTaskPollOnALostConnectionFailsWithoutConnecting() {
    OpenWindow();
    PickSalesCustomers();
    int32_t task = backend_->RebuildIndex("Customers", 1);
    RestartServer();
    bool failed = false;
    try {
      backend_->TaskStatus(task);
    } catch (const EqdDatabaseError& e) {
      failed = e.ErrorCode != 0;
    }
    QVERIFY(failed);
    QCOMPARE(Logins(), 0);
    QVERIFY(backend_->SelectTable("Customers").size() > 1);
    QCOMPARE(Logins(), 1);
  }

  // The window's creation connects and logs in once: the secure server
  // refuses the first try with nothing filled in and takes the prompt's.
  void startUpLogsInOnce() {
    OpenWindow();
    QCOMPARE(window_->ComboBoxAlias->count(), 2);
    QCOMPARE(Logins(), 1);
    QCOMPARE(ServerLines("login failed: "), 1);
    QCOMPARE(prompts_.size(), size_t{1});
    // The first pick goes on to the same server without asking again.
    Pick(window_->ComboBoxAlias, "Sales");
    QCOMPARE(prompts_.size(), size_t{1});
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
  }

  // A refused login is said to be so, with the user name kept and the
  // password to be typed again.
  void aRefusedLoginSaysSoAndKeepsTheUserName() {
    AnswerLogins({"wrong", "demo"});
    OpenWindow();
    QCOMPARE(window_->ComboBoxAlias->count(), 2);
    QCOMPARE(prompts_.size(), size_t{2});
    QCOMPARE(prompts_[0].Message, std::string());
    QCOMPARE(prompts_[1].Message, std::string(kRefused));
    QCOMPARE(prompts_[1].User, std::string("demo"));
    QCOMPARE(prompts_[1].Password, std::string());
  }

  // A cancelled or refused login at start-up names its cause and code; a
  // later Reconnect, or the next list, logs in.
  void aFailedLoginIsReportedWithItsCauseAndALaterTryLogsIn_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("cancelled") << true;
    QTest::newRow("refused to the end") << false;
  }
  void aFailedLoginIsReportedWithItsCauseAndALaterTryLogsIn() {
    QFETCH(bool, cancel);
    AnswerLogins({"wrong"}, !cancel);
    OpenWindow();
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0], QStringLiteral("Quilldrive: <unnamed TqdSession instance>: Could not open session "
                                       "[[automatic]] (usually indicates no server could be detected): Unknown "
                                       "user name or password. [$2734/10036]"));
    QVERIFY(!window_->ComboBoxAlias->isEnabled());

    AnswerLogins({"demo"});
    backend_->Reconnect();
    QCOMPARE(backend_->ListAliasNames().size(), size_t{2});
    QCOMPARE(backend_->OpenAlias("Sales").size(), size_t{2});
    QCOMPARE(Logins(), 1);
  }

  // Two servers answer the search and none is configured: the choice is
  // asked for once at start-up, the lists and the job come from the server
  // chosen, and Reconnect asks again.
  void theServerChoiceIsAskedOnceUntilReconnect() {
    test::DiscoveryAnswerer rival(port_, clientDiscoveryPort_);
    QVERIFY(rival.Bound());
    WriteClientSettings(true);
    std::vector<std::vector<std::string>> offered;
    SetServerDialogHook([&](const std::vector<std::string>& names, std::string& chosen) {
      offered.push_back(names);
      chosen = "QDAPP@127.0.0.1";
      return true;
    });
    OpenWindow();
    QCOMPARE(offered.size(), size_t{1});
    QCOMPARE(offered[0], (std::vector<std::string>{"ANOTHER@127.0.0.1", "QDAPP@127.0.0.1"}));
    PickSalesCustomers();
    QTest::mouseClick(window_->BitBtnReIndexIt, Qt::LeftButton);
    QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.join('\n')));
    QCOMPARE(window_->ProgressGaugeIndex->value(), 100);
    QCOMPARE(offered.size(), size_t{1});
    // A lost connection goes back to the server chosen without asking.
    RestartServer();
    PickSalesCustomers();
    QCOMPARE(offered.size(), size_t{1});
    backend_->Reconnect();
    QCOMPARE(offered.size(), size_t{2});
  }
};

}  // namespace qd

QTEST_MAIN(qd::ReconnectWindowTest)
#include "reconnect_window_test.moc"
