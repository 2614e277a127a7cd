#include "server/scratch_db.h"

namespace qd {
namespace {

constexpr const char* kScratchSchema = "qd_scratch";

}  // namespace

TqdScratchDatabase::TqdScratchDatabase(TqdSqliteDb& db) : db_(db) {
  if (sqlite3_get_autocommit(db_.Handle()) == 0) return;
  try {
    // An empty file name makes a private file in the temporary directory,
    // deleted on detaching. Nothing in it outlives the task, so it keeps
    // no journal: with one, a commit that spans the store and this file
    // would write a journal naming both as well.
    db_.Exec(std::string("ATTACH '' AS ") + kScratchSchema);
    attached_ = true;
    db_.Exec(std::string("PRAGMA ") + kScratchSchema + ".journal_mode=OFF");
  } catch (const EqdStorageError&) {
    // Already attached by a task that could not detach, say: the
    // temporary database serves.
  }
}

TqdScratchDatabase::~TqdScratchDatabase() {
  if (attached_)
    sqlite3_exec(db_.Handle(), (std::string("DETACH ") + kScratchSchema).c_str(), nullptr, nullptr,
                 nullptr);
}

std::string TqdScratchDatabase::CreateTable(const std::string& name, const std::string& columns) {
  const std::string qualified = std::string(attached_ ? kScratchSchema : "temp") + "." + name;
  db_.Exec("DROP TABLE IF EXISTS " + qualified);
  db_.Exec("CREATE TABLE " + qualified + columns);
  return qualified;
}

void TqdScratchDatabase::DropTable(const std::string& qualifiedName) {
  if (!attached_) db_.Exec("DROP TABLE " + qualifiedName);
}

}  // namespace qd
