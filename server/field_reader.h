// Reading a request record's fields in order, each only within the bytes
// received: a read past them marks the record unreadable and yields zeros.
// Thread rules: plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/endian.h"

namespace qd {

using TqdBytes = std::span<const uint8_t>;

// Reads a record's fields in order, each within the record's checked size.
class FieldReader {
 public:
  FieldReader(TqdBytes data, size_t recordSize) : data_(data), ok_(data.size() >= recordSize) {}
  bool Ok() const { return ok_; }

  int32_t Int32() {
    if (!Within(4)) return 0;
    int32_t value = GetInt32LE(data_.data() + at_);
    at_ += 4;
    return value;
  }
  uint8_t Byte() {
    if (!Within(1)) return 0;
    return data_[at_++];
  }
  // A short string field of `capacity` characters; a NUL in the text makes
  // the record unreadable.
  std::string Name(size_t capacity) {
    if (!Within(capacity + 1)) return {};
    std::string text = GetShortString(data_.data() + at_, capacity);
    at_ += capacity + 1;
    if (text.find('\0') != std::string::npos) ok_ = false;
    return text;
  }
  size_t Offset() const { return at_; }
  // The next `n` bytes as they are.
  TqdBytes Bytes(size_t n) {
    if (!Within(n)) return {};
    TqdBytes bytes = data_.subspan(at_, n);
    at_ += n;
    return bytes;
  }

 private:
  bool Within(size_t n) {
    if (at_ + n > data_.size()) ok_ = false;
    return ok_;
  }
  TqdBytes data_;
  size_t at_ = 0;
  bool ok_;
};

template <class T>
std::optional<T> IfOk(const FieldReader& reader, T value) {
  return reader.Ok() ? std::optional<T>(std::move(value)) : std::nullopt;
}


}  // namespace qd
