#include "dict/dict_stream.h"

#include <cstring>
#include <string>

#include "base/endian.h"

namespace qd {

namespace {

[[noreturn]] void RaiseReadError(std::string_view message) { throw EReadError(std::string(message)); }

}  // namespace

TqdTaggedReader::TqdTaggedReader(TqdMemoryStream& stream)
    : stream_(stream), start_(stream.Position()) {
  if (stream.Remaining() > 0) bytes_ = stream.Bytes().subspan(start_);
}

TqdTaggedReader::~TqdTaggedReader() { stream_.Seek(start_ + position_); }

const uint8_t* TqdTaggedReader::Take(size_t count) {
  if (bytes_.size() - position_ < count) RaiseReadError(kStreamReadError);
  const uint8_t* p = bytes_.data() + position_;
  position_ += count;
  return p;
}

int32_t TqdTaggedReader::ReadInteger() {
  switch (*Take(1)) {
    case kTagInt8: return static_cast<int8_t>(*Take(1));
    case kTagInt16: return GetInt16LE(Take(2));
    case kTagInt32: return GetInt32LE(Take(4));
    default: RaiseReadError(kInvalidPropertyValue);
  }
}

bool TqdTaggedReader::ReadBoolean() { return *Take(1) == kTagTrue; }

std::string_view TqdTaggedReader::ReadStringView() {
  size_t length = 0;
  switch (*Take(1)) {
    case kTagString:
      length = *Take(1);
      break;
    case kTagLongString: {
      int32_t declared = GetInt32LE(Take(4));
      if (declared < 0) RaiseReadError(kInvalidPropertyValue);
      length = static_cast<size_t>(declared);
      break;
    }
    default: RaiseReadError(kInvalidPropertyValue);
  }
  const uint8_t* text = Take(length);
  return {reinterpret_cast<const char*>(text), length};
}

void TqdTaggedReader::ReadRaw(void* buffer, size_t count) {
  const uint8_t* p = Take(count);
  if (count > 0) std::memcpy(buffer, p, count);
}

void TqdTaggedWriter::WriteInteger(int32_t value) {
  uint8_t buffer[5];
  if (value >= INT8_MIN && value <= INT8_MAX) {
    buffer[0] = kTagInt8;
    buffer[1] = static_cast<uint8_t>(value);
    WriteRaw(buffer, 2);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    buffer[0] = kTagInt16;
    PutInt16LE(buffer + 1, static_cast<int16_t>(value));
    WriteRaw(buffer, 3);
  } else {
    buffer[0] = kTagInt32;
    PutInt32LE(buffer + 1, value);
    WriteRaw(buffer, 5);
  }
}

void TqdTaggedWriter::WriteBoolean(bool value) { bytes_.push_back(value ? kTagTrue : kTagFalse); }

void TqdTaggedWriter::WriteString(std::string_view text) {
  size_t length = text.size() < 255 ? text.size() : 255;
  bytes_.push_back(kTagString);
  bytes_.push_back(static_cast<uint8_t>(length));
  WriteRaw(text.data(), length);
}

void TqdTaggedWriter::WriteRaw(const void* data, size_t count) {
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
}

}  // namespace qd
