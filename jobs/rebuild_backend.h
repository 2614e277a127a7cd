// What the rebuild workflow needs of the server: the alias, table and index
// lists, the two maintenance requests and the status of a task. Every
// failure throws EqdDatabaseError carrying the server's result code
// (EqdDatabaseError::CreateForCode), as the components do through
// CheckResult.
// Thread rules: called only on the user-interface thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "components/index_entry.h"

namespace qd {

// A task number that names no task: finished at once, never polled.
inline constexpr int32_t kNoRebuildTask = -1;

struct TqdTaskProgress {
  bool Finished = false;
  int32_t PercentDone = 0;
};

class TqdRebuildBackend {
 public:
  virtual ~TqdRebuildBackend() = default;

  // In the server's order, each name once.
  virtual std::vector<std::string> ListAliasNames() = 0;
  // Forgets the chosen table and closes the alias that is open, if any.
  virtual void CloseAlias() = 0;
  // Closes the alias that is open, opens this one and lists its tables.
  virtual std::vector<std::string> OpenAlias(const std::string& alias) = 0;
  // Makes this table of the open alias the chosen one and lists its indexes
  // in index-number order.
  virtual std::vector<TqdIndexEntry> SelectTable(const std::string& table) = 0;

  // Each returns the task number the server assigned (kNoRebuildTask for none).
  virtual int32_t RebuildIndex(const std::string& table, int32_t indexNumber) = 0;
  virtual int32_t PackTable(const std::string& table) = 0;
  // A task that ended in failure throws its failure's code.
  virtual TqdTaskProgress TaskStatus(int32_t task) = 0;

  // The records of each table of the open alias, by name, for the run's
  // estimate; empty when unknown.
  virtual std::map<std::string, int64_t> TableSizes() { return {}; }

  // Drops the connection, if any, and connects and logs in afresh with the
  // login the session had; the open alias and table are forgotten.
  virtual void Reconnect() = 0;
};

}  // namespace qd
