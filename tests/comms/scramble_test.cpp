// Scrambling against key bytes worked out by hand from the derivation
// (signed 32-bit arithmetic, truncating division).
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "base/ticks.h"
#include "comms/QDNetMsg.h"
#include "comms/scramble.h"

namespace qd {
namespace {

TEST(ScrambleKeyTest, DerivationMatchesHandComputedBytes) {
  struct Case {
    int32_t seed;
    std::vector<uint8_t> first;
  };
  const Case cases[] = {
      {1, {0x3D, 0xF3, 0x5F}},        // x: 61914, 246647, 97000
      {-1, {0x2F, 0x7A}},             // x: 47632, 124485
      {-259199, {0x3E, 0xF4}},        // x stays negative: -197286, -12553
  };
  for (const Case& c : cases) {
    TqdScrambleKeyBytes key = DeriveScrambleKey(c.seed);
    for (size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(key[i], c.first[i]) << c.seed << "[" << i << "]";
  }
  // The seed is taken modulo 259200 first.
  EXPECT_EQ(DeriveScrambleKey(1), DeriveScrambleKey(259201));
}

TEST(ScrambleKeyTest, SeedFromAttachUsesThePasswordHashOnlyWhenSecure) {
  // ELF hash of "ab": 97 * 16 + 98 = 1650 = 0x672.
  EXPECT_EQ(ScramblingSeed(0x100, true, "ab"), 0x772);
  EXPECT_EQ(ScramblingSeed(0x100, false, "ab"), 0x100);
  EXPECT_EQ(ScramblingSeed(-1, true, "ab"), static_cast<int32_t>(0xFFFFFFFFu ^ 0x672u));
}

// Atomic: a tick source may be read on any thread.
std::atomic<uint32_t> g_ticks{0};
uint32_t FakeTicks() { return g_ticks; }

TEST(ScrambleKeyTest, ZeroSeedTakesTheTickCountOrTheFallback) {
  SetTickSource(&FakeTicks);
  TqdScrambleKey key;
  g_ticks = 1234;
  key.SetSeed(0);
  EXPECT_EQ(key.Seed(), 1234);
  EXPECT_EQ(key.Bytes(), DeriveScrambleKey(1234));
  g_ticks = 0;
  key.SetSeed(0);
  EXPECT_EQ(key.Seed(), kFallbackScrambleSeed);
  SetTickSource(nullptr);
}

std::vector<uint8_t> Part(uint32_t msgId, size_t size) {
  std::vector<uint8_t> part(size);
  for (size_t i = 0; i < size; ++i) part[i] = static_cast<uint8_t>(i * 7);
  part[0] = static_cast<uint8_t>(msgId);
  part[1] = part[2] = part[3] = 0;
  return part;
}

TEST(ScramblePartTest, XorsFromOffsetEightWithTheKeyRestartingEveryPart) {
  TqdScrambleKey key;
  key.SetSeed(1);
  std::vector<uint8_t> plain = Part(9, 8 + 256 + 3);
  std::vector<uint8_t> part = plain;
  key.ScramblePart(part.data(), part.size());
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(part[i], plain[i]);
  EXPECT_EQ(part[8], plain[8] ^ 0x3D);
  EXPECT_EQ(part[9], plain[9] ^ 0xF3);
  EXPECT_EQ(part[10], plain[10] ^ 0x5F);
  EXPECT_EQ(part[8 + 256], plain[8 + 256] ^ 0x3D);  // key byte j mod 256
  key.ScramblePart(part.data(), part.size());
  EXPECT_EQ(part, plain);  // the same operation unscrambles
}

TEST(ScramblePartTest, PartsThatStayPlain) {
  TqdScrambleKey seeded;
  seeded.SetSeed(1);
  TqdScrambleKey unseeded;
  struct Case {
    const char* what;
    const TqdScrambleKey* key;
    uint32_t msgId;
    size_t size;
  };
  const Case cases[] = {
      {"attach", &seeded, msgAttach, 90},
      {"message 1", &seeded, msgUnscrambled, 40},
      {"keep-alive", &seeded, msgKeepAlive, 4},
      {"eight bytes", &seeded, 258, 8},
      {"no seed yet", &unseeded, 258, 100},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> part = Part(c.msgId, c.size);
    std::vector<uint8_t> plain = part;
    c.key->ScramblePart(part.data(), part.size());
    EXPECT_EQ(part, plain) << c.what;
  }
}

TEST(ScramblePartTest, HeaderKeyBytesCanBeRecoveredFromAKnownHeader) {
  TqdScrambleKey key;
  key.SetSeed(987654);
  TqdMsgHeader h;
  h.MsgID = msgConfirmLogin;
  h.ClientID = 42;
  h.Timeout = kRequestTimeoutField;
  uint8_t plain[24], scrambled[24];
  EncodeMsgHeader(h, plain);
  EncodeMsgHeader(h, scrambled);
  key.ScramblePart(scrambled, 24);
  auto recovered = RecoverHeaderKeyBytes(scrambled, plain);
  for (size_t j = 0; j < 16; ++j) EXPECT_EQ(recovered[j], key.Bytes()[j]);
  ScrambleHeaderWith(scrambled, recovered);
  EXPECT_EQ(std::vector<uint8_t>(scrambled, scrambled + 24), std::vector<uint8_t>(plain, plain + 24));
}

}  // namespace
}  // namespace qd
