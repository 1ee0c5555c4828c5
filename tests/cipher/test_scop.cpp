// SCOP: key expansion rules, the advancing keystream over 128-byte units, the state snapshot
// restored by ResetChain, repeatable protection-base actions, round trips, and the known answer
// of this implementation (no independently published value exists to compare with).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cipher/scop.h"
#include "cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::ToHex;

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

Bytes Expand(const Bytes& key, std::int32_t size) {
  Bytes out(48, 0xEE);
  TCipher_SCOP::ExpandKey(key.data(), size, out.data());
  return out;
}

TEST(ScopTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_SCOP::StaticClass(),
                            "E55E661B87EC817DC9BB1E37B2B0F1E7DA1A1C82A72B8B961E976434E855A972");
}

TEST(ScopTest, Dimensions) {
  TCipher_SCOP c;
  EXPECT_EQ(c.BlockSize(), 128);
  EXPECT_EQ(c.MaxKeySize(), 48);
  EXPECT_EQ(c.ScheduleSize(), 3104);
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
  const TCipherMode modes[] = {TCipherMode::cmCTS, TCipherMode::cmCBC, TCipherMode::cmCFB, TCipherMode::cmOFB,
                               TCipherMode::cmECB};
  std::mt19937 rng(4);
  for (auto mode : modes) {
    for (std::size_t len : {0u, 1u, 127u, 128u, 129u, 300u, 1024u}) {
      SCOPED_TRACE("mode " + std::to_string(int(mode)) + " length " + std::to_string(len));
      const Bytes key = RandomBytes(rng, rng() % 49);
      const Bytes plain = RandomBytes(rng, len);
      TCipher_SCOP c;
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
  const Bytes keys[] = {{0x00}, {0x01}, {0x00, 0x01}, {0x01, 0x00}, Bytes(48, 0xFF), {0x01, 0x02, 0x03},
                        {0x01, 0x02, 0x04}};
  std::vector<std::string> streams;
  for (const auto& k : keys) streams.push_back(firstUnit(k));
  for (std::size_t a = 0; a < streams.size(); ++a)
    for (std::size_t b = a + 1; b < streams.size(); ++b) EXPECT_NE(streams[a], streams[b]) << a << " " << b;
}

TEST(ScopTest, Registered) {
  EXPECT_EQ(CipherRegistryLine(&TCipher_SCOP::StaticClass()), "SCOP=");
  EXPECT_EQ(FindCipherClass("scop"), &TCipher_SCOP::StaticClass());
  EXPECT_EQ(FindCipherClass("TCipher_SCOP"), &TCipher_SCOP::StaticClass());
}

}  // namespace
}  // namespace corvane
