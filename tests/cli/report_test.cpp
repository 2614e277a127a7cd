// The JSON report: every fact survives a write and a read; the file is
// replaced whole (no temporary left, the old report kept when the new one
// cannot be written); a file that is no report is refused with a reason.
#include "tests/cli/case_name.h"

#include <filesystem>
#include <fstream>
#include <ostream>

#include "jobs/run_report.h"
#include "tests/server/temp_dir.h"

namespace qd {
namespace {

TqdRunReport Sample() {
  TqdRunReport r;
  r.Scope = {"Sales", "Customers", "", true};
  r.KeepGoing = true;
  r.TimeLimitSeconds = 90;
  r.Arguments = {"--pack", "Sales", "Customers", "naïve \"quoted\""};
  r.Server = "QDSERVER@127.0.0.1";
  r.Start = "2026-12-10T07:35:00.000Z";
  r.End = "2026-12-10T07:35:02.500Z";
  r.Outcome = "failed";
  r.ExitCode = 1;
  r.Message = "Quilldrive: Table is busy. [$2AF3/10995]";
  TqdReportEntry pack{"Sales", "Customers", std::nullopt, "pack", 7, r.Start, r.End, 0.25, 0, "", kEntryDone};
  TqdReportEntry index{"Sales", "Customers", 2, "ByCityName", 8, r.Start, r.End, 1.5, 10995, r.Message,
                       kEntryFailed};
  r.Entries = {pack, index};
  return r;
}

std::string Json(const TqdRunReport& r) { return ReportToJson(r); }

TEST(RunReport, SurvivesAWriteAndARead) {
  test::TempDir dir;
  std::string path = dir.Path() + "/report.json";
  std::string error;
  ASSERT_TRUE(WriteReportFile(path, Sample(), error)) << error;
  std::optional<TqdRunReport> back = ReadReportFile(path, error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(Json(*back), Json(Sample()));
  EXPECT_TRUE(back->Entries[0].IsPack());
  EXPECT_EQ(back->Entries[1].IndexNumber, 2);
  EXPECT_EQ(back->TimeLimitSeconds, 90);
}

TEST(RunReport, ReplacesTheFileWholeAndLeavesNoTemporary) {
  test::TempDir dir;
  std::string path = dir.Path() + "/report.json";
  std::string error;
  TqdRunReport r = Sample();
  for (int i = 0; i < 3; ++i) {
    r.Entries.push_back(r.Entries[0]);
    ASSERT_TRUE(WriteReportFile(path, r, error)) << error;
  }
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    ++files;
    EXPECT_EQ(entry.path().filename(), "report.json");
  }
  EXPECT_EQ(files, 1u);
  EXPECT_EQ(ReadReportFile(path, error)->Entries.size(), 5u);
}

TEST(RunReport, KeepsTheOldReportWhenTheNewOneCannotBeWritten) {
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteReportFile(dir.Path() + "/missing/report.json", Sample(), error));
  EXPECT_NE(error.find("missing/report.json"), std::string::npos) << error;
  // A directory in the way of the rename: the write fails, nothing is left.
  std::filesystem::create_directory(dir.Path() + "/taken");
  std::ofstream(dir.Path() + "/taken/x") << "x";
  EXPECT_FALSE(WriteReportFile(dir.Path() + "/taken", Sample(), error));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path() + "/taken"));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);
}

struct BadCase {
  const char* Name;
  std::string Text;
  friend void PrintTo(const BadCase& c, std::ostream* os) { *os << c.Name; }
};

class RunReportRefuses : public ::testing::TestWithParam<BadCase> {};

TEST_P(RunReportRefuses, TextThatIsNoReport) {
  std::string error;
  EXPECT_FALSE(ReportFromJson(GetParam().Text, error));
  EXPECT_NE(error.find("not a qd-reindex report"), std::string::npos) << error;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, RunReportRefuses,
    ::testing::Values(BadCase{"Empty", ""}, BadCase{"Truncated", Json(Sample()).substr(0, 200)},
                      BadCase{"NotAnObject", "[1, 2, 3]"},
                      BadCase{"NoEntries", Replaced(Json(Sample()), "\"entries\"", "\"entrees\"")},
                      BadCase{"PackNotBoolean", Replaced(Json(Sample()), "\"pack\": true", "\"pack\": \"yes\"")},
                      BadCase{"TaskTooLarge", Replaced(Json(Sample()), "\"task\": 7", "\"task\": 1e40")},
                      BadCase{"TaskBeyondInt32", Replaced(Json(Sample()), "\"task\": 7", "\"task\": 4294967303")},
                      BadCase{"ResultNegativeHuge", Replaced(Json(Sample()), "\"result\": 0", "\"result\": -9999999999")},
                      BadCase{"EntryNotAnObject", Replaced(Json(Sample()), "\"entries\": [", "\"entries\": [3, ")}),
    test::CaseName());

TEST(RunReport, RefusesAFileTooLargeToBeOne) {
  test::TempDir dir;
  std::string path = dir.Path() + "/huge.json";
  std::ofstream(path) << "{";
  std::filesystem::resize_file(path, kMaxReportBytes + 1);
  std::string error;
  EXPECT_FALSE(ReadReportFile(path, error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
}  // namespace qd
