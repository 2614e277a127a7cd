// The bytes a connection's socket has not taken yet, kept as the parts they
// were sent as, so that memory goes back part by part as the socket drains
// (a client that reads slowly never makes the server keep what it already
// read). A transport-wide total may be kept up to date beside each queue.
// Thread rules: the transport's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace qd {

class TqdUnsentQueue {
 public:
  // `total`, when given, is raised and lowered with this queue's bytes.
  explicit TqdUnsentQueue(size_t* total = nullptr) : total_(total) {}
  ~TqdUnsentQueue() { Clear(); }
  TqdUnsentQueue(const TqdUnsentQueue&) = delete;
  TqdUnsentQueue& operator=(const TqdUnsentQueue&) = delete;

  bool Empty() const { return bytes_ == 0; }
  size_t Bytes() const { return bytes_; }
  // Copies a part (or what is left of one) to the back.
  void Push(const uint8_t* data, size_t size);
  // What to send next: the rest of the front part.
  std::span<const uint8_t> Front() const;
  // The socket took `count` bytes of Front(). REQUIRES: count <= Front().size().
  void Consume(size_t count);
  void Clear();

 private:
  void Count(size_t added, size_t removed);

  std::deque<std::vector<uint8_t>> parts_;
  size_t offset_ = 0;  // into the front part
  size_t bytes_ = 0;
  size_t* total_;
};

}  // namespace qd
