// Twofish: known answer (also rebuilt from Crypto++'s block routine and the library's cmCTS
// rule), the paper's vectors and its iterated tables, agreement with Crypto++ Twofish for keys of
// every length (zero-padded to 16/24/32 bytes, which is the library's own key rule), the key
// schedule layout, the static tables against the published tables, and round trips.
#include <cryptopp/twofish.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "cipher/ciphers/twofish.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

// All 0x.. values of a table file in tests/data (the header line skipped).
std::vector<std::uint32_t> ReadTable(const std::string& name) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<std::uint32_t> v;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string w;
    while (words >> w) v.push_back(std::uint32_t(std::stoul(w, nullptr, 16)));
  }
  return v;
}

// Crypto++ Twofish with the key zero-padded to the length the library rounds it up to.
Bytes CryptoppKey(const Bytes& key) {
  Bytes k = key;
  k.resize(key.size() <= 16 ? 16 : key.size() <= 24 ? 24 : 32, 0);
  return k;
}

// Gives access to Crypto++'s subkeys and key-dependent tables.
struct CryptoppTwofishPeek : CryptoPP::Twofish::Encryption {
  using CryptoPP::Twofish::Encryption::Encryption;
  const CryptoPP::word32* Subkeys() const { return m_k.data(); }
  const CryptoPP::word32* SBoxes() const { return m_s.data(); }
};

TEST(TwofishTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_Twofish::StaticClass(),
                            "E81674F9BC69442188C949BB52E1E47874171177E99DBBE9880875094F8DFE21");
}

// The known answer rebuilt without the class: Crypto++'s block routine under the class name
// zero-padded to 16 bytes, the vector E(FF..FF), and two whole cmCTS blocks.
TEST(TwofishTest, KnownAnswerFromCryptoppBlocks) {
  const Bytes key = CryptoppKey(cvtest::NameKey("TCipher_Twofish"));
  CryptoPP::Twofish::Encryption enc(key.data(), key.size());
  cvtest::ExpectKnownAnswerFromBlocks(TCipher_Twofish::StaticClass(),
                                      [&](std::uint8_t* b) { enc.ProcessBlock(b); });
}

TEST(TwofishTest, PaperVectors) { EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_Twofish::StaticClass()), 9u); }

// The paper's iterated tables: PT(i+1) = CT(i), KEY(i+1) = PT(i) followed by the first bytes of
// KEY(i); the 49th cipher text of each key size.
TEST(TwofishTest, PaperIteratedTables) {
  struct Case {
    std::size_t keyBytes;
    const char* ct49;
  } const cases[] = {{16, "5D9D4EEFFA9151575524F115815A12E0"},
                     {24, "E75449212BEEF9F4A390BD860A640941"},
                     {32, "37FE26FF1CF66175F5DDF4C33B97A205"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keyBytes);
    Bytes key(c.keyBytes, 0), pt(16, 0), ct(16);
    for (int i = 1; i <= 49; ++i) {
      TCipher_Twofish tf;
      tf.Init(key.data(), std::int32_t(key.size()), nullptr);
      ct = pt;
      tf.EncryptBlock(ct.data());
      Bytes next(pt);
      next.insert(next.end(), key.begin(), key.begin() + std::ptrdiff_t(c.keyBytes - 16));
      key = next;
      pt = ct;
    }
    EXPECT_EQ(ToHex(ct), c.ct49);
  }
}

TEST(TwofishTest, Dimensions) { cvtest::ExpectDimensions<TCipher_Twofish>(16, 32, 4256); }

TEST(TwofishTest, ShortKeysAreZeroPaddedAndEmptyKeyIsZeroKey) {
  TCipher_Twofish c;
  c.Init(nullptr, 0, nullptr);
  EXPECT_EQ(ToHex(cvtest::EncryptBlockCopy(c, Bytes(16, 0))), "9F589F5CF6122C32B6BFEC2F2AE8C35A");
  // A key longer than 32 bytes is cut to 32.
  std::mt19937 rng(31);
  const Bytes longKey = RandomBytes(rng, 40);
  TCipher_Twofish cut, full;
  cut.Init(longKey.data(), 40, nullptr);
  full.Init(longKey.data(), 32, nullptr);
  const Bytes plain = RandomBytes(rng, 16);
  EXPECT_EQ(ToHex(cvtest::EncryptBlockCopy(cut, plain)), ToHex(cvtest::EncryptBlockCopy(full, plain)));
}

TEST(TwofishTest, AgreesWithCryptoppForEveryKeyLength) {
  std::mt19937 rng(32);
  cvtest::ExpectAgreesWithCryptoppBlocks<CryptoPP::Twofish>(TCipher_Twofish::StaticClass(), rng, 0, 32, 6,
                                                            {.key = CryptoppKey});
}

// Words 0-39 hold K0..K39 and words 40-1063 the tables T0..T3, as Crypto++ computes them.
TEST(TwofishTest, ScheduleLayoutMatchesCryptoppSubkeysAndTables) {
  std::mt19937 rng(33);
  for (std::size_t len : {5u, 16u, 24u, 32u}) {
    SCOPED_TRACE(len);
    const Bytes key = RandomBytes(rng, len);
    TCipher_Twofish c;
    c.Init(key.data(), std::int32_t(len), nullptr);
    const Bytes k = CryptoppKey(key);
    CryptoppTwofishPeek ref(k.data(), k.size());
    const auto s = c.ScheduleBytes();
    auto word = [&](std::size_t i) { return LoadLE32(s.data() + 4 * i); };
    for (std::size_t i = 0; i < 40; ++i) ASSERT_EQ(word(i), ref.Subkeys()[i]) << "K" << i;
    for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(word(40 + i), ref.SBoxes()[i]) << "T word " << i;
  }
}

TEST(TwofishTest, StaticTablesEqualThePublishedTables) {
  const auto q0 = ReadTable("twofish-q0.txt");
  const auto q1 = ReadTable("twofish-q1.txt");
  const auto mds = ReadTable("twofish-mds-tables.txt");
  ASSERT_EQ(q0.size(), 256u);
  ASSERT_EQ(q1.size(), 256u);
  ASSERT_EQ(mds.size(), 1024u);
  for (std::size_t x = 0; x < 256; ++x) {
    EXPECT_EQ(TwofishQ0()[x], q0[x]) << x;
    EXPECT_EQ(TwofishQ1()[x], q1[x]) << x;
    for (std::size_t j = 0; j < 4; ++j) EXPECT_EQ(TwofishMdsTables()[j][x], mds[256 * j + x]) << j << " " << x;
  }
}

// q0 and q1 rebuilt by the paper's construction from the 4-bit t-tables.
TEST(TwofishTest, QPermutationsFollowFromTheTTables) {
  const auto t = ReadTable("twofish-q-t-tables.txt");
  ASSERT_EQ(t.size(), 128u);
  auto ror4 = [](unsigned v) { return ((v >> 1) | (v << 3)) & 15u; };
  for (int which = 0; which < 2; ++which) {
    const std::uint32_t* tt = t.data() + 64 * which;
    const auto& q = which == 0 ? TwofishQ0() : TwofishQ1();
    for (unsigned x = 0; x < 256; ++x) {
      unsigned a = x >> 4, b = x & 15;
      unsigned a1 = a ^ b, b1 = (a ^ ror4(b) ^ (8 * a)) & 15;
      unsigned a2 = tt[a1], b2 = tt[16 + b1];
      unsigned a3 = a2 ^ b2, b3 = (a2 ^ ror4(b2) ^ (8 * a2)) & 15;
      unsigned a4 = tt[32 + a3], b4 = tt[48 + b3];
      ASSERT_EQ(q[x], 16 * b4 + a4) << "q" << which << "[" << x << "]";
    }
  }
}

// The folded MDS tables rebuilt from the MDS matrix over GF(2^8) mod 0x169 and q1, q0, q1, q0.
TEST(TwofishTest, MdsTablesFollowFromTheMatrix) {
  const auto m = ReadTable("twofish-mds-matrix.txt");
  ASSERT_EQ(m.size(), 16u);
  auto mul = [](unsigned a, unsigned b) {
    unsigned r = 0;
    for (; b; b >>= 1) {
      if (b & 1) r ^= a;
      a <<= 1;
      if (a & 0x100) a ^= 0x169;
    }
    return r;
  };
  for (unsigned j = 0; j < 4; ++j) {
    const auto& q = (j % 2 == 0) ? TwofishQ1() : TwofishQ0();
    for (unsigned x = 0; x < 256; ++x) {
      std::uint32_t w = 0;
      for (unsigned i = 0; i < 4; ++i) w |= std::uint32_t(mul(m[4 * i + j], q[x])) << (8 * i);
      ASSERT_EQ(TwofishMdsTables()[j][x], w) << j << " " << x;
    }
  }
}

TEST(TwofishTest, RoundTripsForRandomKeysOfEveryLength) {
  std::mt19937 rng(34);
  cvtest::ExpectRoundTripsForEveryKeyLength(TCipher_Twofish::StaticClass(), rng, 70);
}

}  // namespace
}  // namespace corvane
