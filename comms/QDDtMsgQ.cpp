#include "comms/QDDtMsgQ.h"

#include <algorithm>
#include <mutex>

#include "comms/bundle.h"
#include "comms/QDNetMsg.h"

namespace qd {
namespace {

// Reserving more than this up front would let a lying TotalSize make us
// allocate for bytes that never come; beyond it the data grows as it arrives.
constexpr size_t kMaxUpfrontReserve = 4u << 20;

}  // namespace

size_t TqdDataMessageQueue::Unfinished(TqdMsgID msgId, uint32_t connection) {
  for (size_t i = 0; i < reassembling_.size(); ++i)
    if (reassembling_[i]->MsgID == msgId && reassembling_[i]->Connection == connection) return i;
  return reassembling_.size();
}

void TqdDataMessageQueue::Complete(std::unique_ptr<TqdReceivedMessage> message) {
  complete_.push_back(std::move(message));
}

TqdPartStatus TqdDataMessageQueue::AddFirstPart(TqdMsgID msgId, uint32_t connection,
                                                uint8_t dataKind, const uint8_t* data,
                                                uint32_t size, uint32_t totalSize,
                                                uint32_t resultCode) {
  std::lock_guard guard(lock_);
  size_t old = Unfinished(msgId, connection);
  bool restarted = old < reassembling_.size();
  if (restarted) {
    queuedBytes_ -= Cost(*reassembling_[old]);
    reassembling_.erase(reassembling_.begin() + static_cast<std::ptrdiff_t>(old));
  }
  size_t take = std::min<size_t>(size, totalSize);
  if (totalSize > kMaxMessageDataSize || queuedBytes_ + kMessageCost + take > maxQueuedBytes_)
    return TqdPartStatus::psOverflow;
  auto message = std::make_unique<TqdReceivedMessage>();
  message->MsgID = msgId;
  message->Connection = connection;
  message->ResultCode = resultCode;
  message->TotalSize = totalSize;
  message->IsStream = dataKind == kDataKindStream;
  message->Data.reserve(std::min<size_t>(totalSize, kMaxUpfrontReserve));
  message->Data.assign(data, data + take);
  message->BytesReceived = static_cast<uint32_t>(take);
  queuedBytes_ += kMessageCost + take;
  if (take == totalSize) {
    Complete(std::move(message));
  } else {
    if (reassembling_.size() >= kMaxReassembling) {
      queuedBytes_ -= kMessageCost + take;
      return TqdPartStatus::psOverflow;
    }
    reassembling_.push_back(std::move(message));
  }
  return restarted ? TqdPartStatus::psRestarted : TqdPartStatus::psAccepted;
}

TqdPartStatus TqdDataMessageQueue::AddNextPart(TqdMsgID msgId, uint32_t connection,
                                               const uint8_t* data, uint32_t size) {
  std::lock_guard guard(lock_);
  size_t at = Unfinished(msgId, connection);
  if (at == reassembling_.size()) return TqdPartStatus::psDropped;
  TqdReceivedMessage& message = *reassembling_[at];
  size_t take = std::min<size_t>(size, message.TotalSize - message.BytesReceived);
  if (queuedBytes_ + take > maxQueuedBytes_) return TqdPartStatus::psOverflow;
  message.Data.insert(message.Data.end(), data, data + take);
  message.BytesReceived += static_cast<uint32_t>(take);
  queuedBytes_ += take;
  if (message.BytesReceived == message.TotalSize) {
    Complete(std::move(reassembling_[at]));
    reassembling_.erase(reassembling_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return TqdPartStatus::psAccepted;
}

bool TqdDataMessageQueue::IsEmpty() {
  std::lock_guard guard(lock_);
  return complete_.empty();
}

uint32_t TqdDataMessageQueue::Count() {
  std::lock_guard guard(lock_);
  return static_cast<uint32_t>(complete_.size());
}

bool TqdDataMessageQueue::UnpackBundleAtHead() {
  std::unique_ptr<TqdReceivedMessage> bundle = std::move(complete_.front());
  complete_.pop_front();
  queuedBytes_ -= Cost(*bundle);
  // The replies hold at most the bundle's data, and each costs kMessageCost
  // more: so many replies fit under the cap.
  size_t room = maxQueuedBytes_ - queuedBytes_;
  size_t data = bundle->Data.size();
  size_t maxRecords = room > data ? (room - data) / kMessageCost : 0;
  std::vector<TqdBundleRecord> records;
  if (!ParseBundle(bundle->Data, records, maxRecords)) return false;
  // Every entry is built before any is queued, so a failure leaves the queue
  // as it was without the bundle.
  std::vector<std::unique_ptr<TqdReceivedMessage>> entries;
  for (const TqdBundleRecord& record : records) {
    auto entry = std::make_unique<TqdReceivedMessage>();
    entry->MsgID = record.MsgID;
    entry->Connection = bundle->Connection;
    entry->ResultCode = record.ResultCode;
    entry->IsStream = record.DataKind == kDataKindStream;
    entry->TotalSize = static_cast<uint32_t>(record.Data.size());
    entry->BytesReceived = entry->TotalSize;
    entry->Data.assign(record.Data.begin(), record.Data.end());
    entries.push_back(std::move(entry));
  }
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    queuedBytes_ += Cost(**it);
    complete_.push_front(std::move(*it));
  }
  return true;
}

TqdReceivedMessage* TqdDataMessageQueue::Peek() {
  std::lock_guard guard(lock_);
  // A bundle may hold a bundle; each pass removes one level of nesting.
  for (int level = 0;
       !complete_.empty() && !complete_.front()->Taken && complete_.front()->MsgID == msgBundle; ++level) {
    if (level == kMaxBundleNesting) {
      queuedBytes_ -= Cost(*complete_.front());
      complete_.pop_front();
      malformedBundle_ = true;
      return nullptr;
    }
    if (!UnpackBundleAtHead()) {
      malformedBundle_ = true;
      return nullptr;
    }
  }
  if (complete_.empty() || complete_.front()->Taken) return nullptr;
  complete_.front()->Taken = true;
  return complete_.front().get();
}

bool TqdDataMessageQueue::TakeMalformedBundle() {
  std::lock_guard guard(lock_);
  bool was = malformedBundle_;
  malformedBundle_ = false;
  return was;
}

void TqdDataMessageQueue::RemoveHead() {
  std::lock_guard guard(lock_);
  if (complete_.empty()) return;
  queuedBytes_ -= Cost(*complete_.front());
  complete_.pop_front();
}

void TqdDataMessageQueue::DropConnection(uint32_t connection) {
  std::lock_guard guard(lock_);
  auto ofConnection = [&](const std::unique_ptr<TqdReceivedMessage>& m) {
    if (m->Connection != connection) return false;
    queuedBytes_ -= Cost(*m);
    return true;
  };
  std::erase_if(reassembling_, ofConnection);
  std::erase_if(complete_, ofConnection);
}

void TqdDataMessageQueue::DropUnfinished(uint32_t connection) {
  std::lock_guard guard(lock_);
  std::erase_if(reassembling_, [&](const std::unique_ptr<TqdReceivedMessage>& m) {
    if (m->Connection != connection) return false;
    queuedBytes_ -= Cost(*m);
    return true;
  });
}

void TqdDataMessageQueue::Clear() {
  std::lock_guard guard(lock_);
  complete_.clear();
  reassembling_.clear();
  queuedBytes_ = 0;
}

}  // namespace qd
