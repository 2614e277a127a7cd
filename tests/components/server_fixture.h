// The component layer against a qd-server process with the demo data and
// one more table, "Gaps" in the alias Sales, whose second index has no
// name. The server, the client's settings and the login hook (demo/demo)
// are those of the call-interface tests; the layer is made before each
// test and ended after it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "components/QDDB.h"
#include "components/table.h"
#include "server/demo_data.h"
#include "tests/callif/server_fixture.h"

namespace qd::test {

// Fields Id, Name, City; indexes 1 ById, 2 (no name) on Name, 3 ByCity;
// 20 records. Made in the alias directory before the server starts.
void MakeGapsTable(const std::string& aliasDir);

class ComponentServerTest : public CallifServerTest {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(MakeDemoData(dir_.Path(), 4, 50, error)) << error;
    MakeGapsTable(dir_.Path() + "/sales");
    clientDiscoveryPort_ = FreeLoopbackPort(SOCK_DGRAM);
    StartServer();
    ForgetAcceptedCredentials();
    AnswerLogins("demo", "demo");
    InitializeComponentLayer();
  }
  void TearDown() override {
    // The program frees its window, and with it its components, first.
    while (!form_.Components().empty()) delete form_.Components().back();
    FinalizeComponentLayer();
    CallifServerTest::TearDown();
  }

  // A database component of the test's form, on an alias of the automatic
  // session.
  TqdDatabase& Database(const char* name, const char* alias) {
    auto& database = CreateComponent<TqdDatabase>(form_);
    database.SetName(std::string("qd") + name);
    database.SetDatabaseName(name);
    database.SetAliasName(alias);
    return database;
  }
  TqdTable& Table(const char* databaseName, const char* tableName) {
    auto& table = CreateComponent<TqdTable>(form_);
    table.SetName("qdTable");
    table.SetDatabaseName(databaseName);
    table.SetTableName(tableName);
    return table;
  }

  TqdComponent form_{nullptr};
};

}  // namespace qd::test
