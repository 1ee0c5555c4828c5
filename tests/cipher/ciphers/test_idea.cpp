// IDEA: published vector, known answer, key rules, schedule layout, the modular arithmetic, and
// block-level agreement with Crypto++.
#include <cryptopp/idea.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cipher/ciphers/idea.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::EncryptBlockCopy;
using cvtest::FromHex;
using cvtest::ToHex;

std::uint16_t ScheduleWord(const TCipher& c, int i) {
  std::uint16_t w;
  std::memcpy(&w, c.ScheduleBytes().data() + 2 * i, 2);
  return w;
}

TEST(IdeaTest, PublishedVector) {
  cvtest::ExpectBlockVector(TCipher_IDEA::StaticClass(), FromHex("00010002000300040005000600070008"),
                            FromHex("0000000100020003"), FromHex("11FBED2B01986DE5"));
}

TEST(IdeaTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_IDEA::StaticClass(),
                            "8C65CAD843E79993ED41EA48FD665094A2256DD7B1D09A233DD2E8ECC9457F7E");
}

TEST(IdeaTest, ClassDimensions) {
  cvtest::ExpectDimensions<TCipher_IDEA>(8, 16, 208);
  EXPECT_STREQ(TCipher_IDEA().ClassName(), "TCipher_IDEA");
}

TEST(IdeaTest, MultiplicationModulo65537) {
  EXPECT_EQ(TCipher_IDEA::Mul(0, 0), 1);
  std::mt19937 rng(7);
  for (int n = 0; n < 20000; ++n) {
    const std::uint16_t a = std::uint16_t(rng()), b = std::uint16_t(rng());
    EXPECT_EQ(TCipher_IDEA::Mul(0, a), std::uint16_t(1 - a));
    EXPECT_EQ(TCipher_IDEA::Mul(a, 0), std::uint16_t(1 - a));
    EXPECT_EQ(TCipher_IDEA::Mul(a, 1), a);
    // Reference: 0 stands for 65536, product reduced modulo 65537, 65536 written back as 0.
    const std::uint64_t fa = a ? a : 65536, fb = b ? b : 65536;
    const std::uint64_t ref = (fa * fb) % 65537;
    ASSERT_EQ(TCipher_IDEA::Mul(a, b), std::uint16_t(ref == 65536 ? 0 : ref)) << a << " * " << b;
  }
}

TEST(IdeaTest, MultiplicativeInverseOfEveryValue) {
  EXPECT_EQ(TCipher_IDEA::MulInverse(0), 0);
  EXPECT_EQ(TCipher_IDEA::MulInverse(1), 1);
  for (std::uint32_t x = 0; x <= 0xFFFF; ++x)
    ASSERT_EQ(TCipher_IDEA::Mul(std::uint16_t(x), TCipher_IDEA::MulInverse(std::uint16_t(x))), 1) << x;
}

TEST(IdeaTest, ScheduleLayout) {
  std::mt19937 rng(11);
  Bytes key(16);
  for (auto& b : key) b = std::uint8_t(rng());
  key[0] = 0xFF;  // a high bit in the first key byte
  TCipher_IDEA c;
  c.Init(key.data(), 16, nullptr);
  // Subkey n is the 16 bits at position 16*(n mod 8) of the key rotated left by 25*(n div 8).
  unsigned __int128 k = 0;
  for (auto b : key) k = (k << 8) | b;
  std::uint16_t z[52];
  for (int n = 0; n < 52; ++n) {
    const unsigned s = 25u * unsigned(n / 8) % 128u;
    const unsigned __int128 r = s ? (k << s) | (k >> (128 - s)) : k;
    z[n] = std::uint16_t(r >> (112 - 16 * (n % 8)));
    ASSERT_EQ(ScheduleWord(c, n), z[n]) << "encryption subkey " << n;
  }
  // Decryption groups: inverse and negated subkeys of the encryption groups in reverse order,
  // the middle pair crossed for rounds 2..8.
  auto neg = [](std::uint16_t v) { return std::uint16_t(0 - v); };
  for (int r = 1; r <= 9; ++r) {
    const int e = 6 * (9 - r), d = 52 + 6 * (r - 1);
    const bool crossed = r >= 2 && r <= 8;
    EXPECT_EQ(ScheduleWord(c, d), TCipher_IDEA::MulInverse(z[e])) << r;
    EXPECT_EQ(ScheduleWord(c, d + 1), neg(z[e + (crossed ? 2 : 1)])) << r;
    EXPECT_EQ(ScheduleWord(c, d + 2), neg(z[e + (crossed ? 1 : 2)])) << r;
    EXPECT_EQ(ScheduleWord(c, d + 3), TCipher_IDEA::MulInverse(z[e + 3])) << r;
    if (r <= 8) {
      EXPECT_EQ(ScheduleWord(c, d + 4), z[6 * (8 - r) + 4]) << r;
      EXPECT_EQ(ScheduleWord(c, d + 5), z[6 * (8 - r) + 5]) << r;
    }
  }
}

TEST(IdeaTest, ShortAndLongKeys) {
  std::mt19937 rng(3);
  Bytes key(20);
  for (auto& b : key) b = std::uint8_t(rng() | 0x80);
  const Bytes block = FromHex("F0E1D2C3B4A59687");

  struct Case {
    std::int32_t size;      // bytes passed to Init
    std::size_t effective;  // key bytes in effect, the rest of the 16 being zero
  };
  for (const Case tc : {Case{5, 5}, Case{20, 16}, Case{16, 16}, Case{0, 0}, Case{-3, 0}, Case{1, 1}}) {
    SCOPED_TRACE(tc.size);
    TCipher_IDEA c;
    c.Init(key.data(), tc.size, nullptr);
    Bytes padded(16, 0);
    std::memcpy(padded.data(), key.data(), tc.effective);
    TCipher_IDEA ref;
    ref.Init(padded.data(), 16, nullptr);
    EXPECT_EQ(ToHex(c.ScheduleBytes().data(), 208), ToHex(ref.ScheduleBytes().data(), 208));
    EXPECT_EQ(ToHex(EncryptBlockCopy(c, block)), ToHex(EncryptBlockCopy(ref, block)));
    EXPECT_EQ(ToHex(c.VectorBytes().data(), 8), ToHex(ref.VectorBytes().data(), 8));
  }
  // The short key really differs from the cut one (the rule is not vacuous).
  TCipher_IDEA a, b;
  a.Init(key.data(), 5, nullptr);
  b.Init(key.data(), 16, nullptr);
  EXPECT_NE(ToHex(EncryptBlockCopy(a, block)), ToHex(EncryptBlockCopy(b, block)));
}

TEST(IdeaTest, AgreesWithCryptoPP) {
  std::mt19937_64 rng(20240501);
  for (int n = 0; n < 300; ++n) {
    Bytes key(16), block(8);
    for (auto& b : key) b = std::uint8_t(rng());
    for (auto& b : block) b = std::uint8_t(rng());
    if (n == 0) {
      std::fill(key.begin(), key.end(), 0xFF);
      std::fill(block.begin(), block.end(), 0xFF);
    }
    if (n == 1) {
      std::fill(key.begin(), key.end(), 0x00);
      std::fill(block.begin(), block.end(), 0x80);
    }
    SCOPED_TRACE(ToHex(key) + " " + ToHex(block));
    CryptoPP::IDEA::Encryption enc(key.data(), 16);
    CryptoPP::IDEA::Decryption dec(key.data(), 16);
    Bytes expected(8), decrypted(8);
    enc.ProcessBlock(block.data(), expected.data());
    dec.ProcessBlock(expected.data(), decrypted.data());
    ASSERT_EQ(decrypted, block);

    TCipher_IDEA c;
    c.Init(key.data(), 16, nullptr);
    Bytes ours = block;
    c.EncryptBlock(ours.data());
    ASSERT_EQ(ToHex(ours), ToHex(expected));
    c.DecryptBlock(ours.data());
    ASSERT_EQ(ToHex(ours), ToHex(block));
  }
}

TEST(IdeaTest, CtsBufferRoundTrip) {
  std::mt19937 rng(5);
  TCipher_IDEA c;
  c.Init(std::string_view("stored value key"));
  for (std::size_t len : {0u, 1u, 7u, 8u, 9u, 19u, 100u}) {
    SCOPED_TRACE(len);
    Bytes plain(len);
    for (auto& b : plain) b = std::uint8_t(rng());
    Bytes enc(len), dec(len);
    c.ResetChain();
    c.EncryptBuffer(plain.data(), enc.data(), len);
    c.ResetChain();
    c.DecryptBuffer(enc.data(), dec.data(), len);
    EXPECT_EQ(dec, plain);
    if (len >= 8) {
      EXPECT_NE(enc, plain);
    }
  }
}

TEST(IdeaTest, RegistryLine) {
  cvtest::ExpectRegistered(TCipher_IDEA::StaticClass(), "IDEA=free for non-commercial", {"iDeA", "TCipher_IDEA"});
}

}  // namespace
}  // namespace corvane
