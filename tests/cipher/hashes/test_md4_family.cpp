// MD4-family hashes: known answers over the shared test input, the standards' own test vectors,
// agreement with Crypto++ on random messages, split updates, the padding boundaries, the state
// left by Finish and the keystream feedback loop that feeds the digest back into Update.
#include <gtest/gtest.h>

// MD4 and MD5 live in Crypto++'s namespace of weak algorithms.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/sha.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/hash.h"
#include "cipher/hashes/md4_family.h"
#include "cipher/base/protection.h"
#include "cipher/base/stored_key.h"
#include "cipher/base/support.h"
#include "cipher/cpu_paths.h"

using namespace corvane;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

const std::uint8_t* Ptr(std::string_view s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Digest of data in one Start/Update/Finish.
std::string DigestOf(THash& h, const std::uint8_t* data, std::size_t n) {
  h.Start();
  h.Update(data, n);
  h.Finish();
  return Hex(h.DigestBytes(), std::size_t(h.DigestSize()));
}
std::string DigestOf(THash& h, std::string_view s) { return DigestOf(h, Ptr(s), s.size()); }

// The eight members, each with its published counterpart in Crypto++ (none for SHA-0).
struct Member {
  const char* name;
  const HashClassInfo& (*cls)();
  std::function<std::string(const std::uint8_t*, std::size_t)> oracle;  // empty: no oracle
};

template <class O>
std::string OracleDigest(const std::uint8_t* p, std::size_t n) {
  O o;
  Bytes d(O::DIGESTSIZE);
  o.CalculateDigest(d.data(), p, n);
  return Hex(d.data(), d.size());
}

const std::vector<Member>& Members() {
  static const std::vector<Member> members = {
      {"MD4", &THash_MD4::StaticClass, OracleDigest<CryptoPP::Weak::MD4>},
      {"MD5", &THash_MD5::StaticClass, OracleDigest<CryptoPP::Weak::MD5>},
      {"SHA", &THash_SHA::StaticClass, nullptr},
      {"SHA1", &THash_SHA1::StaticClass, OracleDigest<CryptoPP::SHA1>},
      {"RipeMD128", &THash_RipeMD128::StaticClass, OracleDigest<CryptoPP::RIPEMD128>},
      {"RipeMD160", &THash_RipeMD160::StaticClass, OracleDigest<CryptoPP::RIPEMD160>},
      {"RipeMD256", &THash_RipeMD256::StaticClass, OracleDigest<CryptoPP::RIPEMD256>},
      {"RipeMD320", &THash_RipeMD320::StaticClass, OracleDigest<CryptoPP::RIPEMD320>},
  };
  return members;
}

Owned<THash> Create(const Member& m) { return CreateHash(m.cls()); }

Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

// Exposes the framework's fields and counts compressions.
template <class H>
class Inspect : public H {
 public:
  using H::BlockBuffer;
  using H::ByteCount;
  int compressions = 0;

 protected:
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override {
    compressions += int(blocks);
    H::CompressBlocks(data, blocks);
  }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Known answers and published vectors

TEST(MD4Family, KnownAnswersOverSharedTestInput) {
  const struct {
    const HashClassInfo& cls;
    std::int32_t size;
    const char* expected;
  } cases[] = {
      {THash_MD4::StaticClass(), 16, "25EABFCC8CC96FD92DCF7EBD7F877C7C"},
      {THash_MD5::StaticClass(), 16, "3ED8348CD2A445D6755D4BC9FEDCC2C6"},
      {THash_RipeMD128::StaticClass(), 16, "CFA032CFD08F873A78DF13E7EBCD980F"},
      {THash_RipeMD160::StaticClass(), 20, "1954DEBC1B553530081D9B8070A0F24A9DF73404"},
      {THash_RipeMD256::StaticClass(), 32, "C3B1D7ACA89A477A38D36D39EF00FB45FC4EC31A7121DB9E1C76C5DE998818C2"},
      {THash_RipeMD320::StaticClass(), 40,
       "B7BD2C75B7135091E4670946F1415A4845DF8E07BA674EA9FD66ED01D96F2320B51112C5A741A65C"},
      {THash_SHA::StaticClass(), 20, "DC1F7D7C96DDC7FC4D0AF2CC12E7F7665BB185AC"},
      {THash_SHA1::StaticClass(), 20, "9A012E63962A92EBD82EF0BC1CA4516A08692E68"},
  };
  const auto input = SharedTestInput();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cls.name);
    auto h = CreateHash(c.cls);
    EXPECT_EQ(h->DigestSize(), c.size);
    EXPECT_EQ(DigestOf(*h, input.data(), input.size()), c.expected);
    ASSERT_NE(h->KnownAnswer(), nullptr);
    EXPECT_EQ(Hex(h->KnownAnswer(), std::size_t(c.size)), c.expected);
  }
}

TEST(MD4Family, PublishedTestVectors) {
  const std::string digits8 = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
  const std::string alnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  const std::string alpha = "abcdefghijklmnopqrstuvwxyz";
  const std::string nopq = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const struct {
    const HashClassInfo& cls;
    std::string input;
    const char* expected;
  } cases[] = {
      // RFC 1320
      {THash_MD4::StaticClass(), "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {THash_MD4::StaticClass(), "a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {THash_MD4::StaticClass(), "abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {THash_MD4::StaticClass(), "message digest", "d9130a8164549fe818874806e1c7014b"},
      {THash_MD4::StaticClass(), alpha, "d79e1c308aa5bbcdeea8ed63df412da9"},
      {THash_MD4::StaticClass(), alnum, "043f8582f241db351ce627e153e7f0e4"},
      {THash_MD4::StaticClass(), digits8, "e33b4ddc9c38f2199c3e7b164fcc0536"},
      // RFC 1321
      {THash_MD5::StaticClass(), "", "d41d8cd98f00b204e9800998ecf8427e"},
      {THash_MD5::StaticClass(), "a", "0cc175b9c0f1b6a831c399e269772661"},
      {THash_MD5::StaticClass(), "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {THash_MD5::StaticClass(), "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {THash_MD5::StaticClass(), alpha, "c3fcd3d76192e4007dfb496cca67e13b"},
      {THash_MD5::StaticClass(), alnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
      {THash_MD5::StaticClass(), digits8, "57edf4a22be3c955ac49da2e2107b67a"},
      // FIPS 180 (SHA) and FIPS 180-1 (SHA-1)
      {THash_SHA::StaticClass(), "abc", "0164B8A914CD2A5E74C4F7FF082C4D97F1EDF880"},
      {THash_SHA::StaticClass(), nopq, "D2516EE1ACFA5BAF33DFC1C471E438449EF134C8"},
      {THash_SHA1::StaticClass(), "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {THash_SHA1::StaticClass(), nopq, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      // The RIPEMD authors' vectors
      {THash_RipeMD128::StaticClass(), "", "cdf26213a150dc3ecb610f18f6b38b46"},
      {THash_RipeMD128::StaticClass(), "abc", "c14a12199c66e4ba84636b0f69144c77"},
      {THash_RipeMD128::StaticClass(), "message digest", "9e327b3d6e523062afc1132d7df9d1b8"},
      {THash_RipeMD128::StaticClass(), nopq, "a1aa0689d0fafa2ddc22e88b49133a06"},
      {THash_RipeMD128::StaticClass(), digits8, "3f45ef194732c2dbb2c4a2c769795fa3"},
      {THash_RipeMD160::StaticClass(), "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
      {THash_RipeMD160::StaticClass(), "a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
      {THash_RipeMD160::StaticClass(), "abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
      {THash_RipeMD160::StaticClass(), alpha, "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
      {THash_RipeMD160::StaticClass(), nopq, "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
      {THash_RipeMD160::StaticClass(), digits8, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
      {THash_RipeMD256::StaticClass(), "", "02ba4c4e5f8ecd1877fc52d64d30e37a2d9774fb1e5d026380ae0168e3c5522d"},
      {THash_RipeMD256::StaticClass(), "abc", "afbd6e228b9d8cbbcef5ca2d03e6dba10ac0bc7dcbe4680e1e42d2e975459b65"},
      {THash_RipeMD256::StaticClass(), alpha, "649d3034751ea216776bf9a18acc81bc7896118a5197968782dd1fd97d8d5133"},
      {THash_RipeMD256::StaticClass(), digits8,
       "06fdcc7a409548aaf91368c06a6275b553e3f099bf0ea4edfd6778df89a890dd"},
      {THash_RipeMD320::StaticClass(), "",
       "22d65d5661536cdc75c1fdf5c6de7b41b9f27325ebc61e8557177d705a0ec880151c3a32a00899b8"},
      {THash_RipeMD320::StaticClass(), "abc",
       "de4c01b3054f8930a79d09ae738e92301e5a17085beffdc1b8d116713e74f82fa942d64cdbc4682d"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.cls.name) + " of \"" + c.input + "\"");
    auto h = CreateHash(c.cls);
    EXPECT_EQ(DigestOf(*h, c.input), Upper(c.expected));
  }
}

TEST(MD4Family, MillionAs) {
  const std::string block(1000, 'a');
  const struct {
    const HashClassInfo& cls;
    const char* expected;
  } cases[] = {
      {THash_SHA::StaticClass(), "3232AFFA48628A26653B5AAA44541FD90D690603"},
      {THash_SHA1::StaticClass(), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F"},
      {THash_RipeMD160::StaticClass(), "52783243C1697BDBE16D37F97F68F08325DC1528"},
      {THash_RipeMD128::StaticClass(), "4A7F5723F954EBA1216C9D8F6320431F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cls.name);
    auto h = CreateHash(c.cls);
    h->Start();
    for (int i = 0; i < 1000; ++i) h->Update(Ptr(block), block.size());
    h->Finish();
    EXPECT_EQ(Hex(h->DigestBytes(), std::size_t(h->DigestSize())), c.expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Agreement with Crypto++ and split updates

TEST(MD4Family, AgreesWithCryptoppOnRandomMessages) {
  std::mt19937 rng(20240611);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);  // every padding position
  for (int i = 0; i < 60; ++i) lengths.push_back(std::size_t(rng() % 4098));
  lengths.push_back(4097);
  for (const auto& m : Members()) {
    if (!m.oracle) continue;
    SCOPED_TRACE(m.name);
    auto h = Create(m);
    for (std::size_t n : lengths) {
      const Bytes msg = RandomBytes(rng, n);
      ASSERT_EQ(DigestOf(*h, msg.data(), msg.size()), m.oracle(msg.data(), msg.size())) << "length " << n;
      // The same message in random pieces (some empty), from an unaligned copy.
      Bytes shifted(n + 3);
      if (n) std::memcpy(shifted.data() + 3, msg.data(), n);
      h->Start();
      std::size_t pos = 0;
      while (pos < n) {
        const std::size_t piece = std::min<std::size_t>(n - pos, rng() % 150);
        h->Update(shifted.data() + 3 + pos, piece);
        pos += piece;
      }
      h->Finish();
      ASSERT_EQ(Hex(h->DigestBytes(), std::size_t(h->DigestSize())), m.oracle(msg.data(), msg.size()))
          << "pieces, length " << n;
    }
  }
}

TEST(MD4Family, SplitAtEveryPointGivesTheOneShotDigest) {
  std::mt19937 rng(7);
  for (const auto& m : Members()) {
    SCOPED_TRACE(m.name);
    auto h = Create(m);
    for (std::size_t n : {55u, 64u, 65u, 130u}) {
      const Bytes msg = RandomBytes(rng, n);
      const std::string whole = DigestOf(*h, msg.data(), n);
      for (std::size_t cut = 0; cut <= n; ++cut) {
        h->Start();
        h->Update(msg.data(), cut);
        h->Update(msg.data() + cut, 0);
        h->Update(msg.data() + cut, n - cut);
        h->Finish();
        ASSERT_EQ(Hex(h->DigestBytes(), std::size_t(h->DigestSize())), whole) << "length " << n << " cut " << cut;
      }
    }
  }
}

// Short pieces land at every position inside the buffer's words, so the buffer's word-wise fill
// keeps the bytes already waiting in a word and the final block takes them all, for inputs that
// end anywhere in a block (on every processor path).
TEST(MD4Family, PiecesOfOneToNineBytesGiveTheOneShotDigest) {
  std::mt19937 rng(11);
  const Bytes msg = RandomBytes(rng, 200);
  cpu_paths::ForEachPath([&] {
    for (const auto& m : Members()) {
      SCOPED_TRACE(m.name);
      auto h = Create(m);
      for (std::size_t n = 0; n <= msg.size(); n += 7) {
        const std::string whole = DigestOf(*h, msg.data(), n);
        for (std::size_t first = 1; first <= 9; ++first) {
          h->Start();
          for (std::size_t pos = 0, piece = first; pos < n; pos += piece, piece = piece % 9 + 1)
            h->Update(msg.data() + pos, std::min(piece, n - pos));
          h->Finish();
          ASSERT_EQ(Hex(h->DigestBytes(), std::size_t(h->DigestSize())), whole)
              << "length " << n << " first piece " << first;
        }
      }
    }
  });
}

TEST(MD4Family, MessagesOverHalfAGibibyteGetThePublishedLength) {
  // 2^29 bytes and more: the bit count no longer fits in 32 bits.
  const std::size_t total = (std::size_t(1) << 29) + 77;
  Bytes chunk(1 << 20);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = std::uint8_t(i * 131 + 7);
  THash_MD4 ours;
  CryptoPP::Weak::MD4 theirs;
  ours.Start();
  std::size_t left = total;
  while (left > 0) {
    const std::size_t n = std::min(left, chunk.size());
    ours.Update(chunk.data(), n);
    theirs.Update(chunk.data(), n);
    left -= n;
  }
  ours.Finish();
  Bytes d(16);
  theirs.Final(d.data());
  EXPECT_EQ(Hex(ours.DigestBytes(), 16), Hex(d.data(), 16));
}

// ---------------------------------------------------------------------------------------------
// Framework: start values, padding blocks, state after Finish, restart, continuation

TEST(MD4Family, StartExposesTheStartValuesInTheStateByteView) {
  THash_SHA1 sha1;
  sha1.Start();
  EXPECT_EQ(Hex(sha1.DigestBytes(), 20), "0123456789ABCDEFFEDCBA9876543210F0E1D2C3");
  THash_RipeMD320 r320;
  r320.Start();
  EXPECT_EQ(Hex(r320.DigestBytes(), 40),
            "0123456789ABCDEFFEDCBA9876543210F0E1D2C310325476"
            "98BADCFEEFCDAB89674523010F1E2D3C");
  THash_RipeMD256 r256;
  r256.Start();
  EXPECT_EQ(Hex(r256.DigestBytes(), 32),
            "0123456789ABCDEFFEDCBA987654321010325476"
            "98BADCFEEFCDAB8967452301");
}

TEST(MD4Family, FinalBlockCountAtThePaddingBoundaries) {
  const struct {
    std::size_t length;
    int blocks;
  } cases[] = {{0, 1}, {55, 1}, {56, 2}, {63, 2}, {64, 2}, {119, 2}, {120, 3}, {128, 3}};
  const Bytes msg(200, 0x5A);
  for (const auto& c : cases) {
    Inspect<THash_MD5> md5;
    Inspect<THash_SHA> sha;
    EXPECT_EQ(DigestOf(md5, msg.data(), c.length), OracleDigest<CryptoPP::Weak::MD5>(msg.data(), c.length));
    DigestOf(sha, msg.data(), c.length);
    EXPECT_EQ(md5.compressions, c.blocks) << "length " << c.length;
    EXPECT_EQ(sha.compressions, c.blocks) << "length " << c.length;
  }
}

TEST(MD4Family, FinishLeavesZeroBufferAndCountAndDigestInPublishedOrder) {
  Bytes msg(93);
  for (std::size_t i = 0; i < msg.size(); ++i) msg[i] = std::uint8_t(0xF0 - i);
  Inspect<THash_SHA1> sha1;
  sha1.Start();
  sha1.Update(msg.data(), msg.size());
  sha1.Finish();
  EXPECT_EQ(sha1.ByteCount, 93u);
  EXPECT_TRUE(std::all_of(std::begin(sha1.BlockBuffer), std::end(sha1.BlockBuffer),
                          [](std::uint8_t b) { return b == 0; }));
  EXPECT_EQ(Hex(sha1.DigestBytes(), 20), OracleDigest<CryptoPP::SHA1>(msg.data(), msg.size()));

  Inspect<THash_RipeMD160> r160;
  r160.Start();
  r160.Update(msg.data(), msg.size());
  r160.Finish();
  EXPECT_EQ(r160.ByteCount, 93u);
  EXPECT_TRUE(std::all_of(std::begin(r160.BlockBuffer), std::end(r160.BlockBuffer),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(MD4Family, StartDiscardsEverythingBefore) {
  std::mt19937 rng(3);
  const Bytes junk = RandomBytes(rng, 100);
  const Bytes msg = RandomBytes(rng, 77);
  for (const auto& m : Members()) {
    SCOPED_TRACE(m.name);
    auto fresh = Create(m);
    const std::string expected = DigestOf(*fresh, msg.data(), msg.size());
    auto used = Create(m);
    DigestOf(*used, junk.data(), junk.size());  // a finished message
    used->Update(junk.data(), 41);              // and a message cut off in the middle
    EXPECT_EQ(DigestOf(*used, msg.data(), msg.size()), expected);
  }
}

TEST(MD4Family, ShaAndSha1KeepTheirScheduleAcrossRestarts) {
  THash_SHA1 sha1;
  THash_SHA sha;
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(DigestOf(sha1, "abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(DigestOf(sha, "abc"), "0164B8A914CD2A5E74C4F7FF082C4D97F1EDF880");
  }
}

// SHA and SHA-1 written out from their definition: the 80-word schedule first (rotated by one
// bit for SHA-1), then the 80 steps.
Bytes ShaByDefinition(const Bytes& msg, bool rotate) {
  std::uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  Bytes m = msg;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int i = 7; i >= 0; --i) m.push_back(std::uint8_t((std::uint64_t(msg.size()) * 8) >> (8 * i)));
  for (std::size_t off = 0; off < m.size(); off += 64) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = LoadBE32(m.data() + off + 4 * t);
    for (int t = 16; t < 80; ++t) {
      const std::uint32_t v = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
      w[t] = rotate ? RotateLeft32(v, 1) : v;
    }
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
      std::uint32_t f, k;
      if (t < 20)
        f = (b & c) | (~b & d), k = 0x5A827999u;
      else if (t < 40)
        f = b ^ c ^ d, k = 0x6ED9EBA1u;
      else if (t < 60)
        f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDCu;
      else
        f = b ^ c ^ d, k = 0xCA62C1D6u;
      const std::uint32_t tmp = RotateLeft32(a, 5) + f + e + k + w[t];
      e = d, d = c, c = RotateLeft32(b, 30), b = a, a = tmp;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  Bytes out(20);
  for (int i = 0; i < 5; ++i) StoreBE32(out.data() + 4 * i, h[i]);
  return out;
}

// Every processor path (SHA instructions, portable) gives the definition's digest for SHA and
// SHA-1, for one block and for runs of many blocks taken in one call.
TEST(MD4Family, ShaAndSha1OnEveryPathEqualTheDefinition) {
  std::mt19937 rng(5);
  std::vector<Bytes> messages;
  for (std::size_t n : {0, 1, 55, 56, 63, 64, 65, 119, 128, 200, 640, 4097})
    messages.push_back(RandomBytes(rng, n));
  cpu_paths::ForEachPath([&] {
    for (const Bytes& msg : messages) {
      for (bool rotate : {false, true}) {
        Owned<THash> h = rotate ? Owned<THash>(Make<THash_SHA1>()) : Owned<THash>(Make<THash_SHA>());
        h->Start();
        h->Update(msg.data(), msg.size());
        h->Finish();
        ASSERT_EQ(Bytes(h->DigestBytes(), h->DigestBytes() + 20), ShaByDefinition(msg, rotate))
            << "length " << msg.size() << (rotate ? " SHA-1" : " SHA");
      }
    }
  });
}

// Update after Finish without Start continues: the count goes on, the buffer restarts empty at
// position count mod 64, and compression goes on from the finished words.
TEST(MD4Family, UpdateAfterFinishContinuesFromTheFinishedState) {
  const Bytes a(10, 0x11), b(70, 0x22);
  THash_MD5 cont;
  cont.Start();
  cont.Update(a.data(), a.size());
  cont.Finish();
  const Bytes first(cont.DigestBytes(), cont.DigestBytes() + 16);
  cont.Update(b.data(), b.size());
  cont.Finish();

  // The same by hand: 10 zero bytes stand for the emptied buffer, the state is the first digest.
  Inspect<THash_MD5> byHand;
  byHand.Start();
  std::memcpy(byHand.DigestBytes(), first.data(), 16);
  const Bytes zeros(10, 0);
  byHand.Update(zeros.data(), zeros.size());
  byHand.Update(b.data(), b.size());
  byHand.Finish();
  EXPECT_EQ(byHand.ByteCount, 80u);
  EXPECT_EQ(Hex(cont.DigestBytes(), 16), Hex(byHand.DigestBytes(), 16));
}

// The keystream loop: after one Start, Update(DigestBytes, DigestSize) then Finish, again and
// again. Where a compression falls inside such an Update, the bytes after it are read from the
// state that compression produced.
TEST(MD4Family, FeedbackLoopReadsItsOwnStateAsItGoes) {
  const struct {
    const HashClassInfo& cls;
    int firstLivePass;  // 1-based pass whose Update compresses mid-input; 0: never
  } cases[] = {
      {THash_MD4::StaticClass(), 0},       {THash_MD5::StaticClass(), 0},
      {THash_RipeMD128::StaticClass(), 0}, {THash_RipeMD256::StaticClass(), 0},
      {THash_RipeMD160::StaticClass(), 4}, {THash_SHA::StaticClass(), 4},
      {THash_SHA1::StaticClass(), 4},      {THash_RipeMD320::StaticClass(), 2},
  };
  constexpr int kPasses = 8;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cls.name);
    auto live = CreateHash(c.cls);
    auto model = CreateHash(c.cls);     // splits each Update at the compression point by hand
    auto snapshot = CreateHash(c.cls);  // copies its digest before every Update
    const std::size_t d = std::size_t(live->DigestSize());
    live->Start();
    model->Start();
    snapshot->Start();
    std::size_t waiting = 0;
    for (int pass = 1; pass <= kPasses; ++pass) {
      live->Update(live->DigestBytes(), d);

      if (waiting + d > 64) {
        const std::size_t fill = 64 - waiting;
        const Bytes head(model->DigestBytes(), model->DigestBytes() + fill);
        model->Update(head.data(), fill);                      // completes a block: compresses
        model->Update(model->DigestBytes() + fill, d - fill);  // the rest, from the new state
      } else {
        model->Update(model->DigestBytes(), d);
      }
      waiting = (waiting + d) % 64;

      const Bytes copy(snapshot->DigestBytes(), snapshot->DigestBytes() + d);
      snapshot->Update(copy.data(), d);

      live->Finish();
      model->Finish();
      snapshot->Finish();
      const std::string liveHex = Hex(live->DigestBytes(), d);
      ASSERT_EQ(liveHex, Hex(model->DigestBytes(), d)) << "pass " << pass;
      if (c.firstLivePass == 0 || pass < c.firstLivePass)
        ASSERT_EQ(liveHex, Hex(snapshot->DigestBytes(), d)) << "pass " << pass;
      else
        ASSERT_NE(liveHex, Hex(snapshot->DigestBytes(), d)) << "pass " << pass;
    }
  }
}

// The keystream actions of the hash base over every member: Encrypt, then Decrypt with a
// fresh object, gives back the data; the keystream runs past the passes above.
TEST(MD4Family, KeystreamRoundTripOverEveryMember) {
  std::mt19937 rng(11);
  const Bytes plain = RandomBytes(rng, 333);
  for (const auto& m : Members()) {
    SCOPED_TRACE(m.name);
    Bytes data = plain;
    auto enc = Create(m);
    enc->ProcessBuffer(data.data(), data.size(), TProtectionAction::Encrypt);
    EXPECT_NE(data, plain);
    auto dec = Create(m);
    dec->ProcessBuffer(data.data(), data.size(), TProtectionAction::Decrypt);
    EXPECT_EQ(data, plain);
  }
}

// ---------------------------------------------------------------------------------------------
// Registry and key hashing

TEST(MD4Family, RegisteredUnderShortAndDisplayNames) {
  StartCipherLibrary();
  const struct {
    const HashClassInfo& cls;
    const char* shortName;
    const char* display;
  } cases[] = {
      {THash_MD4::StaticClass(), "md4", "Message Digest 4"},
      {THash_MD5::StaticClass(), "MD5", "Message Digest 5"},
      {THash_SHA::StaticClass(), "SHA", "Secure Hash Algorithm"},
      {THash_SHA1::StaticClass(), "sha1", "Secure Hash Algorithm 1"},
      {THash_RipeMD128::StaticClass(), "RipeMD128", "Ripe Message Digest 128"},
      {THash_RipeMD160::StaticClass(), "RIPEMD160", "Ripe Message Digest 160"},
      {THash_RipeMD256::StaticClass(), "THash_RipeMD256", "ripe message digest 256"},
      {THash_RipeMD320::StaticClass(), "ripemd320", "Ripe Message Digest 320"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cls.name);
    EXPECT_EQ(FindHashClass(c.shortName), &c.cls);
    EXPECT_EQ(FindHashClass(c.display), &c.cls);
  }
  EXPECT_EQ(&DefaultHashClass(), &THash_RipeMD256::StaticClass());
  EXPECT_EQ(HashClassName(&THash_RipeMD256::StaticClass()), "Ripe Message Digest 256");
}

TEST(MD4Family, StoredValueKeyIsTheRipeMD256DigestOfTheKeyText) {
  const std::string_view key = StoredValueKeyText();
  const std::string digest = DigestText(DefaultHashClass(), key, nullptr, 1);
  ASSERT_EQ(digest.size(), 32u);
  EXPECT_EQ(Hex(Ptr(digest), 32), OracleDigest<CryptoPP::RIPEMD256>(Ptr(key), key.size()));
}
