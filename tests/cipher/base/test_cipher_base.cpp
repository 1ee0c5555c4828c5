#include <gtest/gtest.h>

#include <cryptopp/idea.h>
#include <cryptopp/modes.h>
#include <cryptopp/ripemd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cipher/base/cipher.h"
#include "cipher/ciphers/idea.h"
#include "cipher/hashes/md4_family.h"
#include "cipher/base/support.h"
#include "cipher/cipher_test_util.h"

using namespace corvane;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A small invertible 8-byte block cipher, only to drive the chaining modes.
class TToyCipher : public TCipher {
  CORVANE_CIPHER_CLASS(TToyCipher)
 public:
  explicit TToyCipher(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override {
    std::memcpy(Schedule(), key, std::size_t(size));
  }
  void EncryptBlock(std::uint8_t* b) override {
    const std::uint8_t* k = Schedule();
    for (int r = 0; r < 2; ++r)
      for (int i = 0; i < 8; ++i)
        b[i] = std::uint8_t(Rotl(std::uint8_t(b[i] ^ k[(i + r * 8) % 16]), 3) + b[(i + 7) % 8]);
  }
  void DecryptBlock(std::uint8_t* b) override {
    const std::uint8_t* k = Schedule();
    for (int r = 1; r >= 0; --r)
      for (int i = 7; i >= 0; --i)
        b[i] = std::uint8_t(Rotl(std::uint8_t(b[i] - b[(i + 7) % 8]), 5) ^ k[(i + r * 8) % 16]);
  }

 private:
  static std::uint8_t Rotl(std::uint8_t v, int s) { return std::uint8_t((v << s) | (v >> (8 - s))); }
};
CORVANE_DEFINE_CIPHER_CLASS(TToyCipher, TCipher, 8, 16, 16, nullptr)

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

const std::string kKey = "0123456789abcdef";

Owned<TToyCipher> Keyed(TCipherMode mode, const std::uint8_t* iv = nullptr) {
  auto c = Make<TToyCipher>();
  c->Init(kKey, iv);
  c->Mode = mode;
  return c;
}

const TCipherMode kDataModes[] = {TCipherMode::cmCTS, TCipherMode::cmCBC, TCipherMode::cmCFB, TCipherMode::cmOFB,
                                  TCipherMode::cmECB};

}  // namespace

TEST(CipherBaseTest, NotReadyIsRefusedWithCode3) {
  auto c = Make<TToyCipher>();
  std::uint8_t buf[8] = {};
  try {
    c->EncryptBuffer(buf, buf, 8);
    FAIL();
  } catch (const ECipherException& e) {
    EXPECT_EQ(e.Code, 3);
    EXPECT_STREQ(e.what(), "TToyCipher is not initialized call Init() or InitKey() before.");
  }
  EXPECT_THROW(c->DecryptBuffer(buf, buf, 8), ECipherException);
  EXPECT_THROW(c->ProcessBuffer(buf, 8, TProtectionAction::Encrypt), ECipherException);
  for (auto b : buf) EXPECT_EQ(b, 0);
}

TEST(CipherBaseTest, EveryModeRoundTripsAtEveryLength) {
  const Bytes iv = {9, 8, 7, 6, 5, 4, 3, 2};
  for (TCipherMode mode : kDataModes)
    for (std::size_t len : {0u, 1u, 7u, 8u, 9u, 19u, 64u, 100u}) {
      const Bytes plain = RandomBytes(len, unsigned(len) * 31 + unsigned(mode));
      auto enc = Keyed(mode, iv.data());
      Bytes cipher(len);
      enc->EncryptBuffer(plain.data(), cipher.data(), len);
      // Continuing the chain over pieces gives the same as one call.
      auto pieces = Keyed(mode, iv.data());
      Bytes inPlace = plain;
      const std::size_t cut = len / 8 * 8 / 2 / 8 * 8;  // a cut at a block boundary
      pieces->EncryptBuffer(inPlace.data(), inPlace.data(), cut);
      pieces->EncryptBuffer(inPlace.data() + cut, inPlace.data() + cut, len - cut);
      EXPECT_EQ(inPlace, cipher) << int(mode) << "/" << len;

      auto dec = Keyed(mode, iv.data());
      Bytes back(len);
      dec->DecryptBuffer(cipher.data(), back.data(), len);
      EXPECT_EQ(back, plain) << int(mode) << "/" << len;
      auto decInPlace = Keyed(mode, iv.data());
      decInPlace->DecryptBuffer(cipher.data(), cipher.data(), len);
      EXPECT_EQ(cipher, plain) << "in place " << int(mode) << "/" << len;
    }
}

TEST(CipherBaseTest, CtsDefinition) {
  auto c = Keyed(TCipherMode::cmCTS);
  // No IV: V = E(FF..FF).
  std::uint8_t v[8];
  std::memset(v, 0xFF, 8);
  c->EncryptBlock(v);  // the schedule is the same; E itself has no state
  EXPECT_EQ(Bytes(c->VectorBytes().begin(), c->VectorBytes().end()), Bytes(v, v + 8));
  // One byte: input xor first byte of E(V).
  std::uint8_t ev[8];
  std::memcpy(ev, v, 8);
  c->EncryptBlock(ev);
  std::uint8_t one = 0x5C;
  c->ProcessBuffer(&one, 1, TProtectionAction::Encrypt);
  EXPECT_EQ(one, std::uint8_t(0x5C ^ ev[0]));
  // Two blocks by the formula: C = E(P xor F); F = C xor F.
  const Bytes p = RandomBytes(16, 5);
  Bytes f(v, v + 8), expect(16);
  for (int blk = 0; blk < 2; ++blk) {
    std::uint8_t t[8];
    for (int i = 0; i < 8; ++i) t[i] = std::uint8_t(p[blk * 8 + i] ^ f[i]);
    c->EncryptBlock(t);
    for (int i = 0; i < 8; ++i) {
      expect[blk * 8 + i] = t[i];
      f[i] ^= t[i];
    }
  }
  Bytes out(16);
  c->EncryptBuffer(p.data(), out.data(), 16);
  EXPECT_EQ(out, expect);
  EXPECT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()), f);
  // The protection hooks bring the register back: the same text twice gives the same output.
  Bytes a = p, b = p;
  c->ProcessBuffer(a.data(), 16, TProtectionAction::Encrypt);
  c->ProcessBuffer(b.data(), 16, TProtectionAction::Encrypt);
  EXPECT_EQ(a, b);
}

TEST(CipherBaseTest, MacModesWriteNothingAndMatchTheirDataModes) {
  const Bytes data = RandomBytes(27, 11);  // three blocks and a tail
  const std::pair<TCipherMode, TCipherMode> pairs[] = {{TCipherMode::cmCTSMAC, TCipherMode::cmCTS},
                                                       {TCipherMode::cmCBCMAC, TCipherMode::cmCBC},
                                                       {TCipherMode::cmCFBMAC, TCipherMode::cmCFB}};
  auto reg = [](const TCipher& c) { return Bytes(c.FeedbackBytes().begin(), c.FeedbackBytes().end()); };
  for (auto [macMode, dataMode] : pairs) {
    auto mac = Keyed(macMode);
    Bytes out(data.size(), 0xEE);
    mac->EncryptBuffer(data.data(), out.data(), data.size());
    EXPECT_EQ(out, Bytes(data.size(), 0xEE)) << int(macMode);
    // The register is the one that encryption in the data mode leaves.
    auto ref = Keyed(dataMode);
    Bytes scratch(data.size());
    ref->EncryptBuffer(data.data(), scratch.data(), data.size());
    EXPECT_EQ(reg(*mac), reg(*ref)) << int(macMode);
    // Decrypting in a MAC mode computes the same register.
    auto dec = Keyed(macMode);
    dec->DecryptBuffer(data.data(), out.data(), data.size());
    EXPECT_EQ(reg(*dec), reg(*mac)) << int(macMode);
  }
  // In the block MAC modes a tail does not enter the register.
  for (TCipherMode macMode : {TCipherMode::cmCTSMAC, TCipherMode::cmCBCMAC}) {
    Bytes other = data, out(data.size());
    other[25] ^= 0xFF;
    auto a = Keyed(macMode), b = Keyed(macMode);
    a->EncryptBuffer(data.data(), out.data(), data.size());
    b->EncryptBuffer(other.data(), out.data(), other.size());
    EXPECT_EQ(reg(*a), reg(*b)) << int(macMode);
  }
}

TEST(CipherBaseTest, AgreesWithCryptoPPOnStandardModes) {
  const Bytes key = RandomBytes(16, 21), iv = RandomBytes(8, 22), plain = RandomBytes(64, 23);
  auto ours = [&](TCipherMode mode, const Bytes& in) {
    auto c = Make<TCipher_IDEA>();
    c->Init(key.data(), 16, iv.data());
    c->Mode = mode;
    Bytes out(in.size());
    c->EncryptBuffer(in.data(), out.data(), in.size());
    return out;
  };
  Bytes expect(plain.size());
  CryptoPP::CBC_Mode<CryptoPP::IDEA>::Encryption cbc(key.data(), 16, iv.data());
  cbc.ProcessData(expect.data(), plain.data(), plain.size());
  EXPECT_EQ(ours(TCipherMode::cmCBC, plain), expect);

  CryptoPP::CFB_Mode<CryptoPP::IDEA>::Encryption cfb8(key.data(), 16, iv.data(), 1);
  cfb8.ProcessData(expect.data(), plain.data(), plain.size());
  EXPECT_EQ(ours(TCipherMode::cmCFB, plain), expect);

  CryptoPP::ECB_Mode<CryptoPP::IDEA>::Encryption ecb(key.data(), 16);
  ecb.ProcessData(expect.data(), plain.data(), plain.size());
  EXPECT_EQ(ours(TCipherMode::cmECB, plain), expect);

  // 8-bit output feedback by hand over the oracle's block function.
  CryptoPP::IDEA::Encryption block(key.data(), 16);
  Bytes f = iv;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    std::uint8_t s[8];
    block.ProcessBlock(f.data(), s);
    expect[i] = std::uint8_t(plain[i] ^ s[0]);
    f.erase(f.begin());
    f.push_back(s[0]);
  }
  EXPECT_EQ(ours(TCipherMode::cmOFB, plain), expect);
}

TEST(CipherBaseTest, EraseStateAndKeySizes) {
  auto c = Keyed(TCipherMode::cmCTS);
  c->EraseState();
  EXPECT_FALSE(c->Ready());
  EXPECT_EQ(c->Flags() & 3u, 0u);
  for (auto b : c->VectorBytes()) EXPECT_EQ(b, 0xFF);
  for (auto b : c->FeedbackBytes()) EXPECT_EQ(b, 0xFF);
  for (auto b : c->ScratchBytes()) EXPECT_EQ(b, 0x00);
  for (auto b : c->ScheduleBytes()) EXPECT_EQ(b, 0x00);

  auto encryptOne = [](TToyCipher& cipher) {
    Bytes block(8, 0x42);
    cipher.EncryptBuffer(block.data(), block.data(), 8);
    return block;
  };
  const std::string longKey = kKey + "XYZW";  // 20 bytes: the first 16 count
  auto a = Make<TToyCipher>();
  a->Init(longKey);
  auto b = Make<TToyCipher>();
  b->Init(kKey);
  EXPECT_EQ(encryptOne(*a), encryptOne(*b));
  auto neg = Make<TToyCipher>();
  neg->Init(reinterpret_cast<const std::uint8_t*>(kKey.data()), -5, nullptr);
  auto empty = Make<TToyCipher>();
  empty->Init(reinterpret_cast<const std::uint8_t*>(kKey.data()), 0, nullptr);
  EXPECT_EQ(encryptOne(*neg), encryptOne(*empty));

  SetStrictKeySize(true);
  try {
    a->Init(longKey);
    SetStrictKeySize(false);
    FAIL();
  } catch (const ECipherException& e) {
    SetStrictKeySize(false);
    EXPECT_EQ(e.Code, 2);
    EXPECT_STREQ(e.what(),
                 "Length from Encryptionkey is invalid.\r\nKeysize for TToyCipher must be to 0-16 bytes");
  }
  EXPECT_FALSE(a->Ready());
}

// The base runs every class's Init in the same order: the key-size check (which erases the old
// key), then the class's schedule, then the start vector. A class's schedule sees a checked size,
// an all-zero schedule buffer and a cipher that is not ready, and is never reached by a refused key.
TEST(CipherBaseTest, InitChecksTheKeyBeforeTheScheduleAndStartsTheVectorAfter) {
  struct Seen {
    std::int32_t size = -1;
    bool scheduleZero = false, ready = true;
    int calls = 0;
  };
  class TRecordingCipher : public TToyCipher {
   public:
    Seen seen;
    void ScheduleKey(const std::uint8_t* key, std::int32_t size) override {
      ++seen.calls;
      seen.size = size;
      const auto schedule = ScheduleBytes();
      seen.scheduleZero = std::all_of(schedule.begin(), schedule.end(), [](std::uint8_t b) { return b == 0; });
      seen.ready = Ready();
      TToyCipher::ScheduleKey(key, size);
    }
  };
  const std::string longKey = kKey + "XYZW";
  const std::uint8_t* bytes = reinterpret_cast<const std::uint8_t*>(longKey.data());
  for (const auto& [given, expected] : {std::pair{20, 16}, std::pair{16, 16}, std::pair{3, 3}, std::pair{-5, 0}}) {
    SCOPED_TRACE(given);
    auto c = Make<TRecordingCipher>();
    c->Init(kKey);  // a key in place first: the next Init must not show it to the schedule
    c->Init(bytes, given, nullptr);
    EXPECT_EQ(c->seen.size, expected);
    EXPECT_TRUE(c->seen.scheduleZero);
    EXPECT_FALSE(c->seen.ready);
    EXPECT_TRUE(c->Ready());
    // The vector was started after the schedule: V = E(0xFF...) under the key now in place.
    Bytes expectedVector(8, 0xFF);
    c->EncryptBlock(expectedVector.data());
    EXPECT_EQ(Bytes(c->VectorBytes().begin(), c->VectorBytes().end()), expectedVector);
  }
  auto strict = Make<TRecordingCipher>();
  SetStrictKeySize(true);
  EXPECT_THROW(strict->Init(longKey), ECipherException);
  SetStrictKeySize(false);
  EXPECT_EQ(strict->seen.calls, 0);
  EXPECT_FALSE(strict->Ready());
}

TEST(CipherBaseTest, EcbTailIsKeystreamAndLeavesTheRegister) {
  auto c = Keyed(TCipherMode::cmECB);
  const Bytes plain = RandomBytes(11, 3);
  const Bytes f0(c->FeedbackBytes().begin(), c->FeedbackBytes().end());
  Bytes out(11);
  c->EncryptBuffer(plain.data(), out.data(), 11);
  EXPECT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()), f0);
  std::uint8_t s[8];
  std::memcpy(s, f0.data(), 8);
  c->EncryptBlock(s);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out[8 + i], std::uint8_t(plain[8 + i] ^ s[i]));  // never plaintext
  Bytes back(11);
  c->DecryptBuffer(out.data(), back.data(), 11);
  EXPECT_EQ(back, plain);
}

// Every mode, both directions, in place and out of place, at the lengths around one block:
// the output and the register left behind equal the reference written from the definitions.
// A second call continues from that register.
TEST(CipherBaseTest, EveryModeMatchesTheReferenceAtTheBlockEdges) {
  const Bytes iv = {0x80, 0xFF, 0x01, 0x7F, 0xA7, 0x00, 0xC3, 0x3C};
  auto blockRoutine = Keyed(TCipherMode::cmECB, iv.data());
  for (int m = 0; m < 8; ++m)
    for (bool decrypt : {false, true})
      for (bool inPlace : {false, true})
        for (std::size_t len : {0u, 1u, 7u, 8u, 9u, 19u, 2055u, 4500u}) {
          const auto mode = TCipherMode(m);
          SCOPED_TRACE(testing::Message() << "mode " << m << (decrypt ? " decrypt" : " encrypt")
                                          << (inPlace ? " in place" : " out of place") << " length " << len);
          auto c = Keyed(mode, iv.data());
          cvtest::ModeReference ref{*blockRoutine, iv};
          for (int call = 0; call < 2; ++call) {
            const Bytes in = RandomBytes(len, unsigned(len * 131 + m * 7 + call));
            Bytes buffer = inPlace ? in : Bytes(len, 0xEE);
            const Bytes expected = ref.Run(mode, decrypt, in, buffer);
            if (inPlace) {
              decrypt ? c->DecryptBuffer(buffer.data(), buffer.data(), len)
                      : c->EncryptBuffer(buffer.data(), buffer.data(), len);
            } else {
              decrypt ? c->DecryptBuffer(in.data(), buffer.data(), len)
                      : c->EncryptBuffer(in.data(), buffer.data(), len);
            }
            ASSERT_EQ(buffer, expected) << "call " << call;
            ASSERT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()), ref.f) << "call " << call;
          }
        }
}

// InitKey: the key is the first bytes of the key text's RIPEMD-256 digest, the vector is
// E(FF..FF) under it, the key hash keeps only the digest encrypted, and the chain is at rest.
TEST(CipherBaseTest, InitKeyHashesTheTextAndKeepsNoPlainDigest) {
  const std::string keyText = "key text \xA7\x80\xFF";
  std::uint8_t digest[32];
  CryptoPP::RIPEMD256().CalculateDigest(digest, reinterpret_cast<const std::uint8_t*>(keyText.data()),
                                        keyText.size());

  auto c = Make<TCipher_IDEA>();
  c->Mode = TCipherMode::cmCBC;  // the digest is encrypted in the cipher's current mode
  c->InitKey(keyText);
  EXPECT_TRUE(c->Ready());
  EXPECT_EQ(c->Flags() & 3u, 3u);  // key from a text, and ready
  EXPECT_EQ(&c->KeyHashClass(), &DefaultHashClass());

  auto ref = Make<TCipher_IDEA>();
  ref->Init(digest, 16, nullptr);
  ref->Mode = TCipherMode::cmCBC;
  EXPECT_EQ(Bytes(c->VectorBytes().begin(), c->VectorBytes().end()),
            Bytes(ref->VectorBytes().begin(), ref->VectorBytes().end()));
  Bytes encryptedDigest(digest, digest + 32);
  ref->EncryptBuffer(encryptedDigest.data(), encryptedDigest.data(), 32);
  const std::uint8_t* held = c->KeyHash().DigestBytes();
  EXPECT_EQ(Bytes(held, held + 32), encryptedDigest);
  // The register is back at the vector; the scratch block keeps where the chain had got to.
  EXPECT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()),
            Bytes(c->VectorBytes().begin(), c->VectorBytes().end()));
  EXPECT_EQ(Bytes(c->ScratchBytes().begin(), c->ScratchBytes().end()),
            Bytes(encryptedDigest.end() - 8, encryptedDigest.end()));

  // Another key hash class: the key comes from that digest.
  c->SetKeyHashClass(&THash_MD5::StaticClass());
  c->InitKey(keyText);
  auto md5Keyed = Make<TCipher_IDEA>();
  md5Keyed->Init(DigestText(THash_MD5::StaticClass(), keyText, nullptr, 1));
  EXPECT_EQ(Bytes(c->VectorBytes().begin(), c->VectorBytes().end()),
            Bytes(md5Keyed->VectorBytes().begin(), md5Keyed->VectorBytes().end()));
  c->SetKeyHashClass(nullptr);
  EXPECT_EQ(&c->KeyHashClass(), &DefaultHashClass());

  // In the MAC modes nothing is written back, yet the plain key must not stay in the key hash.
  for (TCipherMode mode : {TCipherMode::cmCTSMAC, TCipherMode::cmCBCMAC, TCipherMode::cmCFBMAC}) {
    auto mac = Make<TCipher_IDEA>();
    mac->Mode = mode;
    mac->InitKey(keyText);
    EXPECT_EQ(Bytes(mac->VectorBytes().begin(), mac->VectorBytes().end()),
              Bytes(ref->VectorBytes().begin(), ref->VectorBytes().end()));
    const std::uint8_t* left = mac->KeyHash().DigestBytes();
    EXPECT_EQ(std::search(left, left + 32, digest, digest + 16), left + 32) << "mode " << int(mode);
  }
}

// The protection hooks: Encrypt and Decrypt start from the vector and run the chain in the
// order that lets Decrypt undo Encrypt; Digest keeps the register running across calls; Erase
// starts from a random register; an action outside Actions leaves the data to the chain.
TEST(CipherBaseTest, ProtectionHooksAndChainOrder) {
  const Bytes plain = RandomBytes(21, 77);
  auto run = [](TCipher& c, Bytes data, TProtectionAction a) {
    c.ProcessBuffer(data.data(), data.size(), a);
    return data;
  };
  auto direct = [](TCipher& c, Bytes data) {  // one EncryptBuffer from the current register
    c.EncryptBuffer(data.data(), data.data(), data.size());
    return data;
  };

  // Outer A holds inner B: Encrypt runs B first, then A; Decrypt runs A first, then B.
  auto a = Keyed(TCipherMode::cmCTS);
  auto b = Make<TCipher_IDEA>();
  b->Init(std::string_view("inner key"));
  a->SetChainedProtection(b.get());
  auto refA = Keyed(TCipherMode::cmCTS);
  auto refB = Make<TCipher_IDEA>();
  refB->Init(std::string_view("inner key"));
  const Bytes encrypted = run(*a, plain, TProtectionAction::Encrypt);
  EXPECT_EQ(encrypted, direct(*refA, direct(*refB, plain)));
  EXPECT_EQ(run(*a, encrypted, TProtectionAction::Decrypt), plain);
  EXPECT_EQ(Bytes(a->FeedbackBytes().begin(), a->FeedbackBytes().end()),
            Bytes(a->VectorBytes().begin(), a->VectorBytes().end()));

  // Without Encrypt in A's actions only B works on the data.
  a->Actions = ActionBit(TProtectionAction::Decrypt);
  refB->ResetChain();
  EXPECT_EQ(run(*a, plain, TProtectionAction::Encrypt), direct(*refB, plain));
  a->SetChainedProtection(nullptr);
  a->Actions = kAllActions;

  // Digest encrypts too, and the hooks do not reset the register: calls continue one chain.
  auto d = Keyed(TCipherMode::cmCTS);
  auto refD = Keyed(TCipherMode::cmCTS);
  const Bytes first = run(*d, plain, TProtectionAction::Digest);
  const Bytes second = run(*d, plain, TProtectionAction::Digest);
  EXPECT_EQ(first, direct(*refD, plain));
  EXPECT_EQ(second, direct(*refD, plain));
  EXPECT_NE(first, second);

  // Erase starts from a random register: neither the Encrypt result nor reproducible.
  auto e = Keyed(TCipherMode::cmCTS);
  const Bytes erased1 = run(*e, plain, TProtectionAction::Erase),
              erased2 = run(*e, plain, TProtectionAction::Erase);
  EXPECT_NE(erased1, run(*e, plain, TProtectionAction::Encrypt));
  EXPECT_NE(erased1, erased2);
}

// A mode byte outside the eight modes is refused with code 4 by every entry that would run the
// mode; nothing is written and the register stays where it was, so no plain text passes as
// cipher text.
TEST(CipherBaseTest, UnknownModeIsRefused) {
  const Bytes plain = RandomBytes(21, 5);
  for (int value : {8, 9, 0x7F, 0xFF}) {
    SCOPED_TRACE(value);
    auto c = Keyed(TCipherMode::cmCTS);
    c->Mode = TCipherMode(value);
    const Bytes f0(c->FeedbackBytes().begin(), c->FeedbackBytes().end());
    Bytes out(plain.size(), 0xEE);
    for (bool decrypt : {false, true}) {
      try {
        decrypt ? c->DecryptBuffer(plain.data(), out.data(), out.size())
                : c->EncryptBuffer(plain.data(), out.data(), out.size());
        ADD_FAILURE() << "accepted";
      } catch (const ECipherException& e) {
        EXPECT_EQ(e.Code, 4);
        EXPECT_EQ(std::string(e.what()), "Unknown cipher mode " + std::to_string(value) + ".");
      }
    }
    EXPECT_EQ(out, Bytes(plain.size(), 0xEE));
    EXPECT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()), f0);
    const std::string text(plain.begin(), plain.end());
    EXPECT_THROW(c->ProcessText(text, TProtectionAction::Encrypt, -1), ECipherException);
    Bytes buffer = plain;
    EXPECT_THROW(c->ProcessBuffer(buffer.data(), buffer.size(), TProtectionAction::Encrypt), ECipherException);
    EXPECT_EQ(buffer, plain);
    // InitKey would encrypt the digest in the mode: refused before anything changes.
    auto k = Make<TCipher_IDEA>();
    k->Mode = TCipherMode(value);
    EXPECT_THROW(k->InitKey("key text"), ECipherException);
    EXPECT_FALSE(k->Ready());
  }
}

// A vector given with its length must be exactly one block; empty stands for no vector.
TEST(CipherBaseTest, VectorLengthIsCheckedAgainstTheBlockSize) {
  const Bytes key(kKey.begin(), kKey.end()), iv = RandomBytes(8, 9);
  auto withPointer = Make<TToyCipher>();
  withPointer->Init(key.data(), 16, iv.data());
  auto withSpan = Make<TToyCipher>();
  withSpan->Init(key, iv);
  EXPECT_EQ(Bytes(withSpan->VectorBytes().begin(), withSpan->VectorBytes().end()), iv);
  withSpan->Init(key, {});
  auto noVector = Make<TToyCipher>();
  noVector->Init(key.data(), 16, nullptr);
  EXPECT_EQ(Bytes(withSpan->VectorBytes().begin(), withSpan->VectorBytes().end()),
            Bytes(noVector->VectorBytes().begin(), noVector->VectorBytes().end()));

  for (std::size_t len : {1u, 7u, 9u, 16u}) {
    SCOPED_TRACE(len);
    const Bytes wrong = RandomBytes(len, 10);
    auto c = Make<TToyCipher>();
    c->Init(key, iv);
    const Bytes v0(c->VectorBytes().begin(), c->VectorBytes().end());
    try {
      c->Init(key, wrong);
      ADD_FAILURE() << "accepted";
    } catch (const ECipherException& e) {
      EXPECT_EQ(e.Code, 5);
      EXPECT_EQ(std::string(e.what()),
                "Initialization vector for TToyCipher must be 8 bytes, not " + std::to_string(len) + ".");
    }
    EXPECT_THROW(c->StartVector(std::span<const std::uint8_t>(wrong)), ECipherException);
    EXPECT_THROW(c->InitKey("key text", std::span<const std::uint8_t>(wrong)), ECipherException);
    EXPECT_TRUE(c->Ready());  // the refused calls left key and vector as they were
    EXPECT_EQ(Bytes(c->VectorBytes().begin(), c->VectorBytes().end()), v0);
  }
}
