// 3-Way: known answer, the reference vectors (little-endian words), agreement with Crypto++
// ThreeWay (big-endian words, so every word is byte-swapped), short keys, and round trips.
#include <cryptopp/3way.h>
#include <gtest/gtest.h>

#include <random>

#include "cipher/three_way.h"
#include "cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::ToHex;

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

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

TEST(ThreeWayTest, ReferenceVectors) {
  EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_3Way::StaticClass()), 4u);
}

TEST(ThreeWayTest, Dimensions) {
  TCipher_3Way c;
  EXPECT_EQ(c.BlockSize(), 12);
  EXPECT_EQ(c.MaxKeySize(), 12);
  EXPECT_EQ(c.ScheduleSize(), 120);
}

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
  for (int trial = 0; trial < 200; ++trial) {
    const Bytes key = RandomBytes(rng, 12);
    TCipher_3Way c;
    c.Init(key.data(), 12, nullptr);
    const Bytes cppKey = SwapWords(key);
    CryptoPP::ThreeWay::Encryption enc(cppKey.data(), cppKey.size());
    CryptoPP::ThreeWay::Decryption dec(cppKey.data(), cppKey.size());
    for (int b = 0; b < 4; ++b) {
      const Bytes block = RandomBytes(rng, 12);
      Bytes expected(12);
      enc.ProcessBlock(SwapWords(block).data(), expected.data());
      expected = SwapWords(expected);
      Bytes got = block;
      c.EncryptBlock(got.data());
      ASSERT_EQ(ToHex(got), ToHex(expected)) << "key " << ToHex(key);
      Bytes back(12);
      dec.ProcessBlock(SwapWords(got).data(), back.data());
      EXPECT_EQ(ToHex(SwapWords(back)), ToHex(block));
      c.DecryptBlock(got.data());
      ASSERT_EQ(ToHex(got), ToHex(block));
    }
  }
}

TEST(ThreeWayTest, ShortKeyIsZeroPadded) {
  std::mt19937 rng(22);
  for (std::int32_t len = 0; len < 12; ++len) {
    SCOPED_TRACE(len);
    Bytes key = RandomBytes(rng, 12);
    const Bytes block = RandomBytes(rng, 12);
    TCipher_3Way shortKey;
    shortKey.Init(key.data(), len, nullptr);
    for (std::size_t n = std::size_t(len); n < 12; ++n) key[n] = 0;
    TCipher_3Way padded;
    padded.Init(key.data(), 12, nullptr);
    Bytes a = block, b = block;
    shortKey.EncryptBlock(a.data());
    padded.EncryptBlock(b.data());
    EXPECT_EQ(ToHex(a), ToHex(b));
  }
}

TEST(ThreeWayTest, RoundTripInEncryptionModes) {
  const TCipherMode modes[] = {TCipherMode::cmCTS, TCipherMode::cmCBC, TCipherMode::cmCFB, TCipherMode::cmOFB,
                               TCipherMode::cmECB};
  std::mt19937 rng(23);
  for (auto mode : modes) {
    for (std::size_t len : {0u, 1u, 11u, 12u, 13u, 27u, 120u, 333u}) {
      SCOPED_TRACE("mode " + std::to_string(int(mode)) + " length " + std::to_string(len));
      const Bytes key = RandomBytes(rng, rng() % 13);
      const Bytes plain = RandomBytes(rng, len);
      TCipher_3Way c;
      c.Mode = mode;
      c.Init(key.data(), std::int32_t(key.size()), nullptr);
      Bytes buf = plain;
      c.EncryptBuffer(buf.data(), buf.data(), buf.size());
      if (len >= 12) {
        EXPECT_NE(ToHex(buf), ToHex(plain));
      }
      c.ResetChain();
      c.DecryptBuffer(buf.data(), buf.data(), buf.size());
      EXPECT_EQ(ToHex(buf), ToHex(plain));
    }
  }
}

TEST(ThreeWayTest, Registered) {
  EXPECT_EQ(CipherRegistryLine(&TCipher_3Way::StaticClass()), "3Way=");
  EXPECT_EQ(FindCipherClass("3way"), &TCipher_3Way::StaticClass());
  EXPECT_EQ(FindCipherClass("TCipher_3Way"), &TCipher_3Way::StaticClass());
}

}  // namespace
}  // namespace corvane
