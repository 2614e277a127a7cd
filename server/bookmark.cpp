#include "server/bookmark.h"

#include <cstring>

#include "base/endian.h"

namespace qd {
namespace {

constexpr uint8_t kMagic[4] = {'Q', 'D', 'B', 'M'};

}  // namespace

std::vector<uint8_t> EncodeBookmark(const TqdBookmark& bookmark, size_t size) {
  std::vector<uint8_t> out(size < kBookmarkBytes ? kBookmarkBytes : size, 0);
  std::memcpy(out.data(), kMagic, 4);
  out[4] = bookmark.Where;
  PutInt64LE(out.data() + 8, bookmark.Rid);
  PutUInt32LE(out.data() + 16, bookmark.Generation);
  return out;
}

std::optional<TqdBookmark> DecodeBookmark(std::span<const uint8_t> bytes) {
  if (bytes.size() < kBookmarkBytes || std::memcmp(bytes.data(), kMagic, 4) != 0) return std::nullopt;
  if (bytes[4] > TqdBookmark::AfterLast) return std::nullopt;
  TqdBookmark bookmark;
  bookmark.Where = static_cast<TqdBookmark::Kind>(bytes[4]);
  bookmark.Rid = GetInt64LE(bytes.data() + 8);
  bookmark.Generation = GetUInt32LE(bytes.data() + 16);
  return bookmark;
}

}  // namespace qd
