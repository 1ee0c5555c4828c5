// 3-Way: known answer, the reference vectors (little-endian words), agreement with Crypto++
// ThreeWay (big-endian words, so every word is byte-swapped), short keys, and round trips.
#include <cryptopp/3way.h>
#include <gtest/gtest.h>

#include <random>

#include "cipher/ciphers/three_way.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

// Reverses the bytes inside each 4-byte word.
Bytes SwapWords(Bytes b) {
  for (std::size_t i = 0; i + 4 <= b.size(); i += 4) {
    std::swap(b[i], b[i + 3]);
    std::swap(b[i + 1], b[i + 2]);
  }
  return b;
}

TEST(ThreeWayTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_3Way::StaticClass(),
                            "77FC77947C8FDE21E981DF2AB1BC7EF8A3B6444BB6FC79C49B684F09C7BF0E05");
}

TEST(ThreeWayTest, ReferenceVectors) { EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_3Way::StaticClass()), 4u); }

TEST(ThreeWayTest, Dimensions) { cvtest::ExpectDimensions<TCipher_3Way>(12, 12, 120); }

TEST(ThreeWayTest, ScheduleHoldsKeyAndRoundConstants) {
  TCipher_3Way c;
  const Bytes key = FromHex("0102030405060708090A0B0C");
  c.Init(key.data(), 12, nullptr);
  const auto s = c.ScheduleBytes();
  auto word = [&](std::size_t i) { return LoadLE32(s.data() + 4 * i); };
  EXPECT_EQ(word(0), 0x04030201u);
  EXPECT_EQ(word(2), 0x0C0B0A09u);
  // Round constants: 0x0B0B doubled with 0x11011 folded in at bit 16; the same from 0xB1B1.
  EXPECT_EQ(word(3), 0x0B0Bu);
  EXPECT_EQ(word(4), 0x1616u);
  EXPECT_EQ(word(5), 0x2C2Cu);
  EXPECT_EQ(word(18), 0xB1B1u);
  EXPECT_EQ(word(19), 0x7373u);  // 0xB1B1 << 1 = 0x16362 has bit 16 set: ^ 0x11011
}

TEST(ThreeWayTest, AgreesWithCryptoppOnSwappedWords) {
  std::mt19937 rng(21);
  cvtest::ExpectAgreesWithCryptoppBlocks<CryptoPP::ThreeWay>(TCipher_3Way::StaticClass(), rng, 12, 12, 200,
                                                             {.key = SwapWords, .blockOrder = SwapWords});
}

TEST(ThreeWayTest, ShortKeyIsZeroPadded) {
  std::mt19937 rng(22);
  cvtest::ExpectShortKeysZeroPadded<TCipher_3Way>(rng, 0, 12, 12,
                                                  [&](TCipher_3Way& shortKey, TCipher_3Way& padded) {
                                                    const Bytes block = RandomBytes(rng, 12);
                                                    EXPECT_EQ(ToHex(cvtest::EncryptBlockCopy(shortKey, block)),
                                                              ToHex(cvtest::EncryptBlockCopy(padded, block)));
                                                  });
}

TEST(ThreeWayTest, RoundTripInEncryptionModes) {
  std::mt19937 rng(23);
  cvtest::ExpectRoundTripsInModes(
      TCipher_3Way::StaticClass(), rng, {0, 1, 11, 12, 13, 27, 120, 333},
      [](std::mt19937& r) { return std::size_t(r() % 13); }, 12);
}

TEST(ThreeWayTest, Registered) {
  cvtest::ExpectRegistered(TCipher_3Way::StaticClass(), "3Way=", {"3way", "TCipher_3Way"});
}

}  // namespace
}  // namespace corvane
