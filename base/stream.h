// TqdMemoryStream: a growable byte buffer with a position, the stream that
// dictionaries are read from and written to and that stream requests and
// replies travel in.
// Thread rules: none; one owner at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qd {

class TqdMemoryStream {
 public:
  TqdMemoryStream() = default;
  explicit TqdMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  TqdMemoryStream(const void* data, size_t size);

  size_t Size() const { return bytes_.size(); }
  size_t Position() const { return position_; }
  size_t Remaining() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }

  // Moves the position; a position past the end is allowed (a later write
  // fills the gap with zeros). Returns the new position.
  size_t Seek(size_t position) { return position_ = position; }

  // Copies up to `count` bytes; returns how many were read.
  size_t Read(void* buffer, size_t count);
  // True when exactly `count` bytes were read; otherwise reads nothing.
  bool ReadExact(void* buffer, size_t count);
  void Write(const void* data, size_t count);
  // Sets the size, keeping the bytes that remain; the position is kept.
  void SetSize(size_t size) { bytes_.resize(size); }
  void Clear() {
    bytes_.clear();
    position_ = 0;
  }

  const uint8_t* Data() const { return bytes_.data(); }
  uint8_t* Data() { return bytes_.data(); }
  std::span<const uint8_t> Bytes() const { return bytes_; }
  std::vector<uint8_t>& Buffer() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace qd
