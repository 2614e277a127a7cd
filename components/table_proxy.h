// TqdTableProxy: the tree's level 4, standing for one table component,
// which makes it and owns it. Its own name is the table's name, its parent
// name the table's DatabaseName; its parent is the database of that name in
// the proxy's session (a temporary one for an alias name), or else a
// database component of the table's form with the same session and
// database names.
// Thread rules: the user-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "components/QDDBBase.h"

namespace qd {

class TqdSession;
class TqdTable;

class TqdTableProxy final : public TqdDBListItem {
 public:
  // Takes the default session's name, when there is one, as session name.
  explicit TqdTableProxy(TqdTable* table);
  ~TqdTableProxy() override;
  std::string_view ClassName() const override { return "TqdTableProxy"; }

  TqdTable* Table() const { return table_; }
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string_view name);
  // The session of that name, looked up on each use (a session may be freed
  // while the table lives on); nullptr when there is none.
  TqdSession* Session();
  bool DatabaseDestroyed() const { return databaseDestroyed_; }
  void SetDatabaseDestroyed(bool destroyed) { databaseDestroyed_ = destroyed; }

  // The names the table reads and writes through its proxy.
  void SetTableName(std::string_view name) { SetOwnName(name); }
  void SetDatabaseName(std::string_view name) { SetParentName(name); }

 protected:
  void DoOpen() override;
  void DoClose() override;
  TqdDBListItem* FindParent(std::string_view name) override;
  void DeferredOpen() override;
  void ParentChanged() override;
  [[noreturn]] void RaiseMustBeClosed() override;
  [[noreturn]] void RaiseMustBeOpen() override;

 private:
  // A database component of the table's form named as asked, or nullptr.
  TqdDBListItem* FindFormDatabase(std::string_view name);

  bool closing_ = false;
  bool databaseDestroyed_ = false;
  TqdTable* table_;
  std::string sessionName_;
  std::string recordedSessionName_;  // set while the form is read
  bool sessionNameRecorded_ = false;
};

// The children of a database: freeing a proxy frees its table.
class TqdTableProxyList : public TqdDBList {
 protected:
  void FreeItem(TqdDBListItem* item) override;
};

}  // namespace qd
