// The call interface's readers of what a server answers: the first byte
// picks the reader, the rest is the reply. Alias-list and table-list rows,
// the task-status reply, and the open-table reply, whose dictionary a
// client cursor then builds its field descriptions and blank records from.
// Thread rules: libFuzzer calls the target from one thread.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <vector>

#include "base/stream.h"
#include "callif/QDClTabl.h"
#include "callif/request_records.h"

namespace {

void OpenTable(std::span<const uint8_t> reply) {
  qd::TQDClientTable table{nullptr, nullptr, "T", nullptr, 0, qd::dbiREADWRITE, qd::dbiOPENSHARED, qd::xltFIELD,
                           nullptr};
  qd::TqdMemoryStream stream(reply.data(), reply.size());
  if (!qd::DecodeOpenTableReply(stream, table.Dictionary())) return;
  try {
    table.BuildFieldDescs();
  } catch (const std::exception&) {
    return;  // the cursor answers 8962
  }
  std::vector<uint8_t> record(static_cast<size_t>(table.Dictionary().RecordSize()));
  table.InitRecord(record.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::span<const uint8_t> reply(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: qd::DecodeAliasRow(reply); break;
    case 1: qd::DecodeTableRow(reply); break;
    case 2: qd::DecodeTaskStatusReply(reply); break;
    default: OpenTable(reply);
  }
  return 0;
}
