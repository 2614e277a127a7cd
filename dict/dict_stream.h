// The tagged value encoding of dictionary streams: integers in the shortest
// of three widths, booleans, short strings and untagged raw bytes.
//
// TqdTaggedReader reads from a memory stream's position and, when it goes
// out of scope (also by an exception), leaves the stream exactly behind the
// last value it consumed. Every length is checked against the bytes that
// are left before it is trusted; nothing is allocated from a length.
// Thread rules: one reader or writer per stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/QDLLExcp.h"
#include "base/shortstr.h"
#include "base/stream.h"

namespace qd {

// The framework's error for a stream that cannot be read as expected.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

inline constexpr std::string_view kInvalidPropertyValue = "Invalid property value";
inline constexpr std::string_view kStreamReadError = "Stream read error";

// Value tags.
inline constexpr uint8_t kTagFalse = 0x08;
inline constexpr uint8_t kTagTrue = 0x09;
inline constexpr uint8_t kTagInt8 = 0x02;
inline constexpr uint8_t kTagInt16 = 0x03;
inline constexpr uint8_t kTagInt32 = 0x04;
inline constexpr uint8_t kTagString = 0x06;      // length byte, then the text
inline constexpr uint8_t kTagLongString = 0x0C;  // 32-bit length, then the text

class TqdTaggedReader {
 public:
  explicit TqdTaggedReader(TqdMemoryStream& stream);
  ~TqdTaggedReader();
  TqdTaggedReader(const TqdTaggedReader&) = delete;
  TqdTaggedReader& operator=(const TqdTaggedReader&) = delete;

  int32_t ReadInteger();
  // Any byte other than the true tag reads as false.
  bool ReadBoolean();
  // Reads a string and keeps as much of it as fits `text`.
  template <size_t N>
  void ReadShortString(TqdShortString<N>& text) {
    text.Assign(ReadStringView());
  }
  // Copies exactly `count` untagged bytes.
  void ReadRaw(void* buffer, size_t count);

  size_t Consumed() const { return position_; }

 private:
  // The text of the next string; valid while the stream is not changed.
  std::string_view ReadStringView();
  const uint8_t* Take(size_t count);

  TqdMemoryStream& stream_;
  size_t start_;
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

// Collects the values and appends them to a stream in one write.
class TqdTaggedWriter {
 public:
  void WriteInteger(int32_t value);
  void WriteBoolean(bool value);
  // Short strings only: text beyond 255 characters is cut.
  void WriteString(std::string_view text);
  void WriteRaw(const void* data, size_t count);

  std::span<const uint8_t> Bytes() const { return bytes_; }
  // Appends everything at the stream's position.
  void FlushTo(TqdMemoryStream& stream) const { stream.Write(bytes_.data(), bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace qd
