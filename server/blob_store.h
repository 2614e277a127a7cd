// The BLOBs of a store's tables: numbered values of up to kMaxBlobBytes
// bytes in the store's qd_blobs table (made the first time a BLOB is), each
// belonging to one table. A record names a BLOB by its number in a BLOB
// field. A BLOB lives until a pack of its table finds no live record
// naming it; freeing one (an abandoned edit) changes nothing meanwhile.
// Thread rules: one request worker at a time, on its own store.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dict/QDLLDict.h"
#include "server/table_store.h"

namespace qd {

inline constexpr int64_t kMaxBlobBytes = 64 << 20;

class TqdBlobStore {
 public:
  TqdBlobStore(TqdTableStore& store, int64_t tableId) : store_(store), tableId_(tableId) {}

  // A new, empty BLOB's number.
  int32_t Create();
  // Throw 10030 for a number that names no BLOB of the table.
  int64_t Size(int32_t blob);
  // At most `length` bytes from `offset`; 9998 (thrown) past the end.
  std::vector<uint8_t> Read(int32_t blob, int64_t offset, int64_t length);
  // 9998 for an offset past the end; 9986 beyond kMaxBlobBytes.
  void Write(int32_t blob, int64_t offset, std::span<const uint8_t> bytes);
  // 9998 for a length past the end.
  void Truncate(int32_t blob, int64_t length);
  // Called by a pack: the table's BLOBs that no live record names go.
  void RemoveUnnamed(const TqdDataDictionary& dict);

 private:
  bool Exists() const;
  void Make();

  TqdTableStore& store_;
  int64_t tableId_;
};

}  // namespace qd
