// TqdDataMessageQueue: received message parts are put together here into
// complete messages, which wait first-in first-out until the comms engine
// takes them; a bundle is unpacked into its replies when it reaches the head.
// Like a reply parser it does no I/O: feed parts, take complete messages.
// Every size comes from a peer, so the queue caps what it holds.
// Thread rules: every operation holds the queue's re-entrant lock.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "base/padlock.h"
#include "comms/msg_numbers.h"

namespace qd {

// One message being put together or complete.
struct TqdReceivedMessage {
  uint32_t BytesReceived = 0;
  TqdMsgID MsgID = 0;
  uint32_t Connection = 0;
  uint32_t ResultCode = 0;
  uint32_t TotalSize = 0;
  bool IsStream = false;  // the data is to be held as a stream
  bool Taken = false;     // the engine has looked at it as the current reply
  std::vector<uint8_t> Data;  // grows as parts arrive, never beyond TotalSize
};

enum class TqdPartStatus {
  psAccepted,
  psRestarted,  // kept, but as a first part that abandoned a message begun
  psDropped,   // a continuation without its message; nothing kept
  psOverflow,  // the queue would grow past its caps: the peer is not sane
};

class TqdDataMessageQueue {
 public:
  // At most this many messages are put together at once ...
  static constexpr size_t kMaxReassembling = 64;
  // ... and all messages together cost at most this many bytes: their data
  // and, for each message, kMessageCost, so that messages without data (a
  // bundle of empty replies, a flood of empty parts) cannot pile up either.
  static constexpr size_t kMaxQueuedBytes = 128u << 20;
  static constexpr size_t kMessageCost = sizeof(TqdReceivedMessage) + 16;
  // A bundle whose first reply is a bundle is unpacked again, at most this
  // many levels deep: each level copies the data once more, so a peer's
  // deeply nested bundle would otherwise cost time of the square of its size.
  static constexpr int kMaxBundleNesting = 8;

  explicit TqdDataMessageQueue(size_t maxQueuedBytes = kMaxQueuedBytes) : maxQueuedBytes_(maxQueuedBytes) {}
  TqdDataMessageQueue(const TqdDataMessageQueue&) = delete;
  TqdDataMessageQueue& operator=(const TqdDataMessageQueue&) = delete;

  // A part whose FirstPart is 1. An unfinished message with the same number
  // and connection is abandoned for the new one (psRestarted).
  TqdPartStatus AddFirstPart(TqdMsgID msgId, uint32_t connection, uint8_t dataKind,
                             const uint8_t* data, uint32_t size, uint32_t totalSize,
                             uint32_t resultCode);
  // A part whose FirstPart is 0: appended to the unfinished message of the
  // same number and connection, at most the bytes it still lacks.
  TqdPartStatus AddNextPart(TqdMsgID msgId, uint32_t connection, const uint8_t* data,
                            uint32_t size);

  bool IsEmpty();
  uint32_t Count();
  // The head of the complete messages, marked taken; nullptr when there is
  // none or the head was taken already. A bundle at the head is unpacked
  // first; a malformed or too deeply nested one, or one whose replies would
  // pass the queue's cap, is destroyed (see TakeMalformedBundle).
  TqdReceivedMessage* Peek();
  // True once after Peek destroyed a malformed bundle.
  bool TakeMalformedBundle();
  void RemoveHead();
  // Drops every message of a connection that has gone: nothing it sent can
  // answer a request made on a later connection.
  void DropConnection(uint32_t connection);
  // Drops only the messages of a connection that are still being put
  // together (a server's client sends one request at a time, so a new
  // request means the unfinished one was given up).
  void DropUnfinished(uint32_t connection);
  void Clear();

 private:
  void Complete(std::unique_ptr<TqdReceivedMessage> message);
  bool UnpackBundleAtHead();
  size_t Unfinished(TqdMsgID msgId, uint32_t connection);
  static size_t Cost(const TqdReceivedMessage& message) { return kMessageCost + message.Data.size(); }

  TqdPadLock lock_;
  std::deque<std::unique_ptr<TqdReceivedMessage>> complete_;
  std::vector<std::unique_ptr<TqdReceivedMessage>> reassembling_;
  size_t maxQueuedBytes_;
  size_t queuedBytes_ = 0;
  bool malformedBundle_ = false;
};

}  // namespace qd
