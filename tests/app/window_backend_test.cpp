// The rebuild window against a backend in the test, for what no real
// server shows on demand: a server that answers every poll at once (polls
// are paced to at most a hundred a second) and a table without indexes
// (its bar shows empty, not Qt's busy animation).
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <chrono>

#include "app/RIMain.h"
#include "tests/app/pick.h"
#include "app/run_strip.h"
#include "platform/hooks.h"

namespace qd {

using test::Pick;
namespace {

using Clock = std::chrono::steady_clock;

// One alias "A" with "Indexed" (one index) and "Bare" (none). A task runs
// until `RunFor` has passed since its first poll, answered at once.
class TqdInstantBackend : public TqdRebuildBackend {
 public:
  std::vector<std::string> ListAliasNames() override { return {"A"}; }
  void CloseAlias() override {}
  std::vector<std::string> OpenAlias(const std::string&) override { return {"Indexed", "Bare"}; }
  std::vector<TqdIndexEntry> SelectTable(const std::string& table) override {
    if (table == "Bare") return {};
    return {{"Seq", 0}};
  }
  int32_t RebuildIndex(const std::string&, int32_t) override { return Start(); }
  int32_t PackTable(const std::string&) override { return Start(); }
  TqdTaskProgress TaskStatus(int32_t) override {
    Clock::time_point now = Clock::now();
    if (Polls.empty()) first_ = now;
    Polls.push_back(now);
    return {now - first_ >= RunFor, 50};
  }
  void Reconnect() override {}

  std::chrono::milliseconds RunFor{300};
  std::vector<Clock::time_point> Polls;

 private:
  int32_t Start() {
    Polls.clear();
    return 7;
  }
  Clock::time_point first_;
};

}  // namespace

class WindowBackendTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { SetErrorBoxHook([](std::string_view, std::string_view text) { QFAIL(std::string(text).c_str()); }); }
  void cleanup() { SetErrorBoxHook({}); }

  void pollsOfAServerThatAnswersAtOnceArePaced() {
    TqdInstantBackend backend;
    TFrmRIMain window(backend);
    Pick(window.ComboBoxAlias, "A");
    Pick(window.ComboBoxTable, "Indexed");
    QTest::mouseClick(window.BitBtnReIndexTable, Qt::LeftButton);
    QVERIFY(backend.Polls.size() >= 2);
    // Each poll went out at least 10 ms after the one before: at most a
    // hundred a second, however fast the answers.
    for (size_t i = 1; i < backend.Polls.size(); ++i)
      QVERIFY2(backend.Polls[i] - backend.Polls[i - 1] >= std::chrono::milliseconds(10),
               qPrintable(QString("poll %1 came %2 us after the one before")
                              .arg(i)
                              .arg(std::chrono::duration_cast<std::chrono::microseconds>(backend.Polls[i] -
                                                                                         backend.Polls[i - 1])
                                       .count())));
    QVERIFY(backend.Polls.size() <= 32);
    QCOMPARE(window.ProgressGaugeIndex->value(), 100);
  }

  void aBarWithNothingToCountShowsEmpty() {
    TqdInstantBackend backend;
    backend.RunFor = std::chrono::milliseconds(0);
    TFrmRIMain window(backend);
    Pick(window.ComboBoxAlias, "A");
    Pick(window.ComboBoxTable, "Bare");
    QTest::mouseClick(window.BitBtnReIndexAlias, Qt::LeftButton);
    // The last table, "Bare", has no indexes: its bar counts nothing.
    QCOMPARE(window.ComboBoxTable->currentText(), QStringLiteral("Bare"));
    QVERIFY(window.ProgressGaugeTable->maximum() > window.ProgressGaugeTable->minimum());
    QCOMPARE(window.ProgressGaugeTable->value(), window.ProgressGaugeTable->minimum());
    QCOMPARE(window.ProgressGaugeAlias->value(), window.ProgressGaugeAlias->maximum());
    QVERIFY2(window.Strip->LabelStatus->text().startsWith("Done: 1 object in "),
             qPrintable(window.Strip->LabelStatus->text()));
  }
};

}  // namespace qd

QTEST_MAIN(qd::WindowBackendTest)
#include "window_backend_test.moc"
