// Scrambling of message parts: a 256-byte key derived from a 32-bit signed
// seed XORs every byte of a part from offset 8 on (MsgID and MsgLen stay
// plain so that a stream can be framed first). Parts of message 1 and 11,
// and anything of 8 bytes or less (keep-alives), are never scrambled. Both
// ends must derive the key bit for bit alike, so all arithmetic is signed
// 32-bit with truncating division.
// Thread rules: a key is written by its owner only; scrambling reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qd {

inline constexpr size_t kScrambleKeySize = 256;
inline constexpr int32_t kScrambleModulus = 259200;
// The seed used when a zero seed is given while the tick count is also 0.
inline constexpr int32_t kFallbackScrambleSeed = 0x5144;

using TqdScrambleKeyBytes = std::array<uint8_t, kScrambleKeySize>;

TqdScrambleKeyBytes DeriveScrambleKey(int32_t seed);

// The seed a client sets after attach: the scrambling code, XORed with the
// hash of the password's characters when the server is secure.
int32_t ScramblingSeed(int32_t scramblingCode, bool secure, std::string_view password);

class TqdScrambleKey {
 public:
  // All zero until a seed is set: scrambling is then a no-op.
  TqdScrambleKey() { bytes_.fill(0); }

  // A seed of 0 takes the tick count instead (or kFallbackScrambleSeed).
  void SetSeed(int32_t seed);
  int32_t Seed() const { return seed_; }
  const TqdScrambleKeyBytes& Bytes() const { return bytes_; }

  // Scrambles (or unscrambles: the same operation) a part of `size` bytes in
  // place.
  void ScramblePart(uint8_t* part, size_t size) const;

 private:
  int32_t seed_ = 0;
  bool zero_ = true;
  TqdScrambleKeyBytes bytes_;
};

// XORs bytes[j] with key[j mod 256] for j in 0..size-1.
void XorWithKey(uint8_t* bytes, size_t size, const TqdScrambleKeyBytes& key);

// For a server that cannot know a client's key (a wrong password): the first
// 16 key bytes, recovered from a scrambled header whose plain form is known.
// REQUIRES: both headers hold 24 bytes.
std::array<uint8_t, 16> RecoverHeaderKeyBytes(const uint8_t* scrambledHeader,
                                              const uint8_t* plainHeader);
// Scrambles bytes 8..23 of a 24-byte header with recovered key bytes.
void ScrambleHeaderWith(uint8_t* header, const std::array<uint8_t, 16>& keyBytes);

}  // namespace qd
