// Q128: the table's fixed entries and distinctness, the known answer and a block vector of this
// implementation (its table is not the original one, see q128.cpp), zero-padded short keys, the
// low-10-bit table lookup, and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "cipher/ciphers/q128.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

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

// The cipher as described, on the class's table, written apart from the class: nineteen schedule
// iterations of which the last sixteen give the subkeys, and sixteen rounds with 10-bit rotations.
struct Q128Model {
  std::uint32_t k[64] = {};
  static std::uint32_t Q(std::uint32_t x) { return TCipher_Q128::Table()[x % 1024]; }
  static std::uint32_t Rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
  static std::uint32_t Ror(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
  explicit Q128Model(Bytes key) {
    key.resize(16, 0);
    std::uint32_t f[4];
    for (int n = 0; n < 4; ++n) f[n] = LoadLE32(key.data() + 4 * n);
    for (int it = 1; it <= 19; ++it) {
      const std::uint32_t b = Q(f[0]) ^ f[1], c = Ror(f[0], 10), d = Q(b) ^ f[2], e = Q(d) ^ f[3];
      f[0] = Q(e) ^ c;
      f[1] = Ror(b, 10);
      f[2] = Ror(d, 10);
      f[3] = Ror(e, 10);
      if (it >= 4)
        for (int n = 0; n < 4; ++n) k[4 * (it - 4) + n] = f[n];
    }
  }
  void Encrypt(std::uint8_t* block) const {
    std::uint32_t w[4];
    for (int n = 0; n < 4; ++n) w[n] = LoadLE32(block + 4 * n);
    for (int r = 0; r < 16; ++r) {
      w[1] ^= Q(w[0]) + k[4 * r];
      w[2] ^= Q(w[1]) + k[4 * r + 1];
      w[3] ^= Q(w[2]) + k[4 * r + 2];
      w[0] = Rol(w[0], 10) ^ (Q(w[3]) + k[4 * r + 3]);
      for (int n = 1; n < 4; ++n) w[n] = Rol(w[n], 10);
    }
    for (int n = 0; n < 4; ++n) StoreLE32(block + 4 * n, w[n]);
  }
};

TEST(Q128Test, AgreesWithAPlainModelOfTheDescription) {
  std::mt19937 rng(30);
  for (std::size_t len = 0; len <= 16; ++len) {
    const Bytes key = RandomBytes(rng, len);
    const Q128Model model(key);
    TCipher_Q128 c;
    c.Init(key.data(), std::int32_t(len), nullptr);
    ASSERT_EQ(ToHex(c.ScheduleBytes().data(), 256), ToHex(reinterpret_cast<const std::uint8_t*>(model.k), 256))
        << "key " << ToHex(key);
    for (int n = 0; n < 4; ++n) {
      Bytes a = RandomBytes(rng, 16), b = a;
      c.EncryptBlock(a.data());
      model.Encrypt(b.data());
      ASSERT_EQ(ToHex(a), ToHex(b)) << "key " << ToHex(key);
    }
  }
  // The known answer of this table, rebuilt from the model: vector E(FF..FF), two cmCTS blocks.
  const std::string name = "TCipher_Q128";
  const Q128Model model(Bytes(name.begin(), name.end()));  // 12 bytes, zero-padded
  const Bytes out = cvtest::CtsKnownAnswerFromBlocks(16, [&](std::uint8_t* b) { model.Encrypt(b); });
  EXPECT_EQ(ToHex(out), ToHex(TCipher_Q128::StaticClass().knownAnswer, 32));
}

TEST(Q128Test, KnownAnswerOfThisTable) {
  cvtest::ExpectKnownAnswer(TCipher_Q128::StaticClass(),
                            "48058035385279FC917DDA471DEB9EADCB1577D04503C49428DF2C0FA8B52FB2");
}

TEST(Q128Test, BlockVectorOfThisTable) {
  // The cipher text is the regression value of this table.
  cvtest::ExpectBlockVector(TCipher_Q128::StaticClass(), FromHex("000102030405060708090A0B0C0D0E0F"),
                            FromHex("00112233445566778899AABBCCDDEEFF"),
                            FromHex("1F59C79CCB7BC0CFFA94269064238FFF"));
}

TEST(Q128Test, Dimensions) { cvtest::ExpectDimensions<TCipher_Q128>(16, 16, 256); }

TEST(Q128Test, ShortKeyIsZeroPadded) {
  std::mt19937 rng(31);
  cvtest::ExpectShortKeysZeroPadded<TCipher_Q128>(
      rng, 0, 16, 16, [](TCipher_Q128& shortKey, TCipher_Q128& padded) {
        EXPECT_EQ(ToHex(shortKey.ScheduleBytes().data(), 256), ToHex(padded.ScheduleBytes().data(), 256));
      });
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
  std::mt19937 rng(33);
  cvtest::ExpectRoundTripsInModes(
      TCipher_Q128::StaticClass(), rng, {0, 1, 15, 16, 17, 40, 256},
      [](std::mt19937& r) { return std::size_t(r() % 17); }, 16);
}

TEST(Q128Test, Registered) {
  cvtest::ExpectRegistered(TCipher_Q128::StaticClass(), "Q128=", {"q128", "TCipher_Q128"});
}

}  // namespace
}  // namespace corvane
