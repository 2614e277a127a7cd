// qd-reindex against a qd-server process with demo data, as a script would
// run it (no terminal): the three scopes with and without --pack (the
// server's tasks and the deleted records gone after a pack), --list and
// --plan, a run cut by --time-limit and resumed from its report, unknown
// names, a refused login, and Ctrl-C in the middle of a run.
#include "jobs/run_report.h"
#include "tests/cli/reindex_fixture.h"
#include "tests/support/emulated_transports.h"

namespace qd::test {
namespace {

struct ScopeCase {
  const char* Name;
  std::vector<std::string> Arguments;
  int Rebuilds;  // -1: every index of the tables rebuilt
  int Packs;
  std::vector<std::string> Packed;  // tables whose deleted records are gone
};

TEST_F(ReindexServerTest, EachScopeWithAndWithoutPack) {
  const ScopeCase cases[] = {
      {"index by name", {"Sales", "Customers", "ByName"}, 1, 0, {}},
      {"index by number", {"Sales", "Customers", "2"}, 1, 0, {}},
      {"table", {"Sales", "Suppliers"}, -1, 0, {}},
      {"table with pack", {"--pack", "Sales", "Suppliers"}, -1, 1, {"Suppliers"}},
      {"alias", {"Stock"}, -1, 0, {}},
      {"alias with pack", {"--pack", "Stock"}, -1, 2, {"Orders", "Invoices"}},
  };
  for (const ScopeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::map<std::string, int64_t> before = Deleted(c.Arguments.back() == "Stock" ? "stock" : "sales");
    int rebuilds = Finished("rebuild"), packs = Finished("pack");
    ReindexResult r = Run(WithUser(c.Arguments), Environment());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    int lines = static_cast<int>(std::count(r.Out.begin(), r.Out.end(), '\n'));
    EXPECT_EQ(Finished("pack") - packs, c.Packs);
    // One line per finished object, each rebuild a server task.
    EXPECT_EQ(Finished("rebuild") - rebuilds, lines - c.Packs) << r.Out;
    if (c.Rebuilds >= 0) {
      EXPECT_EQ(lines - c.Packs, c.Rebuilds) << r.Out;
    } else {
      EXPECT_GE(lines - c.Packs, 2 * std::max(c.Packs, 1)) << r.Out;  // each table has several indexes
    }
    EXPECT_NE(r.Out.find(": done "), std::string::npos) << r.Out;
    std::map<std::string, int64_t> after = Deleted(c.Arguments.back() == "Stock" ? "stock" : "sales");
    for (const auto& [table, deleted] : after) {
      bool packed = std::find(c.Packed.begin(), c.Packed.end(), table) != c.Packed.end();
      EXPECT_EQ(deleted, packed ? 0 : before[table]) << table;
      if (packed) {
        EXPECT_GT(before[table], 0) << table;
      }
    }
  }
}

// The emulated transports carry the same run: a table packed and its
// indexes rebuilt, with the client's transport settings read from the file.
TEST_F(ReindexServerTest, ATablePackedOverIPXSPXAndNetBIOS) {
  for (const std::string protocol : {"IPX/SPX", "NetBIOS"}) {
    SCOPED_TRACE(protocol);
    const EmulatedTransportPorts ports;
    RestartServer(ports.ServerLines(protocol));
    std::ofstream(Path("xdg/Brackwater/Quilldrive.conf"))
        << "[Client Configuration]\n" << ports.ClientLines(protocol, "QDCLI");
    ReindexResult r = Run(WithUser({"--pack", "Sales", "Customers"}), Environment());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(Finished("pack"), 1);
    EXPECT_GE(Finished("rebuild"), 2) << r.Out;
  }
}

TEST_F(ReindexServerTest, ListAndPlanStartNothing) {
  struct Case {
    std::vector<std::string> Arguments;
    std::string Out;
  };
  const Case cases[] = {
      {{"--list"}, "Sales\nStock\n"},
      {{"--list", "Sales"}, "Customers\nSuppliers\n"},
      {{"--list", "Sales", "Customers"}, "0 "},
      {{"--plan", "--pack", "Sales"},
       "Rebuild alias on alias Sales, each table packed first:\n  Customers (90 records): pack, 0 "},
      {{"--plan", "Sales", "Customers", "ByName"},
       "Rebuild selected index on alias Sales:\n  Customers (90 records): 2 ByName\n1 table, 1 index, 90 records\n"},
  };
  for (const Case& c : cases) {
    ReindexResult r = Run(WithUser(c.Arguments), Environment());
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, c.Out.size()), c.Out) << r.Out;
  }
  ReindexResult indexes = Run(WithUser({"--list", "Sales", "Customers"}), Environment());
  EXPECT_NE(indexes.Out.find("\n2 ByName\n"), std::string::npos) << indexes.Out;
  ReindexResult plan = Run(WithUser({"--plan", "--pack", "Sales"}), Environment());
  EXPECT_NE(plan.Out.find("  Suppliers (90 records): pack, 0 "), std::string::npos) << plan.Out;
  EXPECT_NE(plan.Out.find("2 tables, "), std::string::npos) << plan.Out;
  EXPECT_EQ(Started(), 0);
}

// --server names the server instead of the settings, which name an address
// the server does not listen on.
TEST_F(ReindexServerTest, ServerOptionOverridesTheSettings) {
  std::ofstream(xdg_ + "/Brackwater/Quilldrive.conf")
      << "[Client Configuration]\nProtocol = TCP/IP\nServerName = ELSEWHERE@127.0.0.3\nServerPort = "
      << server_->TcpPort() << "\n";
  ReindexResult other = Run(WithUser({"--list"}), Environment());
  EXPECT_EQ(other.ExitCode, 4) << other.Err;
  ReindexResult chosen = Run(WithUser({"--server", "QDCLI@127.0.0.1", "--list"}), Environment());
  EXPECT_EQ(chosen.ExitCode, 0) << chosen.Err;
  EXPECT_EQ(chosen.Out, "Sales\nStock\n");
}

// A report that cannot be written is a usage error before anything starts.
TEST_F(ReindexServerTest, UnwritableReportStartsNothing) {
  ReindexResult r = Run(WithUser({"--report", Path("missing/report.json"), "Sales"}), Environment());
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("missing/report.json"), std::string::npos) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(Started(), 0);
}

// Unknown names end the run before any task, with the system's message.
TEST_F(ReindexServerTest, UnknownNamesStartNothing) {
  struct Case {
    std::vector<std::string> Arguments;
    const char* Message;
  };
  const Case cases[] = {
      {{"Nowhere"}, "Quilldrive: Unknown database. [$271E/10014]\n"},
      {{"--pack", "Sales", "Nowhere"}, "Quilldrive: Table does not exist. [$2728/10024]\n"},
      {{"Sales", "Customers", "Nowhere"}, "Quilldrive: Index name [Nowhere] does not exist [no error code]\n"},
      {{"Sales", "Customers", "77"}, "Quilldrive: Index name [77] does not exist [no error code]\n"},
  };
  for (const Case& c : cases) {
    ReindexResult r = Run(WithUser(c.Arguments), Environment());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Err, c.Message);
    EXPECT_EQ(r.Out, "");
  }
  EXPECT_EQ(Started(), 0);
}

TEST_F(ReindexServerTest, RefusedLoginWithoutATerminalEndsAtOnce) {
  struct Case {
    const char* Name;
    std::vector<std::string> Arguments;
    const char* Password;
  };
  const Case cases[] = {{"wrong password", {"--user", "demo", "Sales"}, "wrong"},
                        {"no credentials", {"Sales"}, nullptr},
                        {"no password", {"--user", "demo", "Sales"}, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::string report = Path("refused.json");
    std::vector<std::string> arguments = c.Arguments;
    arguments.insert(arguments.begin(), {"--report", report});
    ReindexResult r = Run(arguments, Environment(c.Password));
    EXPECT_EQ(r.ExitCode, 4);
    EXPECT_EQ(r.Err, "Quilldrive: Unknown user name or password. [$2734/10036]\n");
    // No retries and no prompt: the server's throttle is the only wait.
    EXPECT_LT(r.Seconds, 30);
    std::string error;
    std::optional<TqdRunReport> written = ReadReportFile(report, error);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(written->ExitCode, 4);
    EXPECT_EQ(written->Message, "Quilldrive: Unknown user name or password. [$2734/10036]");
  }
  EXPECT_EQ(Started(), 0);
}

}  // namespace
}  // namespace qd::test
