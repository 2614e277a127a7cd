// The dictionary stream reader over a stream a peer sent (an open-table
// reply, a restructure request). A stream it accepts and that validates is
// saved, read back and saved again: the two saved forms must be the same
// bytes, or a dictionary would change on its way between client and server.
// Thread rules: libFuzzer calls the target from one thread.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/QDLLExcp.h"
#include "base/stream.h"
#include "dict/QDLLDict.h"

namespace {

std::vector<uint8_t> Saved(qd::TqdDataDictionary& dict) {
  qd::TqdMemoryStream out;
  dict.SaveToStream(out);
  return {out.Bytes().begin(), out.Bytes().end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qd::TqdMemoryStream stream(data, size);
  qd::TqdDataDictionary dict;
  std::vector<uint8_t> first;
  try {
    dict.LoadFromStream(stream);
    first = Saved(dict);
  } catch (const qd::Exception&) {
    return 0;  // refused: what a hostile stream should get
  }
  qd::TqdMemoryStream again(first);
  qd::TqdDataDictionary copy;
  copy.LoadFromStream(again);
  if (Saved(copy) != first) __builtin_trap();
  return 0;
}
