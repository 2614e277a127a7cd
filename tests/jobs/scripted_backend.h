// A server played from a script: aliases with their tables, tables with
// their index entries, the status answers of each task, and the calls that
// fail. Every call goes into the shared log as "Call(args)", a request with
// "=task" behind it, so tests can read the order of calls and changes.
// Thread rules: the test's thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jobs/rebuild_backend.h"
#include "tests/jobs/recording_view.h"

namespace qd::test {

// One answer to a status poll; a non-zero FailCode is a task that failed on
// the server, answered with the failure's result code.
struct TqdStatusAnswer {
  int32_t PercentDone = 0;
  bool Finished = false;
  uint16_t FailCode = 0;
};
inline TqdStatusAnswer Running(int32_t percent) { return {percent, false, 0}; }
inline TqdStatusAnswer Done(int32_t percent = 100) { return {percent, true, 0}; }
inline TqdStatusAnswer Failed(uint16_t code) { return {0, true, code}; }

class TqdScriptedBackend : public TqdRebuildBackend {
 public:
  explicit TqdScriptedBackend(EventLog& log) : log_(log) {}

  std::vector<std::string> ListAliasNames() override;
  void CloseAlias() override;
  std::vector<std::string> OpenAlias(const std::string& alias) override;
  std::vector<TqdIndexEntry> SelectTable(const std::string& table) override;
  int32_t RebuildIndex(const std::string& table, int32_t indexNumber) override;
  int32_t PackTable(const std::string& table) override;
  TqdTaskProgress TaskStatus(int32_t task) override;
  void Reconnect() override;
  std::map<std::string, int64_t> TableSizes() override { return Sizes; }

  std::vector<std::string> Aliases;
  std::map<std::string, std::vector<std::string>> Tables;      // by alias
  std::map<std::string, std::vector<TqdIndexEntry>> Indexes;  // by table
  // A call, as logged without its task, that fails with this result code.
  std::map<std::string, uint16_t> Failures;
  // A call that fails with an exception foreign to the server (its message).
  std::map<std::string, std::string> ForeignFailures;
  // A call that throws something that is no std::exception at all.
  std::set<std::string> OddFailures;
  // A request that answers this task number instead of the next free one.
  std::map<std::string, int32_t> TaskOf;
  // The status answers of the task a request started; DefaultScript else.
  std::map<std::string, std::vector<TqdStatusAnswer>> Scripts;
  std::vector<TqdStatusAnswer> DefaultScript{Running(30), Running(70), Done()};
  std::string OpenAliasName;
  // Runs in every status poll, as the time the server takes to answer.
  std::function<void()> OnTaskStatus;
  // Answered by TableSizes.
  std::map<std::string, int64_t> Sizes;

 private:
  void Enter(const std::string& call);
  int32_t StartTask(const std::string& call);

  EventLog& log_;
  int32_t nextTask_ = 100;
  std::map<int32_t, std::vector<TqdStatusAnswer>> running_;
};

}  // namespace qd::test
