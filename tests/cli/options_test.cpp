// The command line: what each accepted form asks for, and the forms that
// end before any run (help, version, usage errors with exit code 2).
#include "tests/cli/case_name.h"

#include <ostream>

#include "cli/options.h"

namespace qd {
namespace {

TEST(ReindexOptions, ReadsEveryOption) {
  auto parsed = ParseReindexOptions({"--pack", "--keep-going", "--quiet", "--user", "demo", "--server",
                                     "QD@127.0.0.1", "--report", "r.json", "--resume", "old.json",
                                     "--time-limit", "2.5", "Sales", "Customers"});
  ASSERT_TRUE(std::holds_alternative<TqdReindexOptions>(parsed));
  const auto& o = std::get<TqdReindexOptions>(parsed);
  EXPECT_EQ(o.Alias, "Sales");
  EXPECT_EQ(o.Table, "Customers");
  EXPECT_EQ(o.Index, "");
  EXPECT_TRUE(o.Pack && o.KeepGoing && o.Quiet);
  EXPECT_FALSE(o.List || o.Plan);
  EXPECT_EQ(o.User, "demo");
  EXPECT_EQ(o.Server, "QD@127.0.0.1");
  EXPECT_EQ(o.ReportPath, "r.json");
  EXPECT_EQ(o.ResumePath, "old.json");
  EXPECT_EQ(o.TimeLimitSeconds, 2.5);
  EXPECT_EQ(o.Arguments.size(), 15u);
}

TEST(ReindexOptions, IndexByNameOrNumberAndListWithoutAlias) {
  auto one = ParseReindexOptions({"Sales", "Customers", "2"});
  ASSERT_TRUE(std::holds_alternative<TqdReindexOptions>(one));
  EXPECT_EQ(std::get<TqdReindexOptions>(one).Index, "2");
  auto list = ParseReindexOptions({"--list"});
  ASSERT_TRUE(std::holds_alternative<TqdReindexOptions>(list));
  EXPECT_TRUE(std::get<TqdReindexOptions>(list).Alias.empty());
}

struct EarlyCase {
  const char* Name;
  std::vector<std::string> Arguments;
  int ExitCode;
  const char* Says;
  friend void PrintTo(const EarlyCase& c, std::ostream* os) { *os << c.Name; }
};

class ReindexEarlyExit : public ::testing::TestWithParam<EarlyCase> {};

TEST_P(ReindexEarlyExit, EndsWithTheCodeAndSaysWhy) {
  auto parsed = ParseReindexOptions(GetParam().Arguments);
  ASSERT_TRUE(std::holds_alternative<TqdEarlyExit>(parsed));
  const auto& early = std::get<TqdEarlyExit>(parsed);
  EXPECT_EQ(early.ExitCode, GetParam().ExitCode);
  EXPECT_NE(early.Text.find(GetParam().Says), std::string::npos) << early.Text;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, ReindexEarlyExit,
    ::testing::Values(EarlyCase{"Help", {"--help"}, 0, "130  interrupted by Ctrl-C"},
                      EarlyCase{"HelpListsTimeLimitExit", {"--help"}, 0, "3    time limit reached with work left"},
                      EarlyCase{"Version", {"--version"}, 0, "qd-reindex 1.0"},
                      EarlyCase{"NoAlias", {}, 2, "ALIAS is required"},
                      EarlyCase{"UnknownOption", {"--fast", "Sales"}, 2, "--fast"},
                      EarlyCase{"TooManyNames", {"Sales", "Customers", "ByName", "more"}, 2, "more"},
                      EarlyCase{"TimeLimitNotANumber", {"--time-limit", "soon", "Sales"}, 2, "time-limit"},
                      EarlyCase{"TimeLimitNotPositive", {"--time-limit", "0", "Sales"}, 2, "time-limit"},
                      EarlyCase{"UserWithoutName", {"Sales", "--user"}, 2, "user"},
                      EarlyCase{"ListAndPlan", {"--list", "--plan", "Sales"}, 2, "exclude"},
                      EarlyCase{"ListOfAnIndex", {"--list", "Sales", "Customers", "ByName"}, 2, "--list"},
                      EarlyCase{"PackOfOneIndex", {"--pack", "Sales", "Customers", "ByName"}, 2, "--pack"}),
    test::CaseName());

}  // namespace
}  // namespace qd
