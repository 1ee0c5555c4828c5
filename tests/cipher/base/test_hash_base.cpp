#include <gtest/gtest.h>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/md5.h>

#include <cstring>
#include <string>
#include <vector>

#include "cipher/base/cipher.h"
#include "cipher/formats/formats.h"
#include "cipher/base/hash.h"
#include "cipher/ciphers/idea.h"
#include "cipher/hashes/md4_family.h"
#include "cipher/base/support.h"

using namespace corvane;
using Action = TProtectionAction;

namespace {
std::string Md5(std::string_view data) {
  std::string d(16, '\0');
  CryptoPP::Weak::MD5().CalculateDigest(reinterpret_cast<std::uint8_t*>(d.data()),
                                        reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  return d;
}
std::string Hex(std::string_view bytes) { return ConvertToText(bytes, kFormatHEX); }
}  // namespace

TEST(HashBaseTest, DigestText) {
  EXPECT_EQ(DigestText(THash_MD5::StaticClass(), "", nullptr, 16), "D41D8CD98F00B204E9800998ECF8427E");
  const std::string b64 = DigestText(THash_MD5::StaticClass(), "", nullptr, -1);
  EXPECT_EQ(b64.size(), 24u);
  EXPECT_EQ(ConvertFromText(b64, -1), Md5(""));
  EXPECT_EQ(DigestText(THash_MD5::StaticClass(), "abc", nullptr, 1), Md5("abc"));
}

TEST(HashBaseTest, KeystreamEncryptDecrypt) {
  std::string data(17, '\0');
  for (int i = 0; i < 17; ++i) data[i] = char(i * 13 + 1);
  auto enc = Make<THash_MD5>();
  enc->Start();
  std::string work = data;
  enc->ProcessBuffer(reinterpret_cast<std::uint8_t*>(work.data()), work.size(), Action::Encrypt);
  EXPECT_NE(work, data);
  auto dec = Make<THash_MD5>();
  dec->Start();
  dec->ProcessBuffer(reinterpret_cast<std::uint8_t*>(work.data()), work.size(), Action::Decrypt);
  EXPECT_EQ(work, data);

  // The keystream is the hash's own digests: two of them for 17 bytes, the second for one byte.
  auto h = Make<THash_MD5>();
  h->Start();
  std::vector<std::string> pieces;
  for (int piece = 0; piece < 2; ++piece) {
    std::string d = h->DigestString();
    h->Update(reinterpret_cast<const std::uint8_t*>(d.data()), d.size());
    h->Finish();
    pieces.push_back(h->DigestString());
  }
  std::string expect = data;
  for (int i = 0; i < 17; ++i) expect[i] = char(expect[i] ^ pieces[i / 16][i % 16]);
  std::string again = data;
  auto enc2 = Make<THash_MD5>();
  enc2->ProcessBuffer(reinterpret_cast<std::uint8_t*>(again.data()), again.size(), Action::Encrypt);
  EXPECT_EQ(again, expect);
}

TEST(HashBaseTest, DigestAndObscureActions) {
  auto h = Make<THash_MD5>();
  EXPECT_EQ(h->ProcessText("hello", Action::Digest, 16), Hex("hello"));
  EXPECT_EQ(h->DigestString(), Md5("hello"));

  // Obscure overwrites each piece with the digest of the running state.
  std::string data(20, 'z');
  auto o = Make<THash_MD5>();
  o->ProcessBuffer(reinterpret_cast<std::uint8_t*>(data.data()), data.size(), Action::Obscure);
  auto ref = Make<THash_MD5>();
  ref->Start();
  ref->Update(reinterpret_cast<const std::uint8_t*>(std::string(16, 'z').data()), 16);
  ref->Finish();
  EXPECT_EQ(data.substr(0, 16), ref->DigestString());

  // Erase starts from random state: the output is not reproducible.
  std::string e1(16, 'a'), e2(16, 'a');
  o->ProcessBuffer(reinterpret_cast<std::uint8_t*>(e1.data()), 16, Action::Erase);
  o->ProcessBuffer(reinterpret_cast<std::uint8_t*>(e2.data()), 16, Action::Erase);
  EXPECT_NE(e1, std::string(16, 'a'));
}

TEST(HashBaseTest, MacKeysTheStartAndProtectsTheDigest) {
  // An empty password changes nothing.
  auto plain = Make<THash_MD5>();
  auto mac = Make<TMAC>();
  plain->SetChainedProtection(mac.get());
  plain->Start();
  plain->Update(reinterpret_cast<const std::uint8_t*>("abc"), 3);
  plain->Finish();
  EXPECT_EQ(plain->DigestString(), Md5("abc"));

  // With a password the start value is keyed: the digest differs, and is reproducible.
  mac->Password = "secret";
  auto digestOf = [&](THash& h) {
    h.Start();
    h.Update(reinterpret_cast<const std::uint8_t*>("abc"), 3);
    h.Finish();
    return h.DigestString();
  };
  const std::string keyed = digestOf(*plain);
  EXPECT_NE(keyed, Md5("abc"));
  EXPECT_EQ(digestOf(*plain), keyed);

  // A cipher chained to the MAC encrypts the finished digest in place.
  auto idea = MakeCipher<TCipher_IDEA>("mac key");
  mac->SetChainedProtection(idea.get());
  const std::string protectedDigest = digestOf(*plain);
  EXPECT_NE(protectedDigest, keyed);
  plain->SetChainedProtection(nullptr);
}

TEST(HashBaseTest, RegistryLookups) {
  for (const char* name : {"SHA1", "sha1", "THash_SHA1", "Secure Hash Algorithm 1"})
    EXPECT_EQ(FindHashClass(name), &THash_SHA1::StaticClass()) << name;
  EXPECT_EQ(FindHashClass("CRC16_CCITT"), nullptr);
  EXPECT_NE(FindHashClass("THash_CRC16_CCITT"), nullptr);
  EXPECT_EQ(FindHashClass(""), nullptr);
  EXPECT_EQ(HashClassName(&THash_RipeMD256::StaticClass()), "Ripe Message Digest 256");
  EXPECT_EQ(&DefaultHashClass(), &THash_RipeMD256::StaticClass());
  const auto lines = HashList();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Message Digest 4=Hash");

  // Registering a class again replaces its line in place.
  EXPECT_TRUE(RegisterHash(&THash_MD5::StaticClass(), "  Renamed MD5 ", "Hash"));
  EXPECT_EQ(HashList().size(), lines.size());
  EXPECT_EQ(HashList()[1], "Renamed MD5=Hash");
  EXPECT_EQ(FindHashClass("renamed md5"), &THash_MD5::StaticClass());
  EXPECT_TRUE(RegisterHash(&THash_MD5::StaticClass(), "Message Digest 5", "Hash"));
  EXPECT_FALSE(RegisterHash(nullptr, "x", "Hash"));
}

// The MAC's keying computed by hand: the start state XOR the password's digest (itself passed
// through the MAC's chain when there is one), then the message; the finished digest goes through
// the MAC's chain once more.
TEST(HashBaseTest, MacKeyingEqualsTheDefinition) {
  const std::string password = "pass \xA7\xFF", message = "message bytes";
  auto keyedByHand = [&](TCipher* chain) {
    std::string p = Md5(password);
    if (chain) chain->ProcessBuffer(reinterpret_cast<std::uint8_t*>(p.data()), p.size(), Action::Obscure);
    auto h = Make<THash_MD5>();
    h->Start();
    XorInto(h->DigestBytes(), p.data(), 16, h->DigestBytes());
    h->Update(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    h->Finish();
    std::string d = h->DigestString();
    if (chain) chain->ProcessBuffer(reinterpret_cast<std::uint8_t*>(d.data()), d.size(), Action::Obscure);
    return d;
  };
  auto keyed = [&](TMAC& mac) {
    auto h = Make<THash_MD5>();
    h->SetChainedProtection(&mac);
    h->Start();
    h->Update(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    h->Finish();
    const std::string d = h->DigestString();
    h->SetChainedProtection(nullptr);
    return d;
  };
  auto mac = Make<TMAC>();
  mac->Password = password;
  EXPECT_EQ(Hex(keyed(*mac)), Hex(keyedByHand(nullptr)));

  auto idea = MakeCipher<TCipher_IDEA>("mac key");
  mac->SetChainedProtection(idea.get());
  EXPECT_EQ(Hex(keyed(*mac)), Hex(keyedByHand(idea.get())));
  mac->SetChainedProtection(nullptr);
}

// ProcessText on a hash with every action: Encrypt and Decrypt undo each other through the
// format, Obscure overwrites with the digests of the running state, Digest gives the text back
// and leaves its digest readable, and every action but Digest leaves the hash started afresh.
TEST(HashBaseTest, ProcessTextWithEachAction) {
  const std::string plain = "a text of \xA7 twenty+ bytes";
  auto fresh = Make<THash_MD5>();
  fresh->Start();
  const std::string startState = fresh->DigestString();

  auto h = Make<THash_MD5>();
  const std::string encrypted = h->ProcessText(plain, Action::Encrypt, kFormatHEX);
  EXPECT_EQ(encrypted.size(), 2 * plain.size());
  EXPECT_NE(ConvertFromText(encrypted, kFormatHEX), plain);
  EXPECT_EQ(h->DigestString(), startState);
  EXPECT_EQ(h->ProcessText(encrypted, Action::Decrypt, kFormatHEX), plain);
  EXPECT_EQ(h->DigestString(), startState);

  // Obscure: each 16-byte piece becomes the digest of the state so far plus that piece.
  auto ref = Make<THash_MD5>();
  ref->Start();
  std::string expect = plain;
  for (std::size_t pos = 0; pos < plain.size(); pos += 16) {
    const std::size_t n = std::min<std::size_t>(16, plain.size() - pos);
    ref->Update(reinterpret_cast<const std::uint8_t*>(plain.data() + pos), n);
    ref->Finish();
    expect.replace(pos, n, ref->DigestString().substr(0, n));
  }
  EXPECT_EQ(h->ProcessText(plain, Action::Obscure, kFormatMIME64), ConvertToText(expect, kFormatMIME64));
  EXPECT_EQ(h->DigestString(), startState);

  // Erase: the same length, not reproducible, and not the Obscure result.
  const std::string erased1 = ConvertFromText(h->ProcessText(plain, Action::Erase, -1), -1);
  const std::string erased2 = ConvertFromText(h->ProcessText(plain, Action::Erase, -1), -1);
  EXPECT_EQ(erased1.size(), plain.size());
  EXPECT_NE(erased1, expect);
  EXPECT_NE(erased1, erased2);
  EXPECT_EQ(h->DigestString(), startState);

  EXPECT_EQ(h->ProcessText(plain, Action::Digest, kFormatCopy), plain);
  EXPECT_EQ(h->DigestString(), Md5(plain));
}
