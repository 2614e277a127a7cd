// Cuts the byte stream of a stream connection into message parts (at their
// MsgLen, which travels unscrambled) and keep-alives. No I/O: the caller
// receives into Space() and takes items with Next(). A MsgLen below 24 or
// above the transport's largest part means the stream cannot be framed any
// more: the connection must be dropped.
// Thread rules: one owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qd {

class TqdStreamFramer {
 public:
  enum class Kind { None, KeepAlive, Part, Broken };
  struct Item {
    Kind kind = Kind::None;
    uint8_t* data = nullptr;  // valid until the next Space()
    size_t size = 0;
  };

  // `capacity` must be at least `maxMsgSize`.
  TqdStreamFramer(uint32_t maxMsgSize, size_t capacity);

  // Where to receive next, after moving unread bytes to the front.
  uint8_t* Space();
  size_t SpaceSize() const { return buffer_.size() - end_; }
  void Filled(size_t count) { end_ += count; }

  // Takes the next complete item out of the buffer.
  Item Next();
  size_t Buffered() const { return end_ - begin_; }

 private:
  uint32_t maxMsgSize_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool broken_ = false;
};

}  // namespace qd
