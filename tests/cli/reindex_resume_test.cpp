// Runs cut short against a qd-server with a larger alias: a run stopped by
// --time-limit whose report a second run resumes (each object done exactly
// once over both runs), a report made for other options refused, and
// Ctrl-C in the middle of a run (exit 130, the report written, the task
// that was running left to the server).
#include <signal.h>

#include "jobs/run_report.h"
#include "tests/cli/reindex_fixture.h"

namespace qd::test {
namespace {

class ReindexCutShortTest : public ReindexServerTest {
 protected:
  int Tables() const override { return 40; }  // 20 in Sales

  TqdRunReport Report(const std::string& path) {
    std::string error;
    std::optional<TqdRunReport> report = ReadReportFile(path, error);
    EXPECT_TRUE(report) << error;
    return report.value_or(TqdRunReport{});
  }
  static size_t Count(const TqdRunReport& report, const char* state) {
    return static_cast<size_t>(std::count_if(report.Entries.begin(), report.Entries.end(),
                                             [&](const TqdReportEntry& e) { return e.State == state; }));
  }
};

TEST_F(ReindexCutShortTest, ReportOfARunCutByTheTimeLimitIsResumed) {
  std::string first = Path("first.json"), second = Path("second.json");
  ReindexResult cut = Run(WithUser({"--pack", "--time-limit", "0.3", "--report", first, "Sales"}), Environment());
  TqdRunReport cutReport = Report(first);
  int tasksBefore = Started();
  size_t doneBefore = Count(cutReport, kEntryDone);
  // A busy machine may let no task finish within the limit, a fast one all.
  ASSERT_TRUE(cut.ExitCode == 3 || cut.ExitCode == 0) << cut.Err;
  EXPECT_EQ(cutReport.ExitCode, cut.ExitCode);
  EXPECT_EQ(cutReport.Outcome, cut.ExitCode == 3 ? "time limit" : "done");
  EXPECT_EQ(static_cast<int>(doneBefore), tasksBefore);
  EXPECT_FALSE(cutReport.End.empty());

  ReindexResult resumed = Run(WithUser({"--pack", "--resume", first, "--report", second, "Sales"}), Environment());
  EXPECT_EQ(resumed.ExitCode, 0) << resumed.Err;
  TqdRunReport whole = Report(second);
  // 20 tables: a pack and at least two rebuilds each, every one once.
  EXPECT_GE(whole.Entries.size(), 60u);
  EXPECT_EQ(Count(whole, kEntryDone), whole.Entries.size());
  EXPECT_EQ(Started(), static_cast<int>(whole.Entries.size()));
  EXPECT_EQ(std::count(resumed.Out.begin(), resumed.Out.end(), '\n'), static_cast<long>(whole.Entries.size()));
  for (size_t i = 0; i < doneBefore; ++i) EXPECT_EQ(ReportToJson({.Entries = {whole.Entries[i]}}),
                                                    ReportToJson({.Entries = {cutReport.Entries[i]}}));

  // Resuming the complete report sends nothing more.
  ReindexResult again = Run(WithUser({"--pack", "--resume", second, "Sales"}), Environment());
  EXPECT_EQ(again.ExitCode, 0) << again.Err;
  EXPECT_EQ(Started(), static_cast<int>(whole.Entries.size()));
}

TEST_F(ReindexCutShortTest, AReportOfOtherOptionsIsNotResumed) {
  std::string report = Path("table.json");
  ReindexResult table = Run(WithUser({"--report", report, "Sales", "Customers"}), Environment());
  ASSERT_EQ(table.ExitCode, 0) << table.Err;
  int tasks = Started();
  for (std::vector<std::string> other : {std::vector<std::string>{"Sales"},
                                         std::vector<std::string>{"--pack", "Sales", "Customers"},
                                         std::vector<std::string>{"Stock", "Customers"}}) {
    other.insert(other.begin(), {"--resume", report});
    ReindexResult r = Run(WithUser(other), Environment());
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_NE(r.Err.find("is the report of \"Sales Customers\""), std::string::npos) << r.Err;
  }
  std::ofstream(Path("garbage.json")) << "{\"entries\": ";
  ReindexResult garbage = Run(WithUser({"--resume", Path("garbage.json"), "Sales"}), Environment());
  EXPECT_EQ(garbage.ExitCode, 2);
  EXPECT_NE(garbage.Err.find("not a qd-reindex report"), std::string::npos) << garbage.Err;
  EXPECT_EQ(Started(), tasks);
}

// A resumed run that writes over the report it resumes keeps what that
// report had done, also when it ends before any task (here: refused).
TEST_F(ReindexCutShortTest, ResumingIntoTheSameReportLosesNothingWhenItEndsEarly) {
  std::string report = Path("same.json");
  ReindexResult first = Run(WithUser({"--report", report, "Sales", "Customers"}), Environment());
  ASSERT_EQ(first.ExitCode, 0) << first.Err;
  size_t done = Report(report).Entries.size();
  ASSERT_GT(done, 1u);
  ReindexResult refused =
      Run(WithUser({"--resume", report, "--report", report, "Sales", "Customers"}), Environment("wrong"));
  EXPECT_EQ(refused.ExitCode, 4);
  TqdRunReport after = Report(report);
  EXPECT_EQ(after.ExitCode, 4);
  EXPECT_EQ(Count(after, kEntryDone), done);
}

TEST_F(ReindexCutShortTest, CtrlCLeavesTheTaskToTheServerAndWritesTheReport) {
  std::string report = Path("interrupted.json");
  ReindexProcess process(WithUser({"--pack", "--report", report, "Sales"}), Environment());
  ReindexResult r = Draining([&] {
    // After the first object, in the middle of the run.
    EXPECT_TRUE(process.ReadUntil(": done ", 120));
    process.Signal(SIGINT);
    return process.Wait(120);
  });
  EXPECT_EQ(r.ExitCode, 130) << r.Err;
  EXPECT_NE(r.Err.find("interrupted"), std::string::npos) << r.Err;
  TqdRunReport written = Report(report);
  EXPECT_EQ(written.ExitCode, 130);
  EXPECT_EQ(written.Outcome, "interrupted");
  EXPECT_FALSE(written.End.empty());
  ASSERT_FALSE(written.Entries.empty());
  EXPECT_LT(written.Entries.size(), 60u);
  // Every entry but an interrupted last one is done; an interrupted one
  // names the task left running.
  for (size_t i = 0; i + 1 < written.Entries.size(); ++i) EXPECT_EQ(written.Entries[i].State, kEntryDone);
  const TqdReportEntry& last = written.Entries.back();
  if (last.State == kEntryInterrupted) {
    EXPECT_GT(last.Task, 0);
    EXPECT_NE(last.Message.find("left to finish on the server"), std::string::npos);
  } else {
    EXPECT_EQ(last.State, kEntryDone);
  }
}

}  // namespace
}  // namespace qd::test
