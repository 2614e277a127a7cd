// A private database file for rows a task needs only while it runs, such
// as the records a pack renumbers. The file is attached for the task's
// length and goes away whole when detached, where dropping a table of the
// connection's temporary database visits and frees each of its pages
// (about 7 % of the time a pack of 200 000 records takes).
// Attaching is refused inside a transaction; there, and if attaching
// fails, the temporary database serves and its tables are dropped at the
// end instead.
// Thread rules: on the thread that owns the connection; made before the
// task's transaction begins and destroyed after it ends.
#pragma once

#include <string>

#include "server/sqlite_db.h"

namespace qd {

class TqdScratchDatabase {
 public:
  explicit TqdScratchDatabase(TqdSqliteDb& db);
  ~TqdScratchDatabase();
  TqdScratchDatabase(const TqdScratchDatabase&) = delete;
  TqdScratchDatabase& operator=(const TqdScratchDatabase&) = delete;

  // A new empty table in the scratch database; returns its qualified name.
  // `columns` is the parenthesised column list.
  std::string CreateTable(const std::string& name, const std::string& columns);

  // Gives the table's room back now where that is cheap (in the scratch
  // file, it goes with the file).
  void DropTable(const std::string& qualifiedName);

 private:
  TqdSqliteDb& db_;
  bool attached_ = false;
};

}  // namespace qd
