// The filter-expression validator as AddFilter meets a caller's block on a
// client cursor over Orders (Id, Name, Amount, Day): a block it accepts is
// activated and evaluated against a blank and a filled record, which the
// validation promised can be done without reading outside the block.
// Thread rules: libFuzzer calls the target from one thread.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/stream.h"
#include "callif/QDClTabl.h"
#include "callif/filter_expression.h"
#include "tests/callif/open_table_sample.h"

namespace {

struct OrdersCursor {
  OrdersCursor() {
    qd::TqdMemoryStream stream(qd::test::DictionaryBytes(*qd::test::OrdersDictionary()));
    Table.Dictionary().LoadFromStream(stream);
    Table.BuildFieldDescs();
    Blank.resize(static_cast<size_t>(Table.Dictionary().RecordSize()));
    Table.InitRecord(Blank.data());
    Filled = Blank;
    int32_t id = 7;
    double amount = 12.5;
    Table.TranslatePut(1, Filled.data(), &id);
    Table.TranslatePut(2, Filled.data(), "Smith");
    Table.TranslatePut(3, Filled.data(), &amount);
  }
  qd::TQDClientTable Table{nullptr, nullptr, "Orders", nullptr, 0, qd::dbiREADWRITE, qd::dbiOPENSHARED, qd::xltFIELD,
                           nullptr};
  std::vector<uint8_t> Blank, Filled;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static OrdersCursor cursor;
  if (size < qd::kFilterHeaderSize) return 0;
  // A caller's block is as long as its header says.
  std::vector<uint8_t> block(data, data + size);
  if (qd::FilterExpressionSize(block.data()) > block.size()) block.resize(qd::FilterExpressionSize(block.data()));
  qd::hDBIFilter filter = nullptr;
  if (cursor.Table.AddFilter(0, 1, false, block.data(), nullptr, filter) != qd::qdOK) return 0;
  cursor.Table.ActivateFilter(filter);
  cursor.Table.PassesFilters(cursor.Blank.data());
  cursor.Table.PassesFilters(cursor.Filled.data());
  cursor.Table.DropFilter(filter);
  return 0;
}
