// Q128: the table's fixed entries and distinctness, the known answer and a block vector of this
// implementation (its table is not the original one, see q128.cpp), zero-padded short keys, the
// low-10-bit table lookup, and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "cipher/q128.h"
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

TEST(Q128Test, TableFixedEntriesAndDistinctness) {
  const auto& q = TCipher_Q128::Table();
  EXPECT_EQ(q[0], 0xD6D92632u);
  EXPECT_EQ(q[1], 0x5E84404Du);
  EXPECT_EQ(q[2], 0x4F341282u);
  EXPECT_EQ(q[3], 0x71654B06u);
  EXPECT_EQ(q[1023], 0x109C2D17u);
  std::vector<std::uint32_t> sorted(q.begin(), q.end());
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(Q128Test, KnownAnswerOfThisTable) {
  cvtest::ExpectKnownAnswer(TCipher_Q128::StaticClass(),
                            "48058035385279FC917DDA471DEB9EADCB1577D04503C49428DF2C0FA8B52FB2");
}

TEST(Q128Test, BlockVectorOfThisTable) {
  TCipher_Q128 c;
  const Bytes key = FromHex("000102030405060708090A0B0C0D0E0F");
  c.Init(key.data(), 16, nullptr);
  Bytes block = FromHex("00112233445566778899AABBCCDDEEFF");
  c.EncryptBlock(block.data());
  EXPECT_EQ(ToHex(block), "1F59C79CCB7BC0CFFA94269064238FFF");  // regression value of this table
  c.DecryptBlock(block.data());
  EXPECT_EQ(ToHex(block), "00112233445566778899AABBCCDDEEFF");
}

TEST(Q128Test, Dimensions) {
  TCipher_Q128 c;
  EXPECT_EQ(c.BlockSize(), 16);
  EXPECT_EQ(c.MaxKeySize(), 16);
  EXPECT_EQ(c.ScheduleSize(), 256);
}

TEST(Q128Test, ShortKeyIsZeroPadded) {
  std::mt19937 rng(31);
  for (std::int32_t len = 0; len < 16; ++len) {
    SCOPED_TRACE(len);
    Bytes key = RandomBytes(rng, 16);
    TCipher_Q128 shortKey;
    shortKey.Init(key.data(), len, nullptr);
    for (std::size_t n = std::size_t(len); n < 16; ++n) key[n] = 0;
    TCipher_Q128 padded;
    padded.Init(key.data(), 16, nullptr);
    EXPECT_EQ(ToHex(shortKey.ScheduleBytes().data(), 256), ToHex(padded.ScheduleBytes().data(), 256));
  }
}

TEST(Q128Test, DecryptInvertsEncryptForRandomKeys) {
  std::mt19937 rng(32);
  for (int trial = 0; trial < 300; ++trial) {
    const Bytes key = RandomBytes(rng, rng() % 17);
    TCipher_Q128 c;
    c.Init(key.data(), std::int32_t(key.size()), nullptr);
    const Bytes block = RandomBytes(rng, 16);
    Bytes buf = block;
    c.EncryptBlock(buf.data());
    ASSERT_NE(ToHex(buf), ToHex(block));
    c.DecryptBlock(buf.data());
    ASSERT_EQ(ToHex(buf), ToHex(block)) << "key " << ToHex(key);
  }
}

TEST(Q128Test, RoundTripInEncryptionModes) {
  const TCipherMode modes[] = {TCipherMode::cmCTS, TCipherMode::cmCBC, TCipherMode::cmCFB, TCipherMode::cmOFB,
                               TCipherMode::cmECB};
  std::mt19937 rng(33);
  for (auto mode : modes) {
    for (std::size_t len : {0u, 1u, 15u, 16u, 17u, 40u, 256u}) {
      SCOPED_TRACE("mode " + std::to_string(int(mode)) + " length " + std::to_string(len));
      const Bytes key = RandomBytes(rng, rng() % 17);
      const Bytes plain = RandomBytes(rng, len);
      TCipher_Q128 c;
      c.Mode = mode;
      c.Init(key.data(), std::int32_t(key.size()), nullptr);
      Bytes buf = plain;
      c.EncryptBuffer(buf.data(), buf.data(), buf.size());
      if (len >= 16) {
        EXPECT_NE(ToHex(buf), ToHex(plain));
      }
      c.ResetChain();
      c.DecryptBuffer(buf.data(), buf.data(), buf.size());
      EXPECT_EQ(ToHex(buf), ToHex(plain));
    }
  }
}

TEST(Q128Test, Registered) {
  EXPECT_EQ(CipherRegistryLine(&TCipher_Q128::StaticClass()), "Q128=");
  EXPECT_EQ(FindCipherClass("q128"), &TCipher_Q128::StaticClass());
  EXPECT_EQ(FindCipherClass("TCipher_Q128"), &TCipher_Q128::StaticClass());
}

}  // namespace
}  // namespace corvane
