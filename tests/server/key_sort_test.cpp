#include "server/key_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace qd {
namespace {

// The entries laid out in `order`: equal entries may come in any order,
// so orders are compared by what they lay out.
std::vector<uint8_t> LaidOut(const std::vector<uint8_t>& entries, size_t size, const std::vector<uint32_t>& order) {
  std::vector<uint8_t> out;
  for (uint32_t i : order) out.insert(out.end(), entries.begin() + i * size, entries.begin() + (i + 1) * size);
  return out;
}

// What the sort must give: the positions ordered by the entries' bytes.
std::vector<uint32_t> ByMemcmp(const std::vector<uint8_t>& entries, size_t size) {
  std::vector<uint32_t> order(entries.size() / size);
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return std::memcmp(&entries[a * size], &entries[b * size], size) < 0;
  });
  return order;
}

struct SortCase {
  const char* Name;
  size_t EntrySize;
  size_t Count;
  // Which bytes of an entry vary (the rest are the same in every entry),
  // and how many values each takes: few values make slots that tie.
  std::vector<size_t> Varying;
  int Values;
};

class KeySortTest : public testing::TestWithParam<SortCase> {};

TEST_P(KeySortTest, OrdersAsMemcmpDoes) {
  const SortCase& c = GetParam();
  std::mt19937 random(12345);
  std::vector<uint8_t> entries(c.EntrySize * c.Count, 0x5A);
  for (size_t i = 0; i < c.Count; ++i)
    for (size_t b : c.Varying) entries[i * c.EntrySize + b] = static_cast<uint8_t>(random() % c.Values * 37);
  std::vector<uint32_t> order = SortedEntryOrder(entries.data(), c.EntrySize, c.Count);
  std::vector<uint32_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  std::vector<uint32_t> all(c.Count);
  std::iota(all.begin(), all.end(), 0u);
  EXPECT_EQ(sorted, all);  // every entry once
  EXPECT_EQ(LaidOut(entries, c.EntrySize, order), LaidOut(entries, c.EntrySize, ByMemcmp(entries, c.EntrySize)));
}

std::vector<size_t> Every(size_t from, size_t to, size_t step = 1) {
  std::vector<size_t> v;
  for (size_t b = from; b < to; b += step) v.push_back(b);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, KeySortTest,
    testing::Values(
        SortCase{"Empty", 12, 0, {0}, 4}, SortCase{"One", 12, 1, {0}, 4},
        SortCase{"AllAlike", 20, 50, {}, 1},
        // Shorter than a slot: the slot is padded, never read past the entry.
        SortCase{"ShortEntries", 5, 300, {0, 2, 4}, 3},
        // Every byte varies: the slot holds the first sixteen and ties go on
        // at the seventeenth.
        SortCase{"MoreVaryingThanASlotHolds", 35, 2000, Every(0, 35), 2},
        // Alike from the start, different only at the end (the row id).
        SortCase{"OnlyTheTailVaries", 35, 500, Every(27, 35), 3},
        // Varying bytes spread out, more than sixteen: the bytes between the
        // sixteenth varying one and the next decide ties.
        SortCase{"SpreadOutPastTheSlot", 64, 1500, Every(1, 64, 3), 2}),
    [](const testing::TestParamInfo<SortCase>& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace qd
