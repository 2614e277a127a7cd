// The received-message queue fed as a client's comms engine feeds it: each
// part's header is checked, sound parts go in as first or next parts of up
// to four connections, and complete messages (bundles unpacked) come out.
// The input is a script of parts and takes; a small byte cap lets the
// fuzzer reach the overflow answers too.
// Thread rules: libFuzzer calls the target from one thread.
#include <cstddef>
#include <cstdint>

#include "comms/QDDtMsgQ.h"
#include "comms/QDNetMsg.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr uint32_t kMaxPart = 8192;
constexpr size_t kQueueCap = 1u << 20;

void AddPart(qd::TqdDataMessageQueue& queue, uint32_t connection, std::span<const uint8_t> part) {
  if (part.size() < qd::kMsgHeaderSize) return;
  qd::TqdMsgHeader header = qd::DecodeMsgHeader(part.data());
  if (!qd::IsSoundHeader(header, part.size(), kMaxPart)) return;
  const uint8_t* data = part.data() + qd::kMsgHeaderSize;
  uint32_t size = header.MsgLen - qd::kMsgHeaderSize;
  if (header.FirstPart == 1) {
    queue.AddFirstPart(header.MsgID, connection, header.DataKind, data, size, header.TotalSize, header.ResultCode);
  } else {
    queue.AddNextPart(header.MsgID, connection, data, size);
  }
}

void TakeHead(qd::TqdDataMessageQueue& queue, bool remove) {
  if (qd::TqdReceivedMessage* m = queue.Peek()) {
    // Reads every byte the queue claims to hold.
    volatile uint8_t sum = 0;
    for (uint8_t b : m->Data) sum = sum + b;
  }
  queue.TakeMalformedBundle();
  if (remove) queue.RemoveHead();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qd::fuzz::FuzzInput in(data, size);
  qd::TqdDataMessageQueue queue(kQueueCap);
  while (!in.Empty()) {
    uint8_t op = in.Byte();
    uint32_t connection = (op >> 2) & 3;
    switch (op & 3) {
      case 0:
      case 1: AddPart(queue, connection, in.Run()); break;
      case 2: TakeHead(queue, (op & 0x10) != 0); break;
      default:
        if (op & 0x10) {
          queue.DropConnection(connection);
        } else {
          queue.DropUnfinished(connection);
        }
    }
  }
  while (!queue.IsEmpty()) TakeHead(queue, true);
  return 0;
}
