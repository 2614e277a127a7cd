// PoolAlloc + PoolFree pairs against malloc + free, single-threaded.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "base/pool.h"

namespace {

void BM_PoolAllocFree(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  qd::PoolFree(qd::PoolAlloc(size), size);  // the class's pool exists before timing
  for (auto _ : state) {
    void* p = qd::PoolAlloc(size);
    benchmark::DoNotOptimize(p);
    qd::PoolFree(p, size);
  }
}
BENCHMARK(BM_PoolAllocFree)->Arg(32)->Arg(256)->Arg(4096);

void BM_MallocFree(benchmark::State& state) {
  const auto size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = std::malloc(size);
    benchmark::DoNotOptimize(p);
    std::free(p);
  }
}
BENCHMARK(BM_MallocFree)->Arg(32)->Arg(256)->Arg(4096);

}  // namespace
