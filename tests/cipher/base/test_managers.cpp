#include <gtest/gtest.h>

#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
#include <cryptopp/idea.h>
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>
#include <cryptopp/ripemd.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "cipher/formats/formats.h"
#include "cipher/ciphers/idea.h"
#include "cipher/base/managers.h"
#include "cipher/hashes/md4_family.h"
#include "cipher/base/stored_key.h"

using namespace corvane;

namespace {

// The stored-value road computed with an independent IDEA and RIPEMD-256: key = first 16
// bytes of the digest of the key text; V = E(FF..FF); the library's own feedback chaining
// (C = E(P xor F), F = C xor F; tail: out = in xor E(F)); MIME base64 text.
template <class KeyHash>
std::string OracleEncrypt(std::string_view keyText, std::string_view plain) {
  std::uint8_t digest[KeyHash::DIGESTSIZE];
  KeyHash().CalculateDigest(digest, reinterpret_cast<const std::uint8_t*>(keyText.data()), keyText.size());
  CryptoPP::IDEA::Encryption idea(digest, 16);
  std::uint8_t f[8];
  std::memset(f, 0xFF, 8);
  idea.ProcessBlock(f);
  std::string out(plain);
  std::size_t i = 0;
  for (; i + 8 <= out.size(); i += 8) {
    std::uint8_t block[8];
    for (int k = 0; k < 8; ++k) block[k] = std::uint8_t(std::uint8_t(out[i + k]) ^ f[k]);
    idea.ProcessBlock(block);
    for (int k = 0; k < 8; ++k) {
      out[i + k] = char(block[k]);
      f[k] ^= block[k];
    }
  }
  if (i < out.size()) {
    std::uint8_t s[8];
    idea.ProcessBlock(f, s);
    for (std::size_t k = 0; i + k < out.size(); ++k) out[i + k] = char(std::uint8_t(out[i + k]) ^ s[k]);
  }
  std::string text;
  CryptoPP::StringSource(out, true, new CryptoPP::Base64Encoder(new CryptoPP::StringSink(text), false));
  return text;
}

std::unique_ptr<TCipherManager> StoredValueManager() {
  auto m = std::make_unique<TCipherManager>();
  m->SetAlgorithm(kStoredValueAlgorithm);
  m->InitKey(StoredValueKeyText());
  return m;
}

}  // namespace

TEST(CipherManagerTest, StoredValuesMatchAnIndependentComputation) {
  auto m = StoredValueManager();
  EXPECT_EQ(m->Algorithm(), "IDEA");
  EXPECT_EQ(m->Mode(), TCipherMode::cmCTS);
  const std::string values[] = {"x",
                                "root",
                                "host.example.org",
                                "exactly8",
                                "a longer value with \xA7 and \xE9 bytes!",
                                std::string(1000, 'q')};
  for (const auto& v : values) {
    const std::string stored = m->EncryptText(v);
    EXPECT_EQ(stored, OracleEncrypt<CryptoPP::RIPEMD256>(StoredValueKeyText(), v)) << v;
    EXPECT_EQ(stored.size(), 4 * ((v.size() + 2) / 3));
    EXPECT_EQ(m->EncryptText(v), stored) << "every value starts from the same register";
    EXPECT_EQ(m->DecryptText(stored), v);
  }
  // Values decrypt in any order, and by another manager with the same key.
  auto other = StoredValueManager();
  EXPECT_EQ(other->DecryptText(m->EncryptText("second")), "second");
  EXPECT_EQ(m->EncryptText(""), "");
  EXPECT_EQ(m->DecryptText(""), "");
}

TEST(CipherManagerTest, Failures) {
  TCipherManager m;
  m.SetAlgorithm("IDEA");
  try {
    m.EncryptText("x");
    FAIL();
  } catch (const ECipherException& e) {
    EXPECT_EQ(e.Code, 3);
    EXPECT_STREQ(e.what(), "TCipher_IDEA is not initialized call Init() or InitKey() before.");
  }
  EXPECT_EQ(m.EncryptText(""), "");  // empty never touches the cipher
  m.InitKey(StoredValueKeyText());
  try {
    m.DecryptText("QUJD.");
    FAIL();
  } catch (const EStringFormat& e) {
    EXPECT_STREQ(e.what(), "Input is not an valid MIME Base 64 Format.");
  }
}

// A mode outside the eight is refused by SetMode; one written straight into the cipher object is
// refused by the texts, which never hand the plain text back as if encrypted.
TEST(CipherManagerTest, UnknownModeAndWrongVectorAreRefused) {
  auto m = StoredValueManager();
  const std::string stored = m->EncryptText("value");
  try {
    m->SetMode(TCipherMode(8));
    FAIL();
  } catch (const ECipherException& e) {
    EXPECT_EQ(e.Code, 4);
  }
  EXPECT_EQ(m->Mode(), TCipherMode::cmCTS);
  EXPECT_EQ(m->CipherObject().Mode, TCipherMode::cmCTS);
  EXPECT_EQ(m->EncryptText("value"), stored);  // the key and mode stayed

  m->CipherObject().Mode = TCipherMode(200);
  EXPECT_THROW(m->EncryptText("value"), ECipherException);
  EXPECT_THROW(m->DecryptText(stored), ECipherException);

  const std::uint8_t shortVector[5] = {1, 2, 3, 4, 5};
  try {
    m->InitKey(StoredValueKeyText(), std::span<const std::uint8_t>(shortVector));
    FAIL();
  } catch (const ECipherException& e) {
    EXPECT_EQ(e.Code, 5);
  }
  const std::uint8_t vector[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  m->CipherObject().Mode = TCipherMode::cmCTS;
  m->InitKey(StoredValueKeyText(), std::span<const std::uint8_t>(vector));
  EXPECT_EQ(m->DecryptText(m->EncryptText("value")), "value");
  EXPECT_NE(m->EncryptText("value"), stored);  // another start vector
}

TEST(CipherManagerTest, AlgorithmModeAndDescription) {
  TCipherManager m;
  EXPECT_EQ(m.Algorithm(), "Blowfish");  // the default class, selected on first read
  EXPECT_EQ(m.StoredCipher(), "TCipher_Blowfish");
  for (const char* name : {"TCipher_IDEA", "IDEA", "idea"}) {
    m.SetAlgorithm(name);
    EXPECT_EQ(m.Algorithm(), "IDEA") << name;
  }
  EXPECT_EQ(m.Description(), "free for non-commercial, 128bit Key");
  m.InitKey("key");
  const std::string value = "two whole blocks";
  const std::string before = m.EncryptText(value);
  m.SetAlgorithm("IDEA");  // the same class keeps the key
  EXPECT_EQ(m.EncryptText(value), before);
  m.SetMode(TCipherMode::cmCBC);  // a new mode keeps the key and applies to the next text
  const std::string cbc = m.EncryptText(value);
  EXPECT_NE(cbc, before);
  EXPECT_EQ(m.DecryptText(cbc), value);
  m.SetMode(TCipherMode::cmCTS);
  m.SetAlgorithm("Gost");  // another class needs a new key
  EXPECT_THROW(m.EncryptText("value"), ECipherException);
  EXPECT_EQ(m.Description(), "256bit Key");
  m.SetAlgorithm("no such cipher");
  EXPECT_EQ(m.Algorithm(), "Blowfish");
  m.ReadStoredCipher("TCipher_Unknown");
  EXPECT_EQ(m.Algorithm(), "Blowfish");
  m.ReadStoredCipher("TCipher_TEA");
  EXPECT_EQ(m.Algorithm(), "TEA");
  m.ReadStoredCipher("tcipher_idea");  // stored names match exactly
  EXPECT_EQ(m.Algorithm(), "TEA");
}

TEST(CipherManagerTest, HashManagerChoosesTheKeyHash) {
  auto hm = std::make_unique<THashManager>();
  EXPECT_EQ(hm->Algorithm(), "Ripe Message Digest 256");
  EXPECT_EQ(hm->Description(), "Hash, 256bit Digestsize");
  hm->SetAlgorithm("MD5");
  EXPECT_EQ(hm->Algorithm(), "Message Digest 5");
  EXPECT_EQ(hm->StoredHash(), "THash_MD5");
  TCipherManager m;
  m.SetAlgorithm("IDEA");
  m.SetHashManager(hm.get());
  m.InitKey("the key text");
  EXPECT_EQ(m.EncryptText("payload bytes"), OracleEncrypt<CryptoPP::Weak::MD5>("the key text", "payload bytes"));
  hm.reset();
  EXPECT_EQ(m.HashManager(), nullptr);
  hm = std::make_unique<THashManager>();
  hm->SetAlgorithm("nothing at all");
  EXPECT_EQ(hm->Algorithm(), "Ripe Message Digest 256");
  hm->SetAlgorithm("CRC-32");
  EXPECT_EQ(hm->Description(), "Checksum, 32bit Digestsize");
}

TEST(CipherManagerTest, FixedKeyIsPinned) {
  // Changing the fixed key would make every existing settings file unreadable: these stored
  // texts must never change.
  for (char c : StoredValueKeyText()) EXPECT_FALSE(std::isprint(static_cast<unsigned char>(c)));
  auto m = StoredValueManager();
  EXPECT_EQ(m->EncryptText("root"), "cA6RmA==");
  EXPECT_EQ(m->EncryptText("Corvane stored value \xA7 1"), "H24aW0qsM8j8iOFsKIxwTQFt5nWYWDCz");
  EXPECT_EQ(m->DecryptText("H24aW0qsM8j8iOFsKIxwTQFt5nWYWDCz"), "Corvane stored value \xA7 1");
}

TEST(CipherManagerTest, RoundTripsAtBlockEdgesWithAnyBytes) {
  auto m = StoredValueManager();
  for (std::size_t len : {1u, 7u, 8u, 9u, 100u}) {
    std::string v(len, '\0');
    for (std::size_t i = 0; i < len; ++i) v[i] = char(i % 3 == 0 ? 0x00 : i % 3 == 1 ? 0xA7 : 0xFF);
    EXPECT_EQ(m->DecryptText(m->EncryptText(v)), v) << len;
  }
}

TEST(CipherManagerTest, OneManagerSharedByTwoThreads) {
  auto m = StoredValueManager();
  const std::string a = "first thread's value, long enough for blocks";
  const std::string b = "second";
  const std::string storedA = m->EncryptText(a), storedB = m->EncryptText(b);
  std::atomic<int> wrong{0};
  auto hammer = [&](const std::string& plain, const std::string& stored) {
    for (int i = 0; i < 2000; ++i) {
      if (m->EncryptText(plain) != stored) ++wrong;
      if (m->DecryptText(stored) != plain) ++wrong;
    }
  };
  std::thread t1(hammer, std::cref(a), std::cref(storedA));
  std::thread t2(hammer, std::cref(b), std::cref(storedB));
  t1.join();
  t2.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Re-keying and setting the (same) algorithm and mode from a third thread while two threads
// encrypt and decrypt: every call sees a whole manager state, never one half-way through.
TEST(CipherManagerTest, SettersAndInitKeyInterleaveSafelyWithTexts) {
  auto m = StoredValueManager();
  const std::string value = "value spanning several IDEA blocks \xA7";
  const std::string stored = m->EncryptText(value);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread rekey([&] {
    while (!stop) {
      m->InitKey(StoredValueKeyText());
      m->SetAlgorithm("IDEA");
      m->SetMode(TCipherMode::cmCTS);
    }
  });
  auto hammer = [&] {
    for (int i = 0; i < 1500; ++i) {
      if (m->EncryptText(value) != stored) ++wrong;
      if (m->DecryptText(stored) != value) ++wrong;
    }
  };
  std::thread t1(hammer), t2(hammer);
  t1.join();
  t2.join();
  stop = true;
  rekey.join();
  EXPECT_EQ(wrong.load(), 0);
}
