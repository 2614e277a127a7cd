// A record filter of three comparisons (an integer, a double and a text
// field against constants, joined by "and") over 1 000 000 records of the
// Orders table, evaluated on the client as a cursor's read would: the goal
// is at least 10 M records per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "callif/QDClTabl.h"
#include "dict/QDCLConv.h"
#include "tests/callif/filter_builder.h"
#include "tests/callif/open_table_sample.h"

namespace qd {
namespace {

std::vector<uint8_t> ThreeComparisons() {
  test::FilterBuilder b;
  uint16_t top = b.Node(nodeBinary, opAnd, {0, 0});
  uint16_t both = b.Node(nodeBinary, opAnd, {0, 0});
  uint16_t id = b.Compare(opGreater), amount = b.Compare(opLess), name = b.Compare(opNotEqual);
  b.Set(top, 0, both);
  b.Set(top, 1, name);
  b.Set(both, 0, id);
  b.Set(both, 1, amount);
  uint16_t field = b.Field(1, "Id");
  b.Operands(id, field, b.Constant(bdeInt32, test::Int32Bytes(10)));
  field = b.Field(3, "Amount");
  b.Operands(amount, field, b.Constant(bdeFloat, test::DoubleBytes(1e9)));
  field = b.Field(2, "Name");
  b.Operands(name, field, b.Constant(bdeZString, test::TextBytes("nobody")));
  return b.Block();
}

void BM_FilterThreeComparisons(benchmark::State& state) {
  TQDClientTable table(nullptr, nullptr, "Orders", nullptr, 0, dbiREADWRITE, dbiOPENSHARED, xltFIELD, nullptr);
  TqdMemoryStream stream(test::DictionaryBytes(*test::OrdersDictionary()));
  table.Dictionary().LoadFromStream(stream);
  table.BuildFieldDescs();
  const size_t size = static_cast<size_t>(table.Dictionary().RecordSize());
  const size_t count = 1000000;
  std::vector<uint8_t> records(size * count);
  for (size_t i = 0; i < count; ++i) {
    uint8_t* r = &records[i * size];
    table.InitRecord(r);
    int32_t id = static_cast<int32_t>(i);
    double amount = static_cast<double>(i % 1000) * 1.5;
    std::string name = "name" + std::to_string(i % 97);
    table.TranslatePut(1, r, &id);
    table.TranslatePut(2, r, name.c_str());
    table.TranslatePut(3, r, &amount);
  }
  std::vector<uint8_t> expression = ThreeComparisons();
  hDBIFilter filter = nullptr;
  table.AddFilter(0, 0, false, expression.data(), nullptr, filter);
  table.ActivateFilter(filter);
  size_t accepted = 0;
  for (auto _ : state) {
    accepted = 0;
    for (size_t i = 0; i < count; ++i) accepted += table.PassesFilters(&records[i * size]) ? 1 : 0;
    benchmark::DoNotOptimize(accepted);
  }
  if (accepted != count - 11) state.SkipWithError("wrong count of accepted records");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_FilterThreeComparisons)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qd
