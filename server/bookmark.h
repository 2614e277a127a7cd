// The bookmark the server hands out for a cursor position: "QDBM", the
// kind of position (0 before the first record, 1 on a record, 2 after the
// last), three zero bytes, the record number (8 bytes) and the table's
// pack generation (4 bytes): 20 bytes, the rest of the client's bookmark
// size zero. A bookmark names a record, not a key, so it stays good across
// index switches; a pack renumbers the records and so makes the bookmarks
// of earlier generations stale.
// Thread rules: pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qd {

inline constexpr size_t kBookmarkBytes = 20;
// The largest bookmark size a client may ask for: a key's length and 20.
inline constexpr size_t kMaxBookmarkSize = 64 * 1024;

struct TqdBookmark {
  enum Kind : uint8_t { BeforeFirst = 0, OnRecord = 1, AfterLast = 2 };
  Kind Where = BeforeFirst;
  int64_t Rid = 0;
  uint32_t Generation = 0;
};

// `size` bytes (at least kBookmarkBytes).
std::vector<uint8_t> EncodeBookmark(const TqdBookmark& bookmark, size_t size);
// nullopt for bytes that are not a bookmark of this server.
std::optional<TqdBookmark> DecodeBookmark(std::span<const uint8_t> bytes);

}  // namespace qd
