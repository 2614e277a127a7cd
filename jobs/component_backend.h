// The rebuild workflow's backend over the data-access components, as the
// window holds them: one database component and one table component in the
// automatic session, sharing a private database name. Every result code is
// checked, so a failure throws EqdDatabaseError with its code.
//
// A lost connection is re-made by the next action that needs the server
// (the lists, the two requests; never a task's poll): the session connects
// again to the server it used, with the login that server accepted, and
// the alias that was open is opened again where the action needs it.
// Thread rules: the user-interface thread only; create it after the
// component layer was initialised and free it before it is finalised.
#pragma once

#include <memory>

#include "framework/component.h"
#include "jobs/rebuild_backend.h"

namespace qd {

class TqdDatabase;
class TqdSession;
class TqdTable;

class TqdComponentBackend : public TqdRebuildBackend {
 public:
  TqdComponentBackend();
  ~TqdComponentBackend() override;

  std::vector<std::string> ListAliasNames() override;
  void CloseAlias() override;
  std::vector<std::string> OpenAlias(const std::string& alias) override;
  std::vector<TqdIndexEntry> SelectTable(const std::string& table) override;
  int32_t RebuildIndex(const std::string& table, int32_t indexNumber) override;
  int32_t PackTable(const std::string& table) override;
  TqdTaskProgress TaskStatus(int32_t task) override;
  void Reconnect() override;
  std::map<std::string, int64_t> TableSizes() override;

  TqdDatabase& Database() { return *database_; }
  TqdTable& Table() { return *table_; }

 private:
  TqdSession& Session();
  // Re-makes a lost connection; with `needsAlias`, opens the chosen alias
  // again when it is closed.
  void Reach(bool needsAlias);

  // The form that owns the two components and frees them.
  std::unique_ptr<TqdComponent> form_;
  TqdDatabase* database_;
  TqdTable* table_;
};

}  // namespace qd
