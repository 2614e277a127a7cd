#include "server/lock_table.h"

#include <vector>

#include "server/server_results.h"

namespace qd {
namespace {

constexpr TqdResult kNotLocked = 10248;  // Object not locked.

}  // namespace

bool TqdLockTable::OthersIn(const std::map<TqdLockOwner, int>& takes, TqdLockOwner owner) {
  return takes.size() > (takes.count(owner) ? 1u : 0u);
}

void TqdLockTable::Tidy(const std::string& table) {
  auto it = tables_.find(table);
  if (it != tables_.end() && it->second.Empty()) tables_.erase(it);
}

TqdResult TqdLockTable::LockTable(const std::string& table, TqdLockOwner owner, uint8_t type) {
  if (type != kReadLock && type != kWriteLock) return qdErrInvalidParam;
  Locks& locks = tables_[table];
  const bool conflict = type == kReadLock ? OthersIn(locks.Write, owner)
                                          : OthersIn(locks.Write, owner) || OthersIn(locks.Read, owner);
  if (conflict) {
    Tidy(table);
    return qdErrTableBusy;
  }
  ++(type == kReadLock ? locks.Read : locks.Write)[owner];
  return qdOK;
}

TqdResult TqdLockTable::UnlockTable(const std::string& table, TqdLockOwner owner, bool all, uint8_t type) {
  auto it = tables_.find(table);
  if (it == tables_.end()) return kNotLocked;
  Locks& locks = it->second;
  TqdResult result = kNotLocked;
  if (all) {
    if (locks.Read.erase(owner) + locks.Write.erase(owner) > 0) result = qdOK;
  } else if (type == kReadLock || type == kWriteLock) {
    auto& takes = type == kReadLock ? locks.Read : locks.Write;
    auto take = takes.find(owner);
    if (take != takes.end()) {
      if (--take->second == 0) takes.erase(take);
      result = qdOK;
    }
  }
  Tidy(table);
  return result;
}

int TqdLockTable::TableLocks(const std::string& table, TqdLockOwner owner, uint8_t type) const {
  auto it = tables_.find(table);
  if (it == tables_.end()) return 0;
  const auto& takes = type == kReadLock ? it->second.Read : it->second.Write;
  auto take = takes.find(owner);
  return take == takes.end() ? 0 : take->second;
}

TqdResult TqdLockTable::LockRecord(const std::string& table, int64_t rid, TqdLockOwner owner) {
  auto [it, added] = tables_[table].Records.emplace(rid, owner);
  return added || it->second == owner ? qdOK : qdErrRecordLocked;
}

bool TqdLockTable::HoldsRecord(const std::string& table, int64_t rid, TqdLockOwner owner) const {
  auto it = tables_.find(table);
  if (it == tables_.end()) return false;
  auto record = it->second.Records.find(rid);
  return record != it->second.Records.end() && record->second == owner;
}

void TqdLockTable::UnlockRecord(const std::string& table, int64_t rid, TqdLockOwner owner) {
  auto it = tables_.find(table);
  if (it == tables_.end()) return;
  auto record = it->second.Records.find(rid);
  if (record != it->second.Records.end() && record->second == owner) it->second.Records.erase(record);
  Tidy(table);
}

void TqdLockTable::UnlockRecords(const std::string& table, TqdLockOwner owner) {
  auto it = tables_.find(table);
  if (it == tables_.end()) return;
  std::erase_if(it->second.Records, [&](const auto& entry) { return entry.second == owner; });
  Tidy(table);
}

TqdResult TqdLockTable::MayChange(const std::string& table, TqdLockOwner owner, std::optional<int64_t> rid) const {
  auto it = tables_.find(table);
  if (it == tables_.end()) return qdOK;
  const Locks& locks = it->second;
  if (OthersIn(locks.Read, owner) || OthersIn(locks.Write, owner)) return qdErrTableBusy;
  if (rid) {
    auto record = locks.Records.find(*rid);
    if (record != locks.Records.end() && record->second != owner) return qdErrRecordLocked;
  }
  return qdOK;
}

bool TqdLockTable::LockedByOthers(const std::string& table, uint32_t connection) const {
  auto it = tables_.find(table);
  if (it == tables_.end()) return false;
  auto other = [&](const TqdLockOwner& o) { return o.Connection != connection; };
  for (const auto& takes : {&it->second.Read, &it->second.Write})
    for (const auto& [owner, count] : *takes)
      if (other(owner)) return true;
  for (const auto& [rid, owner] : it->second.Records)
    if (other(owner)) return true;
  return false;
}

template <class Drop>
void TqdLockTable::ForEachTable(Drop drop) {
  for (auto it = tables_.begin(); it != tables_.end();) {
    Locks& locks = it->second;
    std::erase_if(locks.Read, [&](const auto& e) { return drop(e.first); });
    std::erase_if(locks.Write, [&](const auto& e) { return drop(e.first); });
    std::erase_if(locks.Records, [&](const auto& e) { return drop(e.second); });
    it = locks.Empty() ? tables_.erase(it) : std::next(it);
  }
}

void TqdLockTable::ForgetCursor(TqdLockOwner owner) {
  ForEachTable([&](const TqdLockOwner& o) { return o == owner; });
}

void TqdLockTable::ForgetConnection(uint32_t connection) {
  ForEachTable([&](const TqdLockOwner& o) { return o.Connection == connection; });
}

void TqdLockTable::ForgetRecords(const std::string& table) {
  auto it = tables_.find(table);
  if (it == tables_.end()) return;
  it->second.Records.clear();
  Tidy(table);
}

}  // namespace qd
