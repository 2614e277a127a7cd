// The STR0 string-table reader over any bytes: a table it accepts must
// answer every one of its entries, whole and cut to small buffers, without
// reading outside the table.
// Thread rules: libFuzzer calls the target from one thread.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/endian.h"
#include "base/str0.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> table(data, size);
  try {
    qd::TqdStringResource reader(table);
    for (size_t i = 0; i < reader.Count(); ++i) {
      int32_t id = qd::GetInt32LE(data + qd::kStr0HeaderSize + qd::kStr0EntrySize * i);
      reader.ReadText(id);
      char small[7];
      reader.ReadTextInto(id, small, sizeof small);
      reader.ReadText(static_cast<int32_t>(static_cast<uint32_t>(id) + 1));  // an id between entries
    }
  } catch (const qd::Exception&) {
    // refused as not a sound table
  }
  return 0;
}
