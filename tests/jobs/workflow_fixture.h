// A workflow between a recording view and a scripted server with three
// aliases: "Sales" (ORDERS with 3 indexes, NOTES with none, PARTS with 2),
// "Archive" (OLD with 1) and "Empty" (no tables). Helpers play the user and
// read the shared log.
// Thread rules: the test's thread only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/rebuild_workflow.h"
#include "tests/jobs/recording_view.h"
#include "tests/jobs/scripted_backend.h"

namespace qd::test {

enum class TqdJob { SelectedIndex, Table, Alias };

// Names a parameterised case after its Name field.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.Name;
  }
};

class RebuildWorkflowTest : public ::testing::Test {
 protected:
  RebuildWorkflowTest() {
    server.Aliases = {"Sales", "Archive", "Empty"};
    server.Tables = {{"Sales", {"ORDERS", "NOTES", "PARTS"}}, {"Archive", {"OLD"}}, {"Empty", {}}};
    server.Indexes = {{"ORDERS", {{"Seq", 0}, {"ByCustomer", 1}, {"ByDate", 2}}},
                      {"NOTES", {}},
                      {"PARTS", {{"Seq", 0}, {"ByName", 1}}},
                      {"OLD", {{"Seq", 0}}}};
    // Time passes only when the server answers a poll or the view waits; by
    // default a poll takes as long as a server that holds it.
    workflow.SetClock([this] { return now; });
    server.OnTaskStatus = [this] { now += pollTakes; };
    view.OnWait = [this](std::chrono::milliseconds wait) { now += wait; };
  }

  // Picks an item as the user would: the list's choice, then its handler.
  void Pick(TqdRebuildList list, int index) {
    view.SetItemIndex(list, index);
    switch (list) {
      case TqdRebuildList::ComboBoxAlias: workflow.AliasPicked(); break;
      case TqdRebuildList::ComboBoxTable: workflow.TablePicked(); break;
      case TqdRebuildList::ComboBoxIndex: workflow.IndexPicked(); break;
    }
  }

  // Start-up, then alias, table and index by their places in the lists.
  void Choose(int alias, int table = -1, int index = -1) {
    workflow.Start();
    Pick(TqdRebuildList::ComboBoxAlias, alias);
    if (table >= 0) Pick(TqdRebuildList::ComboBoxTable, table);
    if (index >= 0) Pick(TqdRebuildList::ComboBoxIndex, index);
  }

  void Run(TqdJob job) {
    switch (job) {
      case TqdJob::SelectedIndex: workflow.RebuildSelectedIndex(); break;
      case TqdJob::Table: workflow.RebuildTable(); break;
      case TqdJob::Alias: workflow.RebuildAlias(); break;
    }
  }

  // Forgets what came before, so a test reads only what follows.
  void Mark() {
    log.clear();
    view.ForgetBarHistory();
  }

  // The log entries that begin with the prefix.
  std::vector<std::string> Entries(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& entry : log)
      if (entry.starts_with(prefix)) found.push_back(entry);
    return found;
  }

  bool Logged(std::string_view prefix) const { return !Entries(prefix).empty(); }

  // The place of the first entry that begins with the prefix (log size if none).
  size_t Place(std::string_view prefix) const {
    for (size_t i = 0; i < log.size(); ++i)
      if (log[i].starts_with(prefix)) return i;
    return log.size();
  }

  // "position/maximum" of each state the bar was shown in, repeats dropped.
  std::vector<std::string> BarSteps(TqdRebuildBar bar) const {
    std::vector<std::string> steps;
    for (const TqdBarState& state : view.BarHistory(bar)) {
      std::string text = BarText(state);
      if (steps.empty() || steps.back() != text) steps.push_back(text);
    }
    return steps;
  }

  std::string BarNow(TqdRebuildBar bar) const { return BarText(view.Bar(bar)); }

  std::chrono::steady_clock::time_point now{};
  std::chrono::milliseconds pollTakes{100};
  EventLog log;
  TqdRecordingView view{log};
  TqdScriptedBackend server{log};
  TqdRebuildWorkflow workflow{view, server};
};

}  // namespace qd::test
