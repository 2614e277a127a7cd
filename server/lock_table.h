// The table and record locks the server's cursors hold, kept on the
// serving thread. A table is named by its directory and name (see
// TqdServerCore::PackKey); an owner is a cursor of a connection.
//
// The rules, which the client's records leave open: a table read lock
// (type 1) is shared, a table write lock (type 2) is held by one cursor at
// a time, and neither can be had while another cursor holds the other
// kind; while another cursor holds a table lock of either kind, no record
// of the table may be inserted, changed or deleted (10243). A record lock
// belongs to one cursor (10241 for the others); anyone may still read the
// record. Locks go with their cursor's close and their connection's end;
// record locks of a table go when a pack renumbers its records.
// Thread rules: the serving thread only.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "base/result_codes.h"

namespace qd {

struct TqdLockOwner {
  uint32_t Connection = 0;
  int32_t Cursor = 0;
  auto operator<=>(const TqdLockOwner&) const = default;
};

inline constexpr uint8_t kReadLock = 1;
inline constexpr uint8_t kWriteLock = 2;

class TqdLockTable {
 public:
  // 0, 10243 when another cursor holds a lock of the other kind or (for a
  // write lock) any lock, 9986 for an unknown type. A cursor may take the
  // same lock more than once; each take needs a release.
  TqdResult LockTable(const std::string& table, TqdLockOwner owner, uint8_t type);
  // One take of `type`, or every table lock of the owner with `all`;
  // 10248 when the owner holds no such lock.
  TqdResult UnlockTable(const std::string& table, TqdLockOwner owner, bool all, uint8_t type);
  // The takes of `type` the owner holds on the table.
  int TableLocks(const std::string& table, TqdLockOwner owner, uint8_t type) const;

  // 0, or 10241 when another cursor holds the record.
  TqdResult LockRecord(const std::string& table, int64_t rid, TqdLockOwner owner);
  bool HoldsRecord(const std::string& table, int64_t rid, TqdLockOwner owner) const;
  void UnlockRecord(const std::string& table, int64_t rid, TqdLockOwner owner);
  void UnlockRecords(const std::string& table, TqdLockOwner owner);

  // Whether the owner may insert into the table or change a record of it
  // (none for an insert): 0, 10243 or 10241.
  TqdResult MayChange(const std::string& table, TqdLockOwner owner, std::optional<int64_t> rid) const;
  // Whether a cursor of another connection holds any lock on the table.
  bool LockedByOthers(const std::string& table, uint32_t connection) const;

  void ForgetCursor(TqdLockOwner owner);
  void ForgetConnection(uint32_t connection);
  void ForgetRecords(const std::string& table);

 private:
  struct Locks {
    std::map<TqdLockOwner, int> Read, Write;  // takes per owner
    std::map<int64_t, TqdLockOwner> Records;
    bool Empty() const { return Read.empty() && Write.empty() && Records.empty(); }
  };
  static bool OthersIn(const std::map<TqdLockOwner, int>& takes, TqdLockOwner owner);
  void Tidy(const std::string& table);
  template <class Drop>
  void ForEachTable(Drop drop);

  std::map<std::string, Locks> tables_;
};

}  // namespace qd
