// SAFER family: known answers, block vectors, the EXP/LOG tables, the key-schedule rules (40-bit
// expansion, key halves, variant chosen by key length, rounds kept across Init), round trips in
// the chaining modes, and block-level agreement with Crypto++ SAFER-K/SAFER-SK.
#include <cryptopp/safer.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cipher/ciphers/safer.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::EncryptBlockCopy;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

struct KnownAnswerCase {
  const CipherClassInfo* cls;
  const char* hex;
};

TEST(SaferTest, KnownAnswers) {
  const KnownAnswerCase cases[] = {
      {&TCipher_SAFER::StaticClass(), "003D4920736385AAD9C20ADE7E9EE9AB24D07434477E211D55F935289884A875"},
      {&TCipher_SAFER_K40::StaticClass(), "05B41957265C1360A0829445D6A546D8735096804F6DF7E5C81AEF444CB45913"},
      {&TCipher_SAFER_SK40::StaticClass(), "D903036D1838D1C189E838127F28FCC7C50BB7C4DB21A43120088A77F7DF26FF"},
      {&TCipher_SAFER_K64::StaticClass(), "8CB232F00EC2DACB39082D5C93FFCEF38F1FB72CC5C7A7E989BE618B00E69F0E"},
      {&TCipher_SAFER_SK64::StaticClass(), "DD9C1AD6290CEE4FE54BC055BF220EBC194178CF94DB2F396B1EA7CA4B5F77E0"},
      {&TCipher_SAFER_K128::StaticClass(), "0CA970B9F31487D99E5E783174DFA8BB3D40A5D98C7C04B79C01DA63AB2635BC"},
      {&TCipher_SAFER_SK128::StaticClass(), "C8A670332938382B69AC61728FDC9FA49E6FC453D889FF4272097DCDD0EA7E28"},
  };
  for (const auto& c : cases) cvtest::ExpectKnownAnswer(*c.cls, c.hex);
}

TEST(SaferTest, BlockVectors) {
  EXPECT_GT(cvtest::ExpectBlockVectors(TCipher_SAFER_K64::StaticClass()), 0u);
  EXPECT_GT(cvtest::ExpectBlockVectors(TCipher_SAFER_SK64::StaticClass()), 0u);
  EXPECT_GT(cvtest::ExpectBlockVectors(TCipher_SAFER_SK128::StaticClass()), 0u);
}

TEST(SaferTest, ClassTreeAndSizes) {
  struct Row {
    const CipherClassInfo* cls;
    const CipherClassInfo* parent;
    std::int32_t maxKey;
    std::uint8_t variant;
    std::int32_t rounds;
  };
  const Row rows[] = {
      {&TCipher_SAFER::StaticClass(), &TCipher::StaticClass(), 16, kSaferSK128, 10},
      {&TCipher_SAFER_K40::StaticClass(), &TCipher_SAFER::StaticClass(), 5, kSaferK40, 5},
      {&TCipher_SAFER_SK40::StaticClass(), &TCipher_SAFER_K40::StaticClass(), 5, kSaferSK40, 5},
      {&TCipher_SAFER_K64::StaticClass(), &TCipher_SAFER::StaticClass(), 8, kSaferK64, 6},
      {&TCipher_SAFER_SK64::StaticClass(), &TCipher_SAFER_K64::StaticClass(), 8, kSaferSK64, 6},
      {&TCipher_SAFER_K128::StaticClass(), &TCipher_SAFER::StaticClass(), 16, kSaferK128, 10},
      {&TCipher_SAFER_SK128::StaticClass(), &TCipher_SAFER_K128::StaticClass(), 16, kSaferSK128, 10},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.cls->name);
    EXPECT_EQ(r.cls->parent, r.parent);
    EXPECT_EQ(r.cls->blockSize, 8);
    EXPECT_EQ(r.cls->maxKeySize, r.maxKey);
    EXPECT_EQ(r.cls->scheduleSize, 768);
    auto c = r.cls->create(nullptr);
    auto& safer = static_cast<TCipher_SAFER&>(*c);
    EXPECT_EQ(safer.Rounds(), 0);
    const Bytes key(16, 0x5A);
    c->Init(key.data(), 16, nullptr);  // 16 bytes: the base class picks SK-128
    EXPECT_EQ(safer.Variant(), r.variant);
    EXPECT_EQ(safer.Rounds(), r.rounds);
  }
}

TEST(SaferTest, ExpAndLogTablesInSchedule) {
  TCipher_SAFER_K64 c;
  c.Init("key");
  const auto s = c.ScheduleBytes();
  const std::uint8_t* exp = s.data() + kSaferExpOffset;
  const std::uint8_t* log = s.data() + kSaferLogOffset;
  EXPECT_EQ(exp[0], 1);
  EXPECT_EQ(exp[1], 45);
  EXPECT_EQ(exp[2], 226);
  EXPECT_EQ(exp[3], 147);
  EXPECT_EQ(exp[128], 0);
  EXPECT_EQ(exp[255], 40);
  EXPECT_EQ(log[0], 128);
  EXPECT_EQ(log[1], 0);
  unsigned a = 1;
  for (unsigned i = 0; i < 256; ++i) {
    ASSERT_EQ(exp[i], a % 256) << i;
    ASSERT_EQ(log[exp[i]], i) << i;
    a = a * 45 % 257;
  }
}

// Subkey 1 is the second key register B before any rotation.
Bytes FirstSubkey(const TCipher& c) {
  const auto s = c.ScheduleBytes();
  return Bytes(s.begin() + kSaferKeyOffset, s.begin() + kSaferKeyOffset + 8);
}

TEST(SaferTest, FortyBitExpansion) {
  for (const CipherClassInfo* cls : {&TCipher_SAFER_K40::StaticClass(), &TCipher_SAFER_SK40::StaticClass()}) {
    SCOPED_TRACE(cls->name);
    auto c = cls->create(nullptr);
    c->Init(nullptr, 0, nullptr);  // empty key: registers are zero before the expansion
    EXPECT_EQ(ToHex(FirstSubkey(*c)), "0000000000814224");
    const Bytes key = FromHex("0102030405");
    c->Init(key.data(), 5, nullptr);
    // A[5] = 01^03^81 = 83, A[6] = 01^04^05^42 = 42, A[7] = 02^03^05^24 = 20
    EXPECT_EQ(ToHex(FirstSubkey(*c)), "0102030405834220");
    const Bytes block = FromHex("0011223344556677");
    const Bytes expected = EncryptBlockCopy(*c, block);
    const Bytes longer = FromHex("0102030405FFEEDDCCBBAA");
    c->Init(longer.data(), std::int32_t(longer.size()), nullptr);  // bytes after the fifth are ignored
    EXPECT_EQ(ToHex(EncryptBlockCopy(*c, block)), ToHex(expected));
  }
}

TEST(SaferTest, EmptyKeyByteZeroGoesThroughLog) {
  // An all-zero key and block drive zero bytes through LOG (LOG[0] = 128); the round trip holds.
  // The all-zero Crypto++ validation line.
  cvtest::ExpectBlockVector(TCipher_SAFER_K64::StaticClass(), {}, Bytes(8, 0), FromHex("032808C90EE7AB7F"));
}

TEST(SaferTest, BaseClassPicksStrengthenedVariantByKeyLength) {
  std::mt19937 rng(3);
  for (std::int32_t len = 0; len <= 16; ++len) {
    SCOPED_TRACE(len);
    const Bytes key = RandomBytes(rng, 16);
    const Bytes block = RandomBytes(rng, 8);
    TCipher_SAFER base;
    base.Init(key.data(), len, nullptr);
    Owned<TCipher> ref;
    if (len <= 5)
      ref = Make<TCipher_SAFER_SK40>();
    else if (len <= 8)
      ref = Make<TCipher_SAFER_SK64>();
    else
      ref = Make<TCipher_SAFER_SK128>();
    ref->Init(key.data(), len, nullptr);
    EXPECT_EQ(base.Variant(), len <= 5 ? kSaferSK40 : len <= 8 ? kSaferSK64 : kSaferSK128);
    EXPECT_EQ(ToHex(EncryptBlockCopy(base, block)), ToHex(EncryptBlockCopy(*ref, block)));
  }
}

TEST(SaferTest, RoundsOfFirstInitAreKept) {
  const Bytes key16(16, 0x11), key5 = FromHex("0102030405"), block = FromHex("F0E1D2C3B4A59687");
  TCipher_SAFER base;
  base.Init(key16.data(), 16, nullptr);
  EXPECT_EQ(base.Rounds(), 10);
  base.Init(key5.data(), 5, nullptr);  // now SK-40, but with 10 rounds
  EXPECT_EQ(base.Variant(), kSaferSK40);
  EXPECT_EQ(base.Rounds(), 10);

  TCipher_SAFER_SK40 fiveRounds;
  fiveRounds.Init(key5.data(), 5, nullptr);
  EXPECT_EQ(fiveRounds.Rounds(), 5);
  EXPECT_NE(ToHex(EncryptBlockCopy(base, block)), ToHex(EncryptBlockCopy(fiveRounds, block)));
  TCipher_SAFER_SK40 tenRounds;
  tenRounds.SetRounds(10);
  tenRounds.Init(key5.data(), 5, nullptr);
  EXPECT_EQ(ToHex(EncryptBlockCopy(base, block)), ToHex(EncryptBlockCopy(tenRounds, block)));

  // Counts outside 4..13 are replaced by the variant's default at the next Init.
  for (std::int32_t bad : {-1, 0, 3, 14, 1000}) {
    TCipher_SAFER_K64 c;
    c.SetRounds(bad);
    c.Init(key16.data(), 8, nullptr);
    EXPECT_EQ(c.Rounds(), 6) << bad;
  }
  // A count changed after Init only takes effect at the next Init.
  TCipher_SAFER_K64 c;
  c.Init(key16.data(), 8, nullptr);
  const Bytes sixRounds = EncryptBlockCopy(c, block);
  c.SetRounds(13);
  EXPECT_EQ(ToHex(EncryptBlockCopy(c, block)), ToHex(sixRounds));
  c.Init(key16.data(), 8, nullptr);
  EXPECT_EQ(c.Rounds(), 13);
  EXPECT_NE(ToHex(EncryptBlockCopy(c, block)), ToHex(sixRounds));
}

TEST(SaferTest, K128KeyHalves) {
  std::mt19937 rng(5);
  const Bytes block = RandomBytes(rng, 8);
  for (std::int32_t len = 0; len <= 8; ++len) {
    SCOPED_TRACE(len);
    const Bytes key = RandomBytes(rng, 8);
    TCipher_SAFER_K128 k128;
    k128.Init(key.data(), len, nullptr);
    TCipher_SAFER_K64 k64;
    k64.SetRounds(10);
    k64.Init(key.data(), len, nullptr);
    EXPECT_EQ(ToHex(EncryptBlockCopy(k128, block)), ToHex(EncryptBlockCopy(k64, block)));
  }
  cvtest::ExpectShortKeysZeroPadded<TCipher_SAFER_K128>(
      rng, 9, 16, 16, [&](TCipher_SAFER_K128& shortKey, TCipher_SAFER_K128& padded) {
        EXPECT_EQ(ToHex(EncryptBlockCopy(shortKey, block)), ToHex(EncryptBlockCopy(padded, block)));
      });
}

// Crypto++ takes keys of 8 or 16 bytes; shorter keys of this library are the zero-padded key
// (8 bytes for up to 8 key bytes, where both halves are equal, else 16).
template <class CppCipher>
void ExpectAgreesWithCryptopp(const CipherClassInfo& cls, std::int32_t rounds, std::uint32_t seed) {
  SCOPED_TRACE(cls.name);
  std::mt19937 rng(seed);
  for (std::int32_t len = 0; len <= cls.maxKeySize; ++len) {
    for (int trial = 0; trial < 8; ++trial) {
      const Bytes key = RandomBytes(rng, std::size_t(len));
      auto c = cls.create(nullptr);
      static_cast<TCipher_SAFER&>(*c).SetRounds(rounds);
      c->Init(key.data(), len, nullptr);
      Bytes padded = key;
      padded.resize(len <= 8 ? 8 : 16, 0);
      typename CppCipher::Encryption enc(padded.data(), padded.size(), unsigned(rounds));
      for (int b = 0; b < 4; ++b) {
        const Bytes block = RandomBytes(rng, 8);
        Bytes expected(8);
        enc.ProcessBlock(block.data(), expected.data());
        Bytes got = block;
        c->EncryptBlock(got.data());
        ASSERT_EQ(ToHex(got), ToHex(expected)) << "key length " << len << ", rounds " << rounds;
        c->DecryptBlock(got.data());
        ASSERT_EQ(ToHex(got), ToHex(block));
      }
    }
  }
}

TEST(SaferTest, AgreesWithCryptoppAtDefaultRounds) {
  ExpectAgreesWithCryptopp<CryptoPP::SAFER_K>(TCipher_SAFER_K64::StaticClass(), 6, 1);
  ExpectAgreesWithCryptopp<CryptoPP::SAFER_SK>(TCipher_SAFER_SK64::StaticClass(), 6, 2);
  ExpectAgreesWithCryptopp<CryptoPP::SAFER_K>(TCipher_SAFER_K128::StaticClass(), 10, 3);
  ExpectAgreesWithCryptopp<CryptoPP::SAFER_SK>(TCipher_SAFER_SK128::StaticClass(), 10, 4);
}

TEST(SaferTest, AgreesWithCryptoppAtEveryKeptRoundsCount) {
  for (std::int32_t rounds = 4; rounds <= kSaferMaxRounds; ++rounds) {
    SCOPED_TRACE(rounds);
    ExpectAgreesWithCryptopp<CryptoPP::SAFER_K>(TCipher_SAFER_K128::StaticClass(), rounds, 100 + rounds);
    ExpectAgreesWithCryptopp<CryptoPP::SAFER_SK>(TCipher_SAFER_SK128::StaticClass(), rounds, 200 + rounds);
  }
}

TEST(SaferTest, RoundTripInEncryptionModes) {
  const CipherClassInfo* classes[] = {&TCipher_SAFER::StaticClass(),      &TCipher_SAFER_K40::StaticClass(),
                                      &TCipher_SAFER_SK40::StaticClass(), &TCipher_SAFER_K64::StaticClass(),
                                      &TCipher_SAFER_SK64::StaticClass(), &TCipher_SAFER_K128::StaticClass(),
                                      &TCipher_SAFER_SK128::StaticClass()};
  std::mt19937 rng(9);
  for (const auto* cls : classes)
    cvtest::ExpectRoundTripsInModes(
        *cls, rng, {0, 1, 7, 8, 9, 19, 64, 200}, [](std::mt19937& r) { return std::size_t(1 + r() % 16); }, 8);
}

TEST(SaferTest, RegistryNamesAndLookup) {
  struct Row {
    const CipherClassInfo* cls;
    const char* line;
  };
  const Row rows[] = {
      {&TCipher_SAFER_K40::StaticClass(), "SAFER-K40="},
      {&TCipher_SAFER_SK40::StaticClass(), "SAFER-SK40=Keyscheduling"},
      {&TCipher_SAFER_K64::StaticClass(), "SAFER-K64="},
      {&TCipher_SAFER_SK64::StaticClass(), "SAFER-SK64=Keyscheduling"},
      {&TCipher_SAFER_K128::StaticClass(), "SAFER-K128="},
      {&TCipher_SAFER_SK128::StaticClass(), "SAFER-SK128=Keyscheduling"},
  };
  for (const auto& r : rows) EXPECT_EQ(CipherRegistryLine(r.cls), r.line);
  EXPECT_EQ(CipherRegistryLine(&TCipher_SAFER::StaticClass()), "");  // not registered
  EXPECT_EQ(CipherClassName(&TCipher_SAFER::StaticClass()), "SAFER");
  EXPECT_EQ(FindCipherClass("SAFER-K40"), &TCipher_SAFER_K40::StaticClass());
  EXPECT_EQ(FindCipherClass("safer-sk128"), &TCipher_SAFER_SK128::StaticClass());
  EXPECT_EQ(FindCipherClass("TCipher_SAFER_K40"), &TCipher_SAFER_K40::StaticClass());
  EXPECT_EQ(FindCipherClass("SAFER_K40"), nullptr);
}

}  // namespace
}  // namespace corvane
