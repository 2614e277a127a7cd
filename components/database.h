// TqdDatabase: the tree's level 3. While open (Connected) it holds the
// call-interface database object opened on the server for AliasName (or,
// when that is empty, DatabaseName); the maintenance requests travel on
// it. Its children are the table proxies of the tables that use it. A
// temporary database is one a session made by itself for an alias name.
// Thread rules: the user-interface thread only.
#pragma once

#include <string>
#include <string_view>

#include "callif/QDTTBapi.h"
#include "components/QDDBBase.h"

namespace qd {

class TqdSession;
class TqdTableProxy;

class TqdDatabase final : public TqdDBListItem {
 public:
  // Takes the default session's name, when there is one, as SessionName.
  explicit TqdDatabase(TqdComponent* owner);
  ~TqdDatabase() override;
  std::string_view ClassName() const override { return "TqdDatabase"; }

  const std::string& DatabaseName() const { return OwnName(); }
  // Outside form reading: raises 54555 for an alias name of its session
  // (when another component made it) and 54556 for a database name its
  // session has already.
  void SetDatabaseName(std::string_view name);
  std::string SessionName() { return ParentName(); }
  void SetSessionName(std::string_view name) { SetParentName(name); }
  bool Connected() const { return Active(); }
  void SetConnected(bool connected) { SetActive(connected); }
  const std::string& AliasName() const { return aliasName_; }
  void SetAliasName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  // True also sets Exclusive on the table of every proxy.
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return readOnly_; }
  // True also sets ReadOnly on the table of every proxy.
  void SetReadOnly(bool readOnly);
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool temporary) { temporary_ = temporary; }

  // Opens the database when it is closed.
  hDBIDb ClientDatabase();
  // Raises 54554 when there is none.
  TqdSession* OwningSession();
  int TableProxyCount() { return Children().Count(); }
  TqdTableProxy* TableProxies(int index);

 protected:
  void DoOpen() override;
  void DoClose() override;
  TqdDBListItem* FindParent(std::string_view name) override;
  [[noreturn]] void RaiseMustBeClosed() override;
  [[noreturn]] void RaiseMustBeOpen() override;

 private:
  std::string aliasName_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  bool temporary_ = false;
  hDBIDb database_ = nullptr;
};

}  // namespace qd
