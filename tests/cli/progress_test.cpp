// What a run shows and computes on the side: the bar lines and their
// redraw rate on a terminal, one line per object otherwise, the share done
// and the time left, the plan's text, and finding the names the command
// line gives.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/names.h"
#include "cli/plan.h"
#include "cli/progress_display.h"
#include "jobs/run_estimate.h"

namespace qd {
namespace {

using namespace std::chrono_literals;
using B = TqdRebuildBar;

TqdBarState Bar(int32_t position, int32_t max) { return TqdBarState{0, max, position, 1}; }

TqdBars Bars(TqdBarState index, TqdBarState packed, TqdBarState table, TqdBarState alias) {
  return {index, packed, table, alias};
}

TEST(ProgressText, BarLinesCarryTheirPercentage) {
  EXPECT_EQ(BarLine("Index done", Bar(35, 100)), "Index done    [##########....................]  35%");
  EXPECT_EQ(BarLine("Table done", Bar(3, 3)), "Table done    [##############################] 100%");
  EXPECT_EQ(BarLine("Alias done", Bar(0, 0)), "Alias done    [..............................]   0%");
  EXPECT_EQ(TimeLine(75, 3725), "Elapsed 1:15  left 1:02:05");
  EXPECT_EQ(TimeLine(0.2, std::nullopt), "Elapsed 0:00  left ?");
}

struct FakeClock {
  std::chrono::steady_clock::time_point now{};
  TqdProgressDisplay::Clock Function() {
    return [this] { return now; };
  }
};

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ProgressDisplay, TerminalRedrawsInPlaceAtMostTenTimesASecond) {
  std::ostringstream out;
  FakeClock clock;
  TqdProgressDisplay display(out, TqdProgressMode::Terminal, clock.Function());
  TqdBars bars = Bars(Bar(10, 100), Bar(0, 100), Bar(0, 3), Bar(0, 2));
  for (int i = 0; i < 50; ++i) {  // 50 changes in half a second
    bars[0].Position = i;
    display.ShowBars(bars, 0.1);
    clock.now += 10ms;
  }
  EXPECT_EQ(Count(out.str(), "Index done"), 5u);
  EXPECT_EQ(Count(out.str(), "\x1b[5F"), 4u);  // back over the five lines each time
  display.ObjectLine("Sales/Customers pack: done 0.250 s");
  display.Finish();
  std::string text = out.str();
  EXPECT_NE(text.find("Sales/Customers pack: done 0.250 s\n"), std::string::npos);
  EXPECT_NE(text.find("Table packed  ["), std::string::npos);
  EXPECT_NE(text.find("Elapsed 0:01  left 0:05"), std::string::npos);  // 0.5 s for 10 %: 4.5 s left
  EXPECT_EQ(text.substr(text.size() - 4), "\x1b[K\n");
}

TEST(ProgressDisplay, WithoutATerminalOnlyObjectLinesAndQuietNothing) {
  for (TqdProgressMode mode : {TqdProgressMode::Lines, TqdProgressMode::Quiet}) {
    std::ostringstream out;
    TqdProgressDisplay display(out, mode);
    display.ShowBars(Bars(Bar(50, 100), Bar(0, 100), Bar(1, 3), Bar(0, 2)), 0.5, true);
    display.ObjectLine("Sales/Customers index 1 ByName: done 0.100 s");
    display.Finish();
    EXPECT_EQ(out.str(), mode == TqdProgressMode::Lines ? "Sales/Customers index 1 ByName: done 0.100 s\n" : "");
  }
}

struct FractionCase {
  const char* Name;
  TqdRunScope Scope;
  TqdBars Bars;
  int Table;
  bool Packing;
  double Expected;
};

TEST(RunEstimate, ShareDoneWeighsTablesByTheirRecords) {
  const FractionCase cases[] = {
      {"IndexHalfWay", TqdRunScope::Index, Bars(Bar(50, 100), {}, {}, {}), 0, false, 0.5},
      {"TableSecondOfFour", TqdRunScope::Table, Bars(Bar(50, 100), {}, Bar(1, 4), {}), 0, false, 0.375},
      {"TablePacking", TqdRunScope::Table, Bars(Bar(100, 100), Bar(50, 100), Bar(0, 4), {}), 0, true, 0.125},
      // 100 + 300 + 600 records: the first done, the second half done.
      {"AliasSecondTable", TqdRunScope::Alias, Bars(Bar(0, 100), {}, Bar(1, 2), Bar(1, 3)), 1, false, 0.25},
      {"AliasLastTableDone", TqdRunScope::Alias, Bars(Bar(100, 100), {}, Bar(2, 2), Bar(2, 3)), 2, false, 1.0},
      {"AliasNotStarted", TqdRunScope::Alias, Bars({}, {}, {}, {}), -1, false, 0.0},
  };
  for (const FractionCase& c : cases) {
    TqdRunShape shape{c.Scope, {100, 300, 600}};
    EXPECT_DOUBLE_EQ(RunFraction(shape, c.Bars, c.Table, c.Packing), c.Expected) << c.Name;
  }
}

TEST(RunEstimate, TimeLeftFromTheSpeedSoFar) {
  EXPECT_EQ(EstimateSecondsLeft(10, 0.25), 30.0);
  EXPECT_EQ(EstimateSecondsLeft(10, 1.0), 0.0);
  EXPECT_FALSE(EstimateSecondsLeft(10, 0.001));  // nothing measured yet
  EXPECT_FALSE(EstimateSecondsLeft(0.1, 0.5));
  EXPECT_EQ(FormatDuration(59.6), "1:00");
  EXPECT_EQ(FormatDuration(-3), "0:00");
}

TEST(Plan, ListsTablesWithSizesAndIndexes) {
  TqdPlan plan{TqdRunScope::Alias, "Sales", true,
               {{"Customers", 90, {{"Seq", 0}, {"ByName", 1}}}, {"Suppliers", 0, {}}}};
  EXPECT_EQ(PlanText(plan),
            "Rebuild alias on alias Sales, each table packed first:\n"
            "  Customers (90 records): pack, 0 Seq, 1 ByName\n"
            "  Suppliers (0 records): pack, no index\n"
            "2 tables, 2 indexes, 90 records, 2 packs\n");
  TqdPlan one{TqdRunScope::Index, "Sales", false, {{"Customers", 90, {{"ByName", 1}}}}};
  EXPECT_EQ(PlanText(one),
            "Rebuild selected index on alias Sales:\n"
            "  Customers (90 records): 1 ByName\n"
            "1 table, 1 index, 90 records\n");
}

TEST(Names, ExactFirstThenAnyCaseAndIndexesByNumber) {
  std::vector<std::string> names{"Sales", "SALES", "Stock"};
  EXPECT_EQ(FindName(names, "SALES"), 1u);
  EXPECT_EQ(FindName(names, "stock"), 2u);
  EXPECT_FALSE(FindName(names, "Stocks"));
  std::vector<TqdIndexEntry> entries{{"Seq", 0}, {"ByName", 1}, {"3", 2}, {"ByCity", 4}};
  EXPECT_EQ(FindIndex(entries, "byname"), 1u);
  EXPECT_EQ(FindIndex(entries, "4"), 3u);
  EXPECT_EQ(FindIndex(entries, "3"), 2u);  // a name before a number
  for (const char* absent : {"2x", "", "-1", "5", "99999999999"}) EXPECT_FALSE(FindIndex(entries, absent)) << absent;
}

}  // namespace
}  // namespace qd
