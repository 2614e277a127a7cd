// Inserting, modifying and deleting a table's records with every key
// table kept in step, each change in one store transaction: a key that a
// unique index already holds (9729) leaves the table as it was. A deleted
// record is marked, its keys removed; a pack takes it away for good.
// Thread rules: one request worker at a time, on its own store.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "server/record_navigation.h"

namespace qd {

class TqdRecordChanges {
 public:
  // Over the table of `nav`; the records found come back with their keys in
  // the navigator's index.
  explicit TqdRecordChanges(TqdRecordNavigator& nav);

  // 9986 (thrown) for a record of another size than the table's.
  TqdFoundRecord Insert(std::span<const uint8_t> record);
  // 8708 (thrown) for a record that is gone.
  TqdFoundRecord Modify(int64_t rid, std::span<const uint8_t> record);
  // The record as it was.
  TqdFoundRecord Delete(int64_t rid);

 private:
  struct Index {
    std::unique_ptr<TqdKeyEncoder> Encoder;
    std::string KeyTable;
  };
  void CheckSize(std::span<const uint8_t> record) const;
  std::vector<uint8_t> KeyOf(const Index& index, const uint8_t* record) const;
  void AddKey(const Index& index, const std::vector<uint8_t>& key, int64_t rid);
  void RemoveKey(const Index& index, const std::vector<uint8_t>& key, int64_t rid);
  TqdFoundRecord Existing(int64_t rid);

  TqdRecordNavigator& nav_;
  std::vector<Index> indexes_;  // 1 and up
};

}  // namespace qd
