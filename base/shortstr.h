// Short strings: a length byte followed by at most `Capacity` characters.
// Longer input is cut, never rejected. Also the text routines that work on
// the characters of a short string.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qd {

template <size_t Capacity>
class TqdShortString {
  static_assert(Capacity >= 1 && Capacity <= 255);

 public:
  static constexpr size_t kCapacity = Capacity;
  // Bytes the string takes in a record: the length byte and the characters.
  static constexpr size_t kFieldSize = Capacity + 1;

  TqdShortString() { bytes_.fill(0); }
  TqdShortString(std::string_view text) { Assign(text); }  // NOLINT: cutting conversion

  void Assign(std::string_view text) {
    bytes_.fill(0);
    size_t n = text.size() < Capacity ? text.size() : Capacity;
    bytes_[0] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) bytes_[i + 1] = static_cast<uint8_t>(text[i]);
  }
  // Appends as much of `text` as fits.
  void Append(std::string_view text) {
    size_t len = Length();
    size_t room = Capacity - len;
    size_t n = text.size() < room ? text.size() : room;
    for (size_t i = 0; i < n; ++i) bytes_[len + 1 + i] = static_cast<uint8_t>(text[i]);
    bytes_[0] = static_cast<uint8_t>(len + n);
  }

  size_t Length() const { return bytes_[0]; }
  bool Empty() const { return bytes_[0] == 0; }
  std::string_view View() const {
    return {reinterpret_cast<const char*>(bytes_.data() + 1), Length()};
  }
  std::string Str() const { return std::string(View()); }
  // The record form: length byte, characters, zero padding.
  const uint8_t* Bytes() const { return bytes_.data(); }

  friend bool operator==(const TqdShortString& a, const TqdShortString& b) {
    return a.View() == b.View();
  }

 private:
  std::array<uint8_t, Capacity + 1> bytes_;
};

inline constexpr size_t kNetNameCapacity = 31;
inline constexpr size_t kNetAddressCapacity = 63;
using TqdNetName = TqdShortString<kNetNameCapacity>;
using TqdNetAddress = TqdShortString<kNetAddressCapacity>;
using TqdString255 = TqdShortString<255>;

// -1, 0 or +1, comparing at most `max` characters of each as unsigned bytes;
// with no difference, the lengths (each capped at `max`) decide.
int CompareShortText(std::string_view a, std::string_view b, size_t max = 255);
// The same after folding ASCII a-z to A-Z.
int CompareShortTextNoCase(std::string_view a, std::string_view b, size_t max = 255);

int CompareUInt32(uint32_t a, uint32_t b);
int CompareInt32(int32_t a, int32_t b);
// Unsigned bytes; length 0 gives 0.
int CompareMemory(const void* a, const void* b, size_t length);

template <class T>
constexpr T Clamp(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}

// Zero-terminated text into a buffer of `capacity` bytes (always terminated
// when capacity > 0); returns the characters written.
size_t CopyToZeroTerminated(std::string_view text, char* buffer, size_t capacity);

// A pooled copy of a short string that also reads as zero-terminated text:
// the length byte, the characters, a zero byte. The empty string gives a
// shared constant that is never freed.
const uint8_t* NewSharedText(std::string_view text);
void FreeSharedText(const uint8_t*& text);
inline std::string_view SharedTextView(const uint8_t* text) {
  return {reinterpret_cast<const char*>(text + 1), text[0]};
}

}  // namespace qd
