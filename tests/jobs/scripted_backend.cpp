#include "tests/jobs/scripted_backend.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "base/QDLLExcp.h"
#include "base/result_codes.h"

namespace qd::test {

void TqdScriptedBackend::Enter(const std::string& call) {
  log_.push_back(call);
  if (auto failure = Failures.find(call); failure != Failures.end())
    throw EqdDatabaseError::CreateForCode(failure->second);
  if (auto failure = ForeignFailures.find(call); failure != ForeignFailures.end())
    throw std::runtime_error(failure->second);
  if (OddFailures.contains(call)) throw call;
}

std::vector<std::string> TqdScriptedBackend::ListAliasNames() {
  Enter("ListAliasNames");
  return Aliases;
}

void TqdScriptedBackend::CloseAlias() {
  Enter("CloseAlias");
  OpenAliasName.clear();
}

void TqdScriptedBackend::Reconnect() {
  Enter("Reconnect");
  OpenAliasName.clear();
}

std::vector<std::string> TqdScriptedBackend::OpenAlias(const std::string& alias) {
  OpenAliasName.clear();
  Enter("OpenAlias(" + alias + ")");
  OpenAliasName = alias;
  return Tables[alias];
}

std::vector<TqdIndexEntry> TqdScriptedBackend::SelectTable(const std::string& table) {
  Enter("SelectTable(" + table + ")");
  return Indexes[table];
}

int32_t TqdScriptedBackend::RebuildIndex(const std::string& table, int32_t indexNumber) {
  return StartTask("RebuildIndex(" + table + "," + std::to_string(indexNumber) + ")");
}

int32_t TqdScriptedBackend::PackTable(const std::string& table) { return StartTask("PackTable(" + table + ")"); }

int32_t TqdScriptedBackend::StartTask(const std::string& call) {
  Enter(call);
  auto forced = TaskOf.find(call);
  int32_t task = forced != TaskOf.end() ? forced->second : nextTask_++;
  auto script = Scripts.find(call);
  running_[task] = script != Scripts.end() ? script->second : DefaultScript;
  log_.back() += "=" + std::to_string(task);
  return task;
}

// Task -1 is no task and answers finished at 0 % without a request, as the
// call interface does; an unknown task is 8712.
TqdTaskProgress TqdScriptedBackend::TaskStatus(int32_t task) {
  Enter("TaskStatus(" + std::to_string(task) + ")");
  if (OnTaskStatus) OnTaskStatus();
  if (task == kNoRebuildTask) return {.Finished = true, .PercentDone = 0};
  auto found = running_.find(task);
  if (found == running_.end()) throw EqdDatabaseError::CreateForCode(qdErrObjNotFound);
  std::vector<TqdStatusAnswer>& answers = found->second;
  if (answers.empty()) {
    ADD_FAILURE() << "task " << task << " polled past its script";
    return {.Finished = true, .PercentDone = 100};
  }
  TqdStatusAnswer answer = answers.front();
  answers.erase(answers.begin());
  if (answer.FailCode != 0) throw EqdDatabaseError::CreateForCode(answer.FailCode);
  return {.Finished = answer.Finished, .PercentDone = answer.PercentDone};
}

}  // namespace qd::test
