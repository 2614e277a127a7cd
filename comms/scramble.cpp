#include "comms/scramble.h"

#include "base/QDHash.h"
#include "base/ticks.h"
#include "comms/msg_numbers.h"
#include "comms/QDNetMsg.h"

namespace qd {

TqdScrambleKeyBytes DeriveScrambleKey(int32_t seed) {
  TqdScrambleKeyBytes key;
  int32_t x = seed % kScrambleModulus;  // C++ division truncates, as both ends require
  for (size_t i = 0; i < kScrambleKeySize; ++i) {
    x = (x * 7141 + 54773) % kScrambleModulus;  // |x| < 259200: no overflow
    key[i] = static_cast<uint8_t>((x * 256) / kScrambleModulus);
  }
  return key;
}

int32_t ScramblingSeed(int32_t scramblingCode, bool secure, std::string_view password) {
  if (!secure) return scramblingCode;
  return static_cast<int32_t>(static_cast<uint32_t>(scramblingCode) ^ HashShortString(password));
}

void TqdScrambleKey::SetSeed(int32_t seed) {
  if (seed == 0) seed = static_cast<int32_t>(GetTickCount());
  if (seed == 0) seed = kFallbackScrambleSeed;
  seed_ = seed;
  bytes_ = DeriveScrambleKey(seed);
  zero_ = false;
}

void XorWithKey(uint8_t* bytes, size_t size, const TqdScrambleKeyBytes& key) {
  // Whole key lengths first: a fixed-length loop the compiler vectorises.
  while (size >= kScrambleKeySize) {
    for (size_t i = 0; i < kScrambleKeySize; ++i) bytes[i] ^= key[i];
    bytes += kScrambleKeySize;
    size -= kScrambleKeySize;
  }
  for (size_t i = 0; i < size; ++i) bytes[i] ^= key[i];
}

void TqdScrambleKey::ScramblePart(uint8_t* part, size_t size) const {
  if (zero_ || size <= 8) return;
  uint32_t id = PeekMsgID(part);
  if (id == msgUnscrambled || id == msgAttach) return;
  XorWithKey(part + 8, size - 8, bytes_);
}

std::array<uint8_t, 16> RecoverHeaderKeyBytes(const uint8_t* scrambledHeader,
                                              const uint8_t* plainHeader) {
  std::array<uint8_t, 16> key;
  for (size_t j = 0; j < key.size(); ++j) key[j] = scrambledHeader[8 + j] ^ plainHeader[8 + j];
  return key;
}

void ScrambleHeaderWith(uint8_t* header, const std::array<uint8_t, 16>& keyBytes) {
  for (size_t j = 0; j < keyBytes.size(); ++j) header[8 + j] ^= keyBytes[j];
}

}  // namespace qd
