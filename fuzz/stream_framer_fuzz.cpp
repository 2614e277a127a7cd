// The stream framer over a byte stream that arrives in chunks of any size,
// as a peer's TCP segments do. Besides the sanitizers it checks what a
// transport relies on: every part it hands out is as long as its MsgLen
// says and within the transport's largest part, and a framer that is not
// broken always has room to receive more.
// Thread rules: libFuzzer calls the target from one thread.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "comms/QDNetMsg.h"
#include "comms/stream_framer.h"
#include "fuzz/fuzz_input.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Takes every complete item; false once the stream is broken.
bool Drain(qd::TqdStreamFramer& framer, uint32_t maxMsgSize) {
  for (;;) {
    qd::TqdStreamFramer::Item item = framer.Next();
    switch (item.kind) {
      case qd::TqdStreamFramer::Kind::None: return true;
      case qd::TqdStreamFramer::Kind::Broken: return false;
      case qd::TqdStreamFramer::Kind::KeepAlive: Check(qd::IsKeepAlive(item.data, item.size)); break;
      case qd::TqdStreamFramer::Kind::Part:
        Check(item.size >= qd::kMsgHeaderSize && item.size <= maxMsgSize);
        Check(qd::PeekMsgLen(item.data) == item.size);
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qd::fuzz::FuzzInput in(data, size);
  const uint32_t maxMsgSize = qd::kMsgHeaderSize + in.Word() % 4096;
  const size_t capacity = maxMsgSize + in.Byte();
  qd::TqdStreamFramer framer(maxMsgSize, capacity);
  while (!in.Empty()) {
    std::span<const uint8_t> chunk = in.Take(1 + in.Byte());
    uint8_t* space = framer.Space();
    Check(framer.SpaceSize() > 0);
    size_t count = std::min(chunk.size(), framer.SpaceSize());
    std::memcpy(space, chunk.data(), count);
    framer.Filled(count);
    if (!Drain(framer, maxMsgSize)) break;
  }
  return 0;
}
