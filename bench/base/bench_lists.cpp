// TqdList.Insert and IndexOfKey with 100 000 keys.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "base/lists.h"

namespace {

constexpr int kKeys = 100000;

std::vector<int32_t> ShuffledKeys() {
  std::vector<int32_t> keys(kKeys);
  for (int i = 0; i < kKeys; ++i) keys[i] = i * 7;
  std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
  return keys;
}

void BM_ListInsert100k(benchmark::State& state) {
  std::vector<int32_t> keys = ShuffledKeys();
  for (auto _ : state) {
    qd::TqdList list;
    for (int32_t k : keys) list.Insert(new qd::TqdIntListItem(k));
    benchmark::DoNotOptimize(list.Count());
    state.PauseTiming();
    list.RemoveAll();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_ListInsert100k)->Unit(benchmark::kMillisecond);

void BM_ListIndexOfKey100k(benchmark::State& state) {
  std::vector<int32_t> keys = ShuffledKeys();
  qd::TqdList list;
  for (int32_t k : keys) list.Insert(new qd::TqdIntListItem(k));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(list.IndexOfKey(&keys[i]));
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ListIndexOfKey100k);

}  // namespace
