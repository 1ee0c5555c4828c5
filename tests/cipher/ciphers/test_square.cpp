// Square cipher and Square hash: the cipher's known answer (also rebuilt from Crypto++'s Square
// block routine), Crypto++'s validation vectors, agreement with Crypto++ Square (same byte order;
// short keys zero-padded to 16 bytes) and its round keys, the table checks, round trips; the
// hash's known answer, agreement with a Matyas-Meyer-Oseas construction over Crypto++ Square with
// the library's padding, one-shot against split updates, the padding edge cases and the
// keystream actions that feed the hash its own digest.
#include <cryptopp/square.h>
#include <gtest/gtest.h>

#include <random>

#include "cipher/base/hash.h"
#include "cipher/ciphers/shark.h"
#include "cipher/ciphers/square.h"
#include "cipher/cipher_test_util.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

using cvtest::Bytes;
using cvtest::FromHex;
using cvtest::RandomBytes;
using cvtest::ToHex;

template <class Base>
struct Peek : Base {
  using Base::Base;
  CryptoPP::word32 RoundKeyWord(std::size_t i) const { return this->m_roundkeys[i]; }
};

// ---- cipher ----

TEST(SquareCipherTest, KnownAnswer) {
  cvtest::ExpectKnownAnswer(TCipher_Square::StaticClass(),
                            "439CA6C467E82E472295668506396AC9182120F74436F1617D1490B1A96856C7");
}

TEST(SquareCipherTest, KnownAnswerFromCryptoppBlocks) {
  const Bytes key = cvtest::NameKey("TCipher_Square", 16);
  CryptoPP::Square::Encryption enc(key.data(), key.size());
  cvtest::ExpectKnownAnswerFromBlocks(TCipher_Square::StaticClass(),
                                      [&](std::uint8_t* b) { enc.ProcessBlock(b); });
}

TEST(SquareCipherTest, ValidationVectors) {
  EXPECT_EQ(cvtest::ExpectBlockVectors(TCipher_Square::StaticClass()), 8u);
}

TEST(SquareCipherTest, Dimensions) { cvtest::ExpectDimensions<TCipher_Square>(16, 16, 288); }

TEST(SquareCipherTest, EmptyKeyIsTheZeroKey) {
  TCipher_Square c;
  c.Init(nullptr, 0, nullptr);
  EXPECT_EQ(ToHex(cvtest::EncryptBlockCopy(c, Bytes(16, 0))), "3C00428F8ABBC0B84F057CC19C26F8CF");
}

TEST(SquareCipherTest, AgreesWithCryptoppForEveryKeyLength) {
  std::mt19937 rng(51);
  // 17-byte keys are cut to 16; Crypto++ gets the key zero-padded to (or cut to) 16 bytes.
  cvtest::ExpectAgreesWithCryptoppBlocks<CryptoPP::Square>(TCipher_Square::StaticClass(), rng, 0, 17, 8,
                                                           {.key = [](const Bytes& key) {
                                                             Bytes k = key;
                                                             k.resize(16, 0);
                                                             return k;
                                                           }});
}

// Schedule words 0-35 (EK0..EK8) and 36-71 (DK0..DK8) equal Crypto++'s round keys, which it
// keeps as big-endian words.
TEST(SquareCipherTest, RoundKeysMatchCryptopp) {
  std::mt19937 rng(52);
  for (int trial = 0; trial < 4; ++trial) {
    const Bytes key = RandomBytes(rng, 16);
    SCOPED_TRACE("key " + ToHex(key));
    TCipher_Square c;
    c.Init(key.data(), 16, nullptr);
    Peek<CryptoPP::Square::Encryption> enc(key.data(), 16);
    Peek<CryptoPP::Square::Decryption> dec(key.data(), 16);
    const auto s = c.ScheduleBytes();
    for (std::size_t i = 0; i < 36; ++i) {
      EXPECT_EQ(LoadLE32(s.data() + 4 * i), SwapBytes32(enc.RoundKeyWord(i))) << "EK word " << i;
      EXPECT_EQ(LoadLE32(s.data() + 144 + 4 * i), SwapBytes32(dec.RoundKeyWord(i))) << "DK word " << i;
    }
  }
}

TEST(SquareCipherTest, Tables) {
  EXPECT_EQ(SquareEncryptionTables()[0][0], 0x26B1B197u);
  EXPECT_EQ(SquareEncryptionTables()[0][1], 0xA7CECE69u);
  EXPECT_EQ(SquareDecryptionTables()[0][0], 0x02BC68E3u);
  EXPECT_EQ(SquareKeyTable()[1], 0x03010102u);
  // The same S-box as Shark; Et and Dt are rotations of E0 and D0 (byte i of Et = byte i-t of E0).
  EXPECT_EQ(ToHex(SharkSBox().data(), 8), "B1CEC3955AADE702");
  for (unsigned x = 0; x < 256; ++x)
    for (unsigned t = 1; t < 4; ++t) {
      ASSERT_EQ(SquareEncryptionTables()[t][x], RotateLeft32(SquareEncryptionTables()[0][x], 8 * t));
      ASSERT_EQ(SquareDecryptionTables()[t][x], RotateLeft32(SquareDecryptionTables()[0][x], 8 * t));
    }
}

TEST(SquareCipherTest, RoundTripsForRandomKeysOfEveryLength) {
  std::mt19937 rng(53);
  cvtest::ExpectRoundTripsForEveryKeyLength(TCipher_Square::StaticClass(), rng, 70);
}

// ---- hash ----

// Matyas-Meyer-Oseas over Crypto++ Square: digest = Square_digest(block) XOR block, from the
// start words 67452301 EFCDAB89 98BADCFE 10325476; counts compressions.
struct OracleSquareHash {
  std::uint8_t d[16];
  int compressions = 0;
  OracleSquareHash() {
    const std::uint32_t iv[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
    for (int i = 0; i < 4; ++i) StoreLE32(d + 4 * i, iv[i]);
  }
  void Compress(const std::uint8_t* block) {
    CryptoPP::Square::Encryption e(d, 16);
    std::uint8_t o[16];
    e.ProcessBlock(block, o);
    for (int i = 0; i < 16; ++i) d[i] = o[i] ^ block[i];
    ++compressions;
  }
  // The message in whole blocks, then 0x80, zeros, and the 64-bit sign-extended 32-bit bit count
  // (a second block when fewer than 8 bytes remain for the length). lengthBytes is the byte
  // count the length field is made from (the message's own length by default).
  std::string Digest(const Bytes& msg, std::uint64_t lengthBytes) {
    std::size_t i = 0;
    for (; i + 16 <= msg.size(); i += 16) Compress(msg.data() + i);
    std::uint8_t last[16] = {};
    std::size_t n = msg.size() - i;
    std::copy(msg.begin() + std::ptrdiff_t(i), msg.end(), last);
    last[n] = 0x80;
    if (n >= 8) {
      Compress(last);
      std::fill(std::begin(last), std::end(last), 0);
    }
    const std::int64_t bits = std::int32_t(std::uint32_t(lengthBytes * 8));
    StoreLE64(last + 8, std::uint64_t(bits));
    Compress(last);
    return ToHex(d, 16);
  }
};

std::string DigestOf(const Bytes& msg) {
  auto h = Make<THash_Square>();
  h->Start();
  h->Update(msg.data(), msg.size());
  h->Finish();
  return ToHex(h->DigestBytes(), 16);
}

TEST(SquareHashTest, KnownAnswer) {
  const auto input = SharedTestInput();
  const Bytes msg(input.begin(), input.end());
  EXPECT_EQ(DigestOf(msg), "060DE4C773B153EB32991DE3BBE5CDDF");
  EXPECT_EQ(ToHex(THash_Square::StaticClass().knownAnswer, 16), "060DE4C773B153EB32991DE3BBE5CDDF");
  EXPECT_EQ(THash_Square::StaticClass().digestSize, 16);
  EXPECT_EQ(OracleSquareHash().Digest(msg, msg.size()), "060DE4C773B153EB32991DE3BBE5CDDF");
}

TEST(SquareHashTest, EmptyMessageIsOneCompressionOfThePaddingBlock) {
  OracleSquareHash oracle;
  oracle.Compress(FromHex("80000000000000000000000000000000").data());
  EXPECT_EQ(DigestOf({}), ToHex(oracle.d, 16));
  auto h = Make<THash_Square>();
  h->Start();
  h->Update(nullptr, 0);
  h->Finish();
  EXPECT_EQ(ToHex(h->DigestBytes(), 16), ToHex(oracle.d, 16));
}

TEST(SquareHashTest, AgreesWithMatyasMeyerOseasOverCryptoppSquare) {
  std::mt19937 rng(54);
  for (std::size_t len = 0; len <= 80; ++len) {
    const Bytes msg = RandomBytes(rng, len);
    OracleSquareHash oracle;
    EXPECT_EQ(DigestOf(msg), oracle.Digest(msg, len)) << "length " << len;
    // Finish takes two compressions for a tail of 8..15 bytes, one for 0..7.
    EXPECT_EQ(oracle.compressions, int(len / 16) + ((len % 16) >= 8 ? 2 : 1));
  }
  for (std::size_t len : {1000u, 4096u, 9999u}) {
    const Bytes msg = RandomBytes(rng, len);
    OracleSquareHash oracle;
    EXPECT_EQ(DigestOf(msg), oracle.Digest(msg, len)) << "length " << len;
  }
}

TEST(SquareHashTest, SplitUpdatesGiveTheOneShotDigest) {
  std::mt19937 rng(55);
  for (int trial = 0; trial < 60; ++trial) {
    const Bytes msg = RandomBytes(rng, rng() % 200);
    const std::string whole = DigestOf(msg);
    auto h = Make<THash_Square>();
    h->Start();
    std::size_t pos = 0;
    while (pos < msg.size()) {
      const std::size_t n = std::min<std::size_t>(msg.size() - pos, rng() % 37);
      h->Update(msg.data() + pos, n);
      pos += n;
    }
    h->Finish();
    EXPECT_EQ(ToHex(h->DigestBytes(), 16), whole) << "length " << msg.size();
  }
}

// Byte counts of 2^28 and more: the bit count modulo 2^32 has bit 31 set, and the length field
// is sign-extended (its upper four bytes FF FF FF FF). The chaining value before Finish is read
// from the digest buffer; the oracle runs only the padding block from it.
TEST(SquareHashTest, LengthFieldIsSignExtendedFromBit31) {
  const Bytes chunk(std::size_t(1) << 20, 0x5A);
  auto h = Make<THash_Square>();
  h->Start();
  for (int i = 0; i < 256; ++i) h->Update(chunk.data(), chunk.size());  // 2^28 bytes
  OracleSquareHash unsignedLength;
  std::copy(h->DigestBytes(), h->DigestBytes() + 16, unsignedLength.d);
  h->Finish();
  std::uint8_t last[16] = {0x80};
  StoreLE64(last + 8, 0xFFFFFFFF80000000ull);  // 2^31 bits, sign-extended
  OracleSquareHash padded = unsignedLength;
  padded.Compress(last);
  EXPECT_EQ(ToHex(h->DigestBytes(), 16), ToHex(padded.d, 16));
  StoreLE64(last + 8, 0x0000000080000000ull);  // the same count without the sign extension
  unsignedLength.Compress(last);
  EXPECT_NE(ToHex(h->DigestBytes(), 16), ToHex(unsignedLength.d, 16));
}

// The keystream actions feed the hash its own digest buffer; the result equals feeding a copy.
TEST(SquareHashTest, KeystreamActionsReadTheDigestAsItStands) {
  Bytes data(37);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 29 + 3);
  auto h = Make<THash_Square>();
  h->Start();
  Bytes expect = data;
  for (std::size_t piece = 0; piece * 16 < data.size(); ++piece) {
    const Bytes d(h->DigestBytes(), h->DigestBytes() + 16);
    h->Update(d.data(), d.size());
    h->Finish();
    for (std::size_t i = piece * 16; i < std::min(data.size(), piece * 16 + 16); ++i)
      expect[i] ^= h->DigestBytes()[i % 16];
  }
  auto enc = Make<THash_Square>();
  Bytes work = data;
  enc->ProcessBuffer(work.data(), work.size(), TProtectionAction::Encrypt);
  EXPECT_EQ(ToHex(work), ToHex(expect));
  auto dec = Make<THash_Square>();
  dec->ProcessBuffer(work.data(), work.size(), TProtectionAction::Decrypt);
  EXPECT_EQ(ToHex(work), ToHex(data));
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

TEST(SquareRegistryTest, BothClassesAreRegisteredUnderSquare) {
  StartCipherLibrary();
  EXPECT_EQ(HashRegistryLine(&THash_Square::StaticClass()), "Square=Hash");
  EXPECT_EQ(FindHashClass("square"), &THash_Square::StaticClass());
  EXPECT_EQ(FindHashClass("THash_Square"), &THash_Square::StaticClass());
  const auto hashes = HashList();
  const auto at = std::find(hashes.begin(), hashes.end(), "Square=Hash");
  ASSERT_NE(at, hashes.end());
  ASSERT_NE(at, hashes.begin());
  EXPECT_EQ(*(at - 1), "Snefru-256=Hash");
  EXPECT_EQ(*(at + 1), "Tiger=Hash");
  EXPECT_EQ(CipherRegistryLine(&TCipher_Square::StaticClass()), "Square=");
  EXPECT_EQ(FindCipherClass("SQUARE"), &TCipher_Square::StaticClass());
}

}  // namespace
}  // namespace corvane
