// Shark: known answer (also rebuilt from Crypto++'s SHARK block routine), the converted Crypto++
// validation vectors, agreement with Crypto++ SHARK (six rounds) for keys of every length, the
// round keys against Crypto++'s, the S-box, G, M and table checks, and round trips.
//
// Conventions: Crypto++ reads the block as a big-endian 64-bit integer and forms its key words
// from the key bytes cyclically from byte 0; this class reads the block little-endian and starts
// its key words at key byte 1 of the zero-padded 16-byte key. So a key Z of this class is the
// Crypto++ key Z[1..15] Z[0] (16 bytes), and blocks are byte-reversed on the way in and out.
#include <cryptopp/crc.h>
#include <cryptopp/shark.h>
#include <gtest/gtest.h>

#include <random>

#include "cipher/ciphers/shark.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

Bytes CryptoppKey(const Bytes& key) {
  Bytes z = key;
  z.resize(16, 0);
  Bytes k(16);
  for (std::size_t i = 0; i < 16; ++i) k[i] = z[(i + 1) % 16];
  return k;
}

Bytes Reversed(Bytes b) {
  std::reverse(b.begin(), b.end());
  return b;
}

template <class Base>
struct Peek : Base {
  using Base::Base;
  std::uint64_t RoundKey(std::size_t i) const { return this->m_roundKeys[i]; }
  std::size_t RoundKeyCount() const { return this->m_roundKeys.size(); }
};

TEST(SharkTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_Shark::StaticClass(),
                            "D96521AAC0C384609DCE1F8BFBAB183FA121ACF85349C06F273A8915D37AE90B");
}

TEST(SharkTest, KnownAnswerFromCryptoppBlocks) {
  const Bytes key = CryptoppKey(cvtest::NameKey("TCipher_Shark"));
  CryptoPP::SHARK::Encryption enc(key.data(), key.size(), 6);
  cvtest::ExpectKnownAnswerFromBlocks(TCipher_Shark::StaticClass(), [&](std::uint8_t* b) {
    Bytes r = Reversed(Bytes(b, b + 8));
    enc.ProcessBlock(r.data());
    r = Reversed(r);
    std::copy(r.begin(), r.end(), b);
  });
}

TEST(SharkTest, ConvertedValidationVectors) {
  EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_Shark::StaticClass()), 7u);
}

TEST(SharkTest, Dimensions) { cvtest::ExpectDimensions<TCipher_Shark>(8, 16, 112); }

TEST(SharkTest, AgreesWithCryptoppForEveryKeyLength) {
  std::mt19937 rng(41);
  cvtest::ExpectAgreesWithCryptoppBlocks<CryptoPP::SHARK>(
      TCipher_Shark::StaticClass(), rng, 0, 16, 8,
      {.key = CryptoppKey,
       .blockOrder = Reversed,
       .adjustKey =
           [](Bytes& key, int trial) {
             if (trial == 0 && !key.empty()) key[0] = 0;  // the first key byte is the low byte of k1
           }},
      6);
}

// EK0..EK6 and DK0..DK6, each stored low 32-bit half first, equal Crypto++'s round keys.
TEST(SharkTest, RoundKeysMatchCryptopp) {
  std::mt19937 rng(42);
  for (std::size_t len : {0u, 3u, 16u}) {
    const Bytes key = RandomBytes(rng, len);
    SCOPED_TRACE("key " + ToHex(key));
    TCipher_Shark c;
    c.Init(key.data(), std::int32_t(len), nullptr);
    const Bytes k = CryptoppKey(key);
    Peek<CryptoPP::SHARK::Encryption> enc(k.data(), k.size(), 6);
    Peek<CryptoPP::SHARK::Decryption> dec(k.data(), k.size(), 6);
    ASSERT_EQ(enc.RoundKeyCount(), 7u);
    ASSERT_EQ(dec.RoundKeyCount(), 7u);
    const auto s = c.ScheduleBytes();
    auto word = [&](std::size_t i) {
      return std::uint64_t(LoadLE32(s.data() + 8 * i)) | (std::uint64_t(LoadLE32(s.data() + 8 * i + 4)) << 32);
    };
    // Crypto++ applies its first and last round keys to the block in memory order, so it keeps
    // those two byte-reversed.
    auto ref = [](std::uint64_t v, std::size_t i) { return (i == 0 || i == 6) ? __builtin_bswap64(v) : v; };
    for (std::size_t i = 0; i < 7; ++i) {
      EXPECT_EQ(word(i), ref(enc.RoundKey(i), i)) << "EK" << i;
      EXPECT_EQ(word(7 + i), ref(dec.RoundKey(i), i)) << "DK" << i;
    }
  }
}

TEST(SharkTest, SBoxChecks) {
  const auto& s = SharkSBox();
  const auto& si = SharkInverseSBox();
  EXPECT_EQ(ToHex(s.data(), 16), "B1CEC3955AADE7024D44FB910C87A150");
  EXPECT_EQ(s[255], 0xE2);
  EXPECT_EQ(si[0], 0x35);
  CryptoPP::CRC32 crc;
  crc.Update(s.data(), s.size());
  std::uint8_t digest[4];
  crc.Final(digest);
  EXPECT_EQ(LoadLE32(digest), 0xB3544331u);
  for (unsigned x = 0; x < 256; ++x) ASSERT_EQ(si[s[x]], x);
}

TEST(SharkTest, MIsTheInverseOfG) {
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j) {
      std::uint8_t v = 0;
      for (int t = 0; t < 8; ++t) v ^= Gf1F5Multiply(SharkG()[i][t], SharkM()[t][j]);
      EXPECT_EQ(v, i == j ? 1 : 0) << i << "," << j;
    }
  const std::uint8_t row0[8] = {0xe7, 0x30, 0x90, 0x85, 0xd0, 0x4b, 0x91, 0x41};
  const std::uint8_t row7[8] = {0x56, 0xf4, 0xaf, 0x32, 0xd2, 0xa4, 0xdc, 0x71};
  EXPECT_EQ(ToHex(SharkM()[0], 8), ToHex(row0, 8));
  EXPECT_EQ(ToHex(SharkM()[7], 8), ToHex(row7, 8));
  EXPECT_EQ(Gf1F5Multiply(0, 0x53), 0);
  EXPECT_EQ(Gf1F5Multiply(0x53, 0), 0);
}

TEST(SharkTest, EncryptionAndDecryptionTables) {
  EXPECT_EQ(SharkEncryptionTables()[0][0], 0x060D838F16F3A365ull);
  EXPECT_EQ(SharkEncryptionTables()[0][1], 0xA68857EE5CAE56F6ull);
  EXPECT_EQ(SharkEncryptionTables()[7][255], 0xE2665106CC5D26E5ull);
  EXPECT_EQ(SharkDecryptionTables()[0][0], 0xE6126AF05E55AFF3ull);
}

// Keys full of zero bytes give round keys with zero bytes, whose transforms must still invert.
TEST(SharkTest, RoundTripsForRandomKeysOfEveryLength) {
  std::mt19937 rng(43);
  ASSERT_NO_FATAL_FAILURE(cvtest::ExpectRoundTripsForEveryKeyLength(
      TCipher_Shark::StaticClass(), rng, 40, [](Bytes& key, TCipherMode mode) {
        if (mode == TCipherMode::cmECB)
          for (std::size_t i = 0; i < key.size(); i += 2) key[i] = 0;
      }));
  for (std::uint8_t fill : {0x00, 0xFF, 0x01}) {
    const Bytes key(16, fill);
    TCipher_Shark c;
    c.Init(key.data(), 16, nullptr);
    for (int b = 0; b < 64; ++b) {
      const Bytes plain = RandomBytes(rng, 8);
      Bytes buf = plain;
      c.EncryptBlock(buf.data());
      c.DecryptBlock(buf.data());
      ASSERT_EQ(ToHex(buf), ToHex(plain));
    }
  }
}

}  // namespace
}  // namespace corvane
