// Composite keys and dictionary loading, the two dictionary paths a server
// and a cursor run most: one key per record in an index rebuild, one load
// per table open.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dict/QDLLDict.h"

namespace qd {
namespace {

void BM_BuildCompositeKey(benchmark::State& state) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, true);
  d.AddField("Name", "", fkShortString, 20, 0, false);
  d.AddField("Other", "", fkDouble, 15, 2, false);
  const int32_t keys[] = {0, 1};
  d.AddCompositeIndex("ByIdName", "", 0, keys, false, true, false);
  std::vector<uint8_t> record(static_cast<size_t>(d.RecordSize()));
  d.ClearRecord(record.data());
  const uint8_t id[4] = {1, 2, 3, 4};
  uint8_t name[21] = {5, 'H', 'e', 'l', 'l', 'o'};
  d.WriteFieldValue(0, record.data(), id);
  d.WriteFieldValue(1, record.data(), name);
  std::vector<uint8_t> key(static_cast<size_t>(d.IndexKeyLength(1)));
  for (auto _ : state) {
    d.BuildCompositeKey(1, record.data(), key.data());
    benchmark::DoNotOptimize(key.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildCompositeKey);

// 100 fields of mixed types, every tenth with a validity check, and 19
// composite indexes besides index 0.
TqdMemoryStream MakeLargeDictionaryStream() {
  TqdDataDictionary d(32768);
  const TqdFieldKind kinds[] = {fkInt32, fkShortString, fkDouble, fkDate, fkBoolean};
  for (int n = 0; n < 100; ++n) {
    d.AddField("Field" + std::to_string(n), "description of field " + std::to_string(n), kinds[n % 5], 20, 0,
               n % 3 == 0);
    if (n % 10 == 0) {
      TqdDictValidity v;
      v.HasMinimum = v.HasMaximum = true;
      v.Picture.Assign("###");
      d.SetFieldValidity(n, v);
    }
  }
  for (int i = 1; i < 20; ++i) {
    const int32_t keys[] = {i, i + 20, i + 40};
    d.AddCompositeIndex("Index" + std::to_string(i), "an index", 0, keys, i % 2 == 0, true, false);
  }
  TqdMemoryStream s;
  d.SaveToStream(s);
  return s;
}

void BM_LoadFromStream(benchmark::State& state) {
  TqdMemoryStream s = MakeLargeDictionaryStream();
  TqdDataDictionary d;
  for (auto _ : state) {
    s.Seek(0);
    d.LoadFromStream(s);
    benchmark::DoNotOptimize(d.FieldCount());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.Size()));
  state.counters["stream bytes"] = static_cast<double>(s.Size());
}
BENCHMARK(BM_LoadFromStream);

}  // namespace
}  // namespace qd
