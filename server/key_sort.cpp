#include "server/key_sort.h"

#include <algorithm>
#include <cstring>

namespace qd {
namespace {

// The bytes of an entry a slot holds.
constexpr size_t kSlotBytes = 16;

struct Slot {
  uint64_t High;
  uint64_t Low;
  uint32_t Index;
};

// The byte positions at which the entries differ at all, in order. Bytes
// that every entry has alike cannot order them: a slot made of the others
// holds more of what decides, and the whole key of a typical index (a name
// padded with zeros, a number whose high bytes are all zero) often fits.
std::vector<size_t> VaryingPositions(const uint8_t* entries, size_t entrySize, size_t count) {
  std::vector<uint8_t> differs(entrySize, 0);
  for (size_t i = 1; i < count; ++i) {
    const uint8_t* e = entries + i * entrySize;
    for (size_t b = 0; b < entrySize; ++b) differs[b] |= static_cast<uint8_t>(e[b] ^ entries[b]);
  }
  std::vector<size_t> positions;
  for (size_t b = 0; b < entrySize; ++b)
    if (differs[b] != 0) positions.push_back(b);
  return positions;
}

}  // namespace

// Each entry gets a slot with its first sixteen varying bytes, so that most
// comparisons stay inside the slot array instead of going to the scattered
// entries; only slots alike in all sixteen compare the entries' bytes after
// the last of those.
std::vector<uint32_t> SortedEntryOrder(const uint8_t* entries, size_t entrySize, size_t count) {
  if (count == 0) return {};
  std::vector<size_t> positions = VaryingPositions(entries, entrySize, count);
  const size_t taken = std::min(kSlotBytes, positions.size());
  const size_t rest = positions.size() > kSlotBytes ? positions[kSlotBytes - 1] + 1 : entrySize;
  std::vector<Slot> slots(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = entries + i * entrySize;
    uint64_t words[2] = {0, 0};
    for (size_t k = 0; k < kSlotBytes; ++k) words[k / 8] = (words[k / 8] << 8) | (k < taken ? e[positions[k]] : 0);
    slots[i] = {words[0], words[1], static_cast<uint32_t>(i)};
  }
  auto entry = [&](uint32_t index) { return entries + static_cast<size_t>(index) * entrySize; };
  std::sort(slots.begin(), slots.end(), [&](const Slot& a, const Slot& b) {
    if (a.High != b.High) return a.High < b.High;
    if (a.Low != b.Low) return a.Low < b.Low;
    return rest < entrySize && std::memcmp(entry(a.Index) + rest, entry(b.Index) + rest, entrySize - rest) < 0;
  });
  std::vector<uint32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = slots[i].Index;
  return order;
}

}  // namespace qd
