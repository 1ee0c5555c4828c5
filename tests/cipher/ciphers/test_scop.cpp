// SCOP: key expansion rules, the advancing keystream over 128-byte units, the state snapshot
// restored by ResetChain, repeatable protection-base actions, round trips, and the known answer
// of this implementation (no independently published value exists to compare with).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "cipher/ciphers/scop.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::RandomBytes;
using cvtest::ToHex;

Bytes Expand(const Bytes& key, std::int32_t size) {
  Bytes out(48, 0xEE);
  TCipher_SCOP::ExpandKey(key.data(), size, out.data());
  return out;
}

// A plain model of the cipher as described, written apart from the class: the 48-byte expansion,
// the generator with its polynomials evaluated in 64-bit arithmetic and reduced mod 2^32 after
// every product, the table V, and the unit. It checks the class's arithmetic and index rules and
// ties the class's known answer (for which no published value exists) to the description.
struct ScopModel {
  std::uint8_t b[48] = {};
  std::uint32_t v[384] = {};
  std::uint32_t i = 0, j = 0, t3 = 0;

  explicit ScopModel(const Bytes& key) {
    const Bytes k = key.empty() ? Bytes{0} : key;
    const std::size_t s = std::min<std::size_t>(k.size(), 48);
    for (std::size_t n = 0; n < 48; ++n) b[n] = n < s ? k[n] : std::uint8_t((b[n - s] + b[n - s + 1]) % 256);
    int counter = 1;
    for (std::size_t n = 0; n < 32; ++n)
      if (b[n] == 0) b[n] = std::uint8_t(counter++);
    std::uint32_t o[4];
    for (int n = 0; n < 8; ++n) Step(o);
    for (int r = 0; r < 12; ++r) {
      for (int n = 0; n < 8; ++n) {
        Step(o);
        for (int h = 0; h < 4; ++h) v[32 * r + 4 * n + h] = o[h];
      }
      Step(o);
    }
    Step(o);
    const std::uint32_t w = o[3];
    v[w % 128] |= 1;
    i = w >> 24;
    j = (w >> 16) % 256;
    t3 = w >> 8;
  }

  static std::uint64_t Poly(std::uint64_t c4, std::uint64_t c3, std::uint64_t c2, std::uint64_t c1,
                            std::uint64_t z) {
    const std::uint64_t m = 0xFFFFFFFFull;
    std::uint64_t p = 1, sum = 1;
    const std::uint64_t c[5] = {0, c1, c2, c3, c4};
    for (int e = 1; e <= 4; ++e) {
      p = (p * z) & m;
      sum = (sum + ((c[e] * p) & m)) & m;
    }
    return sum;
  }

  void Step(std::uint32_t o[4]) {
    std::uint64_t t[4];
    for (int h = 0; h < 4; ++h) {
      const std::uint64_t x = std::uint64_t(b[32 + 4 * h + 2]) | std::uint64_t(b[32 + 4 * h + 3]) << 8;
      const std::uint64_t y = std::uint64_t(b[32 + 4 * h]) | std::uint64_t(b[32 + 4 * h + 1]) << 8;
      const std::uint64_t a = Poly(b[8 * h], b[8 * h + 1], b[8 * h + 2], b[8 * h + 3], x);
      const std::uint64_t bv = Poly(b[8 * h + 4], b[8 * h + 9], b[8 * h + 14], b[8 * h + 19], y);
      o[h] = std::uint32_t(((a << 16) | (bv & 0xFFFF)) & 0xFFFFFFFFull);
      t[h] = (a & 0xFFFF0000ull) | (bv >> 16);
    }
    const std::uint64_t x[4] = {(t[3] << 16) | (t[0] >> 16), (t[0] << 16) | (t[1] >> 16),
                                (t[1] << 16) | (t[2] >> 16), (t[2] << 16) | (t[3] >> 16)};
    for (int h = 0; h < 4; ++h)
      for (int n = 0; n < 4; ++n) b[32 + 4 * h + n] = std::uint8_t(x[h] >> (8 * n));
  }

  // One 128-byte unit; i, j and t3 start from their values after the key schedule every time.
  void Unit(std::uint8_t* block, bool encrypt) {
    std::uint32_t ii = i, jj = j, tt = t3;
    for (int n = 0; n < 32; ++n) {
      const std::uint32_t t1 = v[128 + jj];
      jj = (jj + tt % 256) % 256;
      const std::uint32_t a = v[ii], bb = v[128 + jj];
      ii = (ii + 1) % 256;
      tt = a + bb;
      v[128 + jj] = tt;
      jj = (jj + bb % 256) % 256;
      std::uint32_t w = LoadLE32(block + 4 * n);
      w = encrypt ? w + (bb + t1) : w - (bb + t1);
      StoreLE32(block + 4 * n, w);
    }
  }
};

TEST(ScopTest, AgreesWithAPlainModelOfTheDescription) {
  std::mt19937 rng(5);
  for (std::size_t len = 0; len <= 48; ++len) {
    SCOPED_TRACE("key length " + std::to_string(len));
    Bytes key = RandomBytes(rng, len);
    if (len == 3) key = {0x00, 0x00, 0x00};  // zero bytes replaced by the counter
    ScopModel model(key);
    TCipher_SCOP c;
    c.Init(key.data(), std::int32_t(len), nullptr);
    // The vector is the first unit over 0xFF bytes.
    Bytes unit(128, 0xFF);
    model.Unit(unit.data(), true);
    ASSERT_EQ(ToHex(c.VectorBytes().data(), 128), ToHex(unit));
    // V after that unit, then further units with high-bit data, both directions.
    ASSERT_EQ(ToHex(c.ScheduleBytes().data() + 4 * TCipher_SCOP::kTable, 4 * 384),
              ToHex(reinterpret_cast<const std::uint8_t*>(model.v), 4 * 384));
    for (int n = 0; n < 3; ++n) {
      Bytes a = RandomBytes(rng, 128), b = a;
      const bool encrypt = n != 1;
      if (encrypt)
        c.EncryptBlock(a.data());
      else
        c.DecryptBlock(a.data());
      model.Unit(b.data(), encrypt);
      ASSERT_EQ(ToHex(a), ToHex(b)) << "unit " << n;
    }
  }
}

// The known answer from the model: the 32-byte input is a tail of the 128-byte unit, so it is
// XORed with the encryption of the register, which holds the vector after Init.
TEST(ScopTest, KnownAnswerFollowsFromTheModel) {
  const std::string name = "TCipher_SCOP";
  ScopModel model(Bytes(name.begin(), name.end()));
  Bytes f(128, 0xFF);
  model.Unit(f.data(), true);
  model.Unit(f.data(), true);
  const auto input = SharedTestInput();
  Bytes expected(32);
  for (std::size_t n = 0; n < 32; ++n) expected[n] = std::uint8_t(input[n] ^ f[n]);
  EXPECT_EQ(ToHex(expected), ToHex(TCipher_SCOP::StaticClass().knownAnswer, 32));
}

TEST(ScopTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_SCOP::StaticClass(),
                            "E55E661B87EC817DC9BB1E37B2B0F1E7DA1A1C82A72B8B961E976434E855A972");
}

TEST(ScopTest, Dimensions) {
  cvtest::ExpectDimensions<TCipher_SCOP>(128, 48, 3104);
  EXPECT_EQ(2 * TCipher_SCOP::kStateWords * 4, 3104u);
}

TEST(ScopTest, KeyExpansion) {
  // One byte: 48 copies of it.
  EXPECT_EQ(Expand(Bytes{0x37}, 1), Bytes(48, 0x37));
  // The byte 0: the first 32 zero bytes count up from 1, the last 16 stay zero.
  Bytes zeroExpanded(48, 0);
  for (int n = 0; n < 32; ++n) zeroExpanded[n] = std::uint8_t(n + 1);
  EXPECT_EQ(Expand(Bytes{0x00}, 1), zeroExpanded);
  // An empty key is taken as the single byte 0.
  EXPECT_EQ(Expand(Bytes{}, 0), zeroExpanded);
  EXPECT_EQ(Expand(Bytes{}, -5), zeroExpanded);
  // Two bytes: each further byte is the sum of the two bytes s and s-1 places back (mod 256).
  const Bytes two = Expand(Bytes{0x01, 0xFF}, 2);
  EXPECT_EQ(two[2], 0x00 + 1);  // 01 + FF = 00, the first zero byte becomes 1
  for (std::size_t n = 3; n < 48; ++n) {
    const std::uint8_t raw = std::uint8_t(two[n - 2] + two[n - 1]);
    if (n >= 32 || raw != 0) {
      ASSERT_EQ(two[n], raw) << n;  // the sum reads the replaced bytes
    }
  }
  // 48 bytes stand as they are, apart from zero bytes among the first 32.
  std::mt19937 rng(1);
  Bytes full = RandomBytes(rng, 48);
  full[3] = 0;
  full[20] = 0;
  full[40] = 0;
  Bytes expected = full;
  expected[3] = 1;
  expected[20] = 2;
  EXPECT_EQ(Expand(full, 48), expected);
  // Keys longer than 48 bytes are cut by the key-size check.
  Bytes longKey = RandomBytes(rng, 60);
  TCipher_SCOP a, b;
  a.Init(longKey.data(), 60, nullptr);
  b.Init(longKey.data(), 48, nullptr);
  EXPECT_EQ(ToHex(a.VectorBytes().data(), 128), ToHex(b.VectorBytes().data(), 128));
}

TEST(ScopTest, SnapshotTakenAtEndOfInit) {
  TCipher_SCOP c;
  c.Init("snapshot key");
  const auto s = c.ScheduleBytes();
  const std::size_t half = TCipher_SCOP::kStateWords * 4;
  EXPECT_EQ(std::memcmp(s.data(), s.data() + half, half), 0);
  const Bytes snapshot(s.begin() + half, s.end());
  // A unit moves the working state only; ResetChain copies the snapshot back.
  Bytes unit(128, 0x42);
  c.EncryptBlock(unit.data());
  EXPECT_NE(std::memcmp(s.data(), s.data() + half, half), 0);
  EXPECT_EQ(Bytes(s.begin() + half, s.end()), snapshot);
  c.ResetChain();
  EXPECT_EQ(std::memcmp(s.data(), s.data() + half, half), 0);
}

TEST(ScopTest, UnitsAdvanceTheKeystreamButKeepTheIndices) {
  TCipher_SCOP c;
  c.Init("units");
  const auto s = c.ScheduleBytes();
  const Bytes indicesBefore(s.begin(), s.begin() + 12);
  Bytes first(128, 0), second(128, 0);
  c.EncryptBlock(first.data());
  c.EncryptBlock(second.data());
  EXPECT_NE(ToHex(first), ToHex(second));
  EXPECT_EQ(ToHex(Bytes(s.begin(), s.begin() + 12)), ToHex(indicesBefore));
  // Decrypting from the same starting state gives the units back.
  c.ResetChain();
  c.DecryptBlock(first.data());
  c.DecryptBlock(second.data());
  EXPECT_EQ(first, Bytes(128, 0));
  EXPECT_EQ(second, Bytes(128, 0));
}

TEST(ScopTest, ResetChainRestartsTheKeystream) {
  std::mt19937 rng(2);
  const Bytes plain = RandomBytes(rng, 300);
  TCipher_SCOP c;
  c.Init("reset");
  Bytes once(plain.size()), twice(plain.size());
  c.EncryptBuffer(plain.data(), once.data(), plain.size());
  c.EncryptBuffer(plain.data(), twice.data(), plain.size());
  EXPECT_NE(ToHex(once), ToHex(twice));  // the chain and V ran on
  c.ResetChain();
  c.EncryptBuffer(plain.data(), twice.data(), plain.size());
  EXPECT_EQ(ToHex(once), ToHex(twice));
}

TEST(ScopTest, ProtectionActionsAreRepeatable) {
  std::mt19937 rng(3);
  const Bytes plain = RandomBytes(rng, 200);
  auto c = MakeCipher<TCipher_SCOP>("stored value key");
  Bytes a = plain, b = plain;
  c->ProcessBuffer(a.data(), a.size(), TProtectionAction::Encrypt);
  c->ProcessBuffer(b.data(), b.size(), TProtectionAction::Encrypt);
  EXPECT_EQ(ToHex(a), ToHex(b));
  EXPECT_NE(ToHex(a), ToHex(plain));
  c->ProcessBuffer(a.data(), a.size(), TProtectionAction::Decrypt);
  EXPECT_EQ(ToHex(a), ToHex(plain));
}

TEST(ScopTest, RoundTripInEncryptionModes) {
  std::mt19937 rng(4);
  cvtest::ExpectRoundTripsInModes(
      TCipher_SCOP::StaticClass(), rng, {0, 1, 127, 128, 129, 300, 1024},
      [](std::mt19937& r) { return std::size_t(r() % 49); }, 16);
}

TEST(ScopTest, KeysGiveDistinctKeystreams) {
  auto firstUnit = [](const Bytes& k) {
    TCipher_SCOP c;
    c.Init(k.data(), std::int32_t(k.size()), nullptr);
    Bytes unit(128, 0);
    c.EncryptBlock(unit.data());
    return ToHex(unit);
  };
  // The empty key is the single byte 0. Every all-zero key expands to the same 48 bytes (its
  // generator state is zero and stays zero), so all of them give one and the same keystream.
  const std::string zero = firstUnit({0x00});
  EXPECT_EQ(firstUnit({}), zero);
  EXPECT_EQ(firstUnit(Bytes(48, 0)), zero);
  // Neighbouring keys otherwise differ.
  const Bytes keys[] = {
      {0x00}, {0x01}, {0x00, 0x01}, {0x01, 0x00}, Bytes(48, 0xFF), {0x01, 0x02, 0x03}, {0x01, 0x02, 0x04}};
  std::vector<std::string> streams;
  for (const auto& k : keys) streams.push_back(firstUnit(k));
  for (std::size_t a = 0; a < streams.size(); ++a)
    for (std::size_t b = a + 1; b < streams.size(); ++b) EXPECT_NE(streams[a], streams[b]) << a << " " << b;
}

TEST(ScopTest, Registered) {
  cvtest::ExpectRegistered(TCipher_SCOP::StaticClass(), "SCOP=", {"scop", "TCipher_SCOP"});
}

}  // namespace
}  // namespace corvane
