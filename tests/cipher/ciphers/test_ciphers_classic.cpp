// Gost, Blowfish, TEA and TEA extended: known answers, block vectors, key rules, round trips,
// and block-level agreement with Crypto++ for Blowfish and GOST.
#include <cryptopp/blowfish.h>
#include <cryptopp/gost.h>
#include <cryptopp/tea.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "cipher/ciphers/blowfish.h"
#include "cipher/ciphers/gost.h"
#include "cipher/ciphers/tea.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::ToHex;

Bytes RandomBytes(std::mt19937_64& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

Bytes EncryptWith(const CipherClassInfo& cls, const Bytes& key, std::int32_t size, Bytes block) {
  auto c = cls.create(nullptr);
  c->Init(key.data(), size, nullptr);
  c->EncryptBlock(block.data());
  return block;
}

const CipherClassInfo* const kClasses[] = {&TCipher_Gost::StaticClass(), &TCipher_Blowfish::StaticClass(),
                                           &TCipher_TEA::StaticClass(), &TCipher_TEAN::StaticClass()};

TEST(ClassicCiphersTest, KnownAnswers) {
  cvtest::ExpectKnownAnswer(TCipher_Gost::StaticClass(),
                            "B303A03FB57B914D97512440BDCF251534059CF8AB10869FF2804784479B1AD1");
  cvtest::ExpectKnownAnswer(TCipher_Blowfish::StaticClass(),
                            "1971CACD2B9C8529DA8147B7EBCE16C6910E1DC840123E3570EDBC964C13D0B8");
  cvtest::ExpectKnownAnswer(TCipher_TEA::StaticClass(),
                            "B7B8AABB264B06F97086B0E4560429CCBF55EA4EEF59261819B0037C298CE277");
  cvtest::ExpectKnownAnswer(TCipher_TEAN::StaticClass(),
                            "CD7EBBA2921A4B3BE29E62CFF71DA5DF63339429E2367C663FF81AF90278BFA1");
}

TEST(ClassicCiphersTest, Dimensions) {
  struct Dim {
    const CipherClassInfo* cls;
    const char* name;
    std::int32_t block, maxKey, schedule;
  };
  for (const Dim& d : {Dim{&TCipher_Gost::StaticClass(), "TCipher_Gost", 8, 32, 32},
                       Dim{&TCipher_Blowfish::StaticClass(), "TCipher_Blowfish", 8, 56, 4168},
                       Dim{&TCipher_TEA::StaticClass(), "TCipher_TEA", 8, 16, 32},
                       Dim{&TCipher_TEAN::StaticClass(), "TCipher_TEAN", 8, 16, 32}}) {
    SCOPED_TRACE(d.name);
    auto c = d.cls->create(nullptr);
    EXPECT_STREQ(c->ClassName(), d.name);
    EXPECT_EQ(c->BlockSize(), d.block);
    EXPECT_EQ(c->MaxKeySize(), d.maxKey);
    EXPECT_EQ(c->ScheduleSize(), d.schedule);
  }
  EXPECT_TRUE(InheritsFrom(&TCipher_TEAN::StaticClass(), TCipher_TEA::StaticClass()));
}

TEST(ClassicCiphersTest, BlockVectors) {
  EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_Blowfish::StaticClass()), 7u);
  EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_Gost::StaticClass()), 8u);
}

// Every key size from 0 to the maximum: DecryptBlock inverts EncryptBlock, and the direct
// buffer modes return the input.
TEST(ClassicCiphersTest, DecryptInvertsEncryptForEveryKeySize) {
  std::mt19937_64 rng(99);
  for (const CipherClassInfo* cls : kClasses) {
    SCOPED_TRACE(cls->name);
    auto c = cls->create(nullptr);
    for (std::int32_t size = 0; size <= cls->maxKeySize; ++size) {
      SCOPED_TRACE(size);
      const Bytes key = RandomBytes(rng, std::size_t(size)), block = RandomBytes(rng, 8);
      c->Init(key.data(), size, nullptr);
      Bytes x = block;
      c->EncryptBlock(x.data());
      EXPECT_NE(x, block);
      c->DecryptBlock(x.data());
      ASSERT_EQ(x, block);
    }
    const Bytes plain = RandomBytes(rng, 37);
    Bytes enc(plain.size()), dec(plain.size());
    c->ResetChain();
    c->EncryptBuffer(plain.data(), enc.data(), plain.size());
    c->ResetChain();
    c->DecryptBuffer(enc.data(), dec.data(), dec.size());
    EXPECT_EQ(dec, plain);
  }
}

// Shorter keys key as if padded with zero bytes (Gost, TEA, TEAN); longer ones are cut to the
// maximum (all four).
TEST(ClassicCiphersTest, KeySizeRules) {
  std::mt19937_64 rng(5);
  const Bytes block = FromHex("8001FF7E10203040");
  struct Case {
    const CipherClassInfo* cls;
    std::int32_t size;
    std::size_t effective;  // bytes of the key in effect, then zero padding to the maximum
  };
  const Case cases[] = {
      {&TCipher_Gost::StaticClass(), 31, 31},     {&TCipher_Gost::StaticClass(), 1, 1},
      {&TCipher_Gost::StaticClass(), 40, 32},     {&TCipher_Gost::StaticClass(), 0, 0},
      {&TCipher_Gost::StaticClass(), -1, 0},      {&TCipher_TEA::StaticClass(), 5, 5},
      {&TCipher_TEA::StaticClass(), 20, 16},      {&TCipher_TEA::StaticClass(), -7, 0},
      {&TCipher_TEAN::StaticClass(), 9, 9},       {&TCipher_TEAN::StaticClass(), 17, 16},
      {&TCipher_Blowfish::StaticClass(), 60, 56},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(std::string(tc.cls->name) + " size " + std::to_string(tc.size));
    Bytes key = RandomBytes(rng, 64);
    for (auto& b : key) b |= 0x01;  // no zero byte can make the padding look right by chance
    Bytes padded(std::size_t(tc.cls->maxKeySize), 0);
    std::copy_n(key.begin(), tc.effective, padded.begin());
    const Bytes got = EncryptWith(*tc.cls, key, tc.size, block);
    EXPECT_EQ(ToHex(got), ToHex(EncryptWith(*tc.cls, padded, tc.cls->maxKeySize, block)));
    if (tc.effective > 0 && tc.effective < std::size_t(tc.cls->maxKeySize)) {
      // The bytes beyond the size are really ignored, and padding is not a no-op.
      EXPECT_NE(ToHex(got), ToHex(EncryptWith(*tc.cls, key, tc.cls->maxKeySize, block)));
    }
  }
}

// A Blowfish key of 0 bytes (or a negative size) has no bytes to cycle through: it keys as an
// all-zero key, whose published vector is known.
TEST(ClassicCiphersTest, BlowfishEmptyKeyActsAsZeroKey) {
  const Bytes zero(8, 0), block(8, 0);
  for (std::int32_t size : {0, -5}) {
    SCOPED_TRACE(size);
    TCipher_Blowfish c;
    c.Init(zero.data(), size, nullptr);
    EXPECT_TRUE(c.Ready());
    Bytes x = block;
    c.EncryptBlock(x.data());
    EXPECT_EQ(ToHex(x), "4EF997456198DD78");
    c.DecryptBlock(x.data());
    EXPECT_EQ(x, block);
  }
  TCipher_Blowfish c;
  c.Init(nullptr, 0, nullptr);  // no key bytes are read at all
  EXPECT_TRUE(c.Ready());
}

TEST(ClassicCiphersTest, BlowfishInitialTablesMatchPublishedFiles) {
  auto readWords = [](const std::string& file) {
    std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::vector<std::uint32_t> words;
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string w;
      while (fields >> w) words.push_back(std::uint32_t(std::stoul(w, nullptr, 16)));
    }
    return words;
  };
  const auto p = readWords("blowfish-p-array.txt");
  const auto s = readWords("blowfish-sboxes.txt");
  ASSERT_EQ(p.size(), 18u);
  ASSERT_EQ(s.size(), 1024u);
  EXPECT_TRUE(std::equal(p.begin(), p.end(), TCipher_Blowfish::InitialPArray().begin()));
  EXPECT_TRUE(std::equal(s.begin(), s.end(), TCipher_Blowfish::InitialSBoxes().begin()));
}

// Crypto++ Blowfish takes 4 to 56 key bytes; shorter keys are compared through the cyclic key
// rule (a key repeated to 12 bytes gives the same key stream for 1, 2 and 3 bytes).
TEST(ClassicCiphersTest, BlowfishAgreesWithCryptoPP) {
  std::mt19937_64 rng(2024);
  for (int n = 0; n < 400; ++n) {
    const std::size_t size = 1 + std::size_t(n % 56);
    const Bytes key = RandomBytes(rng, size), block = RandomBytes(rng, 8);
    Bytes oracleKey = key;
    if (size < 4)
      for (std::size_t i = size; i < 12; ++i) oracleKey.push_back(key[i % size]);
    SCOPED_TRACE(ToHex(key) + " / " + ToHex(block));
    CryptoPP::Blowfish::Encryption enc(oracleKey.data(), oracleKey.size());
    CryptoPP::Blowfish::Decryption dec(oracleKey.data(), oracleKey.size());
    Bytes expected(8), back(8);
    enc.ProcessBlock(block.data(), expected.data());
    TCipher_Blowfish c;
    c.Init(key.data(), std::int32_t(size), nullptr);
    Bytes x = block;
    c.EncryptBlock(x.data());
    ASSERT_EQ(ToHex(x), ToHex(expected));
    // Decryption agrees on an arbitrary block, not only on our own output.
    dec.ProcessBlock(block.data(), back.data());
    x = block;
    c.DecryptBlock(x.data());
    ASSERT_EQ(ToHex(x), ToHex(back));
  }
}

// Crypto++ GOST uses the same S-boxes and little-endian words; it takes 32 key bytes, so shorter
// keys are compared zero-padded.
TEST(ClassicCiphersTest, GostAgreesWithCryptoPP) {
  std::mt19937_64 rng(28147);
  for (int n = 0; n < 400; ++n) {
    const std::size_t size = std::size_t(n % 33);
    const Bytes key = RandomBytes(rng, size), block = RandomBytes(rng, 8);
    Bytes oracleKey = key;
    oracleKey.resize(32, 0);
    SCOPED_TRACE(ToHex(key) + " / " + ToHex(block));
    CryptoPP::GOST::Encryption enc(oracleKey.data(), 32);
    CryptoPP::GOST::Decryption dec(oracleKey.data(), 32);
    Bytes expected(8), back(8);
    enc.ProcessBlock(block.data(), expected.data());
    dec.ProcessBlock(block.data(), back.data());
    TCipher_Gost c;
    c.Init(key.data(), std::int32_t(size), nullptr);
    Bytes x = block;
    c.EncryptBlock(x.data());
    ASSERT_EQ(ToHex(x), ToHex(expected));
    x = block;
    c.DecryptBlock(x.data());
    ASSERT_EQ(ToHex(x), ToHex(back));
  }
}

TEST(ClassicCiphersTest, GostExpandedTables) {
  EXPECT_EQ(TCipher_Gost::Table(0, 0x00), 0x00072000u);
  EXPECT_EQ(TCipher_Gost::Table(0, 0x01), 0x00075000u);
  EXPECT_EQ(TCipher_Gost::Table(3, 0xFF), 0x00000660u);
}

// The TEA pair runs 16 cycles of the library's own rounds. Crypto++'s TEA and XTEA (same word
// order, cycle count set to 16) compute the published rounds and so must not agree; they serve
// only to show that the departure is real.
TEST(ClassicCiphersTest, TeaPairRunsSixteenCyclesOfItsOwnRounds) {
  TCipher_TEA tea;
  TCipher_TEAN tean;
  EXPECT_EQ(tea.Rounds(), 0);
  const Bytes key = FromHex("000102030405060708090A0B0C0D0E0F");
  tea.Init(key.data(), 16, nullptr);
  tean.Init(key.data(), 16, nullptr);
  EXPECT_EQ(tea.Rounds(), 16);
  EXPECT_EQ(tean.Rounds(), 16);
  tea.Init(key.data(), 3, nullptr);
  EXPECT_EQ(tea.Rounds(), 16);

  const Bytes block = FromHex("0011223344556677");
  Bytes a = block, b = block;
  tea.Init(key.data(), 16, nullptr);
  tea.EncryptBlock(a.data());
  tean.EncryptBlock(b.data());
  EXPECT_NE(a, b);

  // Crypto++ reads big-endian words; feed it our words in its order so only the rounds differ.
  auto swapWords = [](Bytes v) {
    std::reverse(v.begin(), v.begin() + 4);
    std::reverse(v.begin() + 4, v.end());
    return v;
  };
  const Bytes oracleKey = [&] {
    Bytes k = key;
    for (std::size_t i = 0; i < 16; i += 4)
      std::reverse(k.begin() + std::ptrdiff_t(i), k.begin() + std::ptrdiff_t(i) + 4);
    return k;
  }();
  Bytes published(8);
  CryptoPP::TEA::Encryption cppTea(oracleKey.data(), 16, 16);
  cppTea.ProcessBlock(swapWords(block).data(), published.data());
  EXPECT_NE(ToHex(swapWords(published)), ToHex(a));
  CryptoPP::XTEA::Encryption cppXtea(oracleKey.data(), 16, 16);
  cppXtea.ProcessBlock(swapWords(block).data(), published.data());
  EXPECT_NE(ToHex(swapWords(published)), ToHex(b));
}

// The registry lines of these classes: derived names for Gost and Blowfish, given names for the
// TEA pair, no descriptions; Blowfish is the default cipher class.
TEST(ClassicCiphersTest, RegistryNames) {
  EXPECT_EQ(&DefaultCipherClass(), &TCipher_Blowfish::StaticClass());
  EXPECT_EQ(CipherRegistryLine(&TCipher_Gost::StaticClass()), "Gost=");
  EXPECT_EQ(CipherRegistryLine(&TCipher_Blowfish::StaticClass()), "Blowfish=");
  EXPECT_EQ(CipherRegistryLine(&TCipher_TEA::StaticClass()), "TEA=");
  EXPECT_EQ(CipherRegistryLine(&TCipher_TEAN::StaticClass()), "TEA extended=");
  EXPECT_EQ(FindCipherClass("tea EXTENDED"), &TCipher_TEAN::StaticClass());
  EXPECT_EQ(FindCipherClass("TCipher_TEAN"), &TCipher_TEAN::StaticClass());
  EXPECT_EQ(FindCipherClass("tea"), &TCipher_TEA::StaticClass());
  EXPECT_EQ(FindCipherClass("GOST"), &TCipher_Gost::StaticClass());
  EXPECT_EQ(FindCipherClass("Cipher_Blowfish"), &TCipher_Blowfish::StaticClass());
  EXPECT_EQ(CipherClassName(&TCipher_TEAN::StaticClass()), "TEA extended");
}

}  // namespace
}  // namespace corvane
