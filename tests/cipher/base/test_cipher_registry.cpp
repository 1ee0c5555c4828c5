// The cipher registry as the library starts it: the seventeen classes in order with their names,
// descriptions and sizes, lookup by name, registry names of classes, replacement in place, and
// every registered class reproducing its known answer by running it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "cipher/ciphers/blowfish.h"
#include "cipher/ciphers/gost.h"
#include "cipher/ciphers/idea.h"
#include "cipher/ciphers/q128.h"
#include "cipher/ciphers/safer.h"
#include "cipher/ciphers/scop.h"
#include "cipher/ciphers/shark.h"
#include "cipher/ciphers/square.h"
#include "cipher/ciphers/tea.h"
#include "cipher/ciphers/three_way.h"
#include "cipher/ciphers/twofish.h"
#include "cipher/cipher_vectors.h"

namespace corvane {
namespace {

struct Expected {
  const CipherClassInfo* cls;
  const char* line;
  std::int32_t block, maxKey, schedule;
};

std::vector<Expected> ExpectedRegistry() {
  return {
      {&TCipher_3Way::StaticClass(), "3Way=", 12, 12, 120},
      {&TCipher_Blowfish::StaticClass(), "Blowfish=", 8, 56, 4168},
      {&TCipher_Gost::StaticClass(), "Gost=", 8, 32, 32},
      {&TCipher_IDEA::StaticClass(), "IDEA=free for non-commercial", 8, 16, 208},
      {&TCipher_Q128::StaticClass(), "Q128=", 16, 16, 256},
      {&TCipher_SAFER_K40::StaticClass(), "SAFER-K40=", 8, 5, 768},
      {&TCipher_SAFER_SK40::StaticClass(), "SAFER-SK40=Keyscheduling", 8, 5, 768},
      {&TCipher_SAFER_K64::StaticClass(), "SAFER-K64=", 8, 8, 768},
      {&TCipher_SAFER_SK64::StaticClass(), "SAFER-SK64=Keyscheduling", 8, 8, 768},
      {&TCipher_SAFER_K128::StaticClass(), "SAFER-K128=", 8, 16, 768},
      {&TCipher_SAFER_SK128::StaticClass(), "SAFER-SK128=Keyscheduling", 8, 16, 768},
      {&TCipher_SCOP::StaticClass(), "SCOP=", 128, 48, 3104},
      {&TCipher_Shark::StaticClass(), "Shark=", 8, 16, 112},
      {&TCipher_Square::StaticClass(), "Square=", 16, 16, 288},
      {&TCipher_TEA::StaticClass(), "TEA=", 8, 16, 32},
      {&TCipher_TEAN::StaticClass(), "TEA extended=", 8, 16, 32},
      {&TCipher_Twofish::StaticClass(), "Twofish=", 16, 32, 4256},
  };
}

class CipherRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { StartCipherLibrary(); }
};

TEST_F(CipherRegistryTest, SeventeenClassesInOrderWithNamesDescriptionsAndSizes) {
  const auto expected = ExpectedRegistry();
  const auto lines = CipherList();
  const auto classes = CipherClasses();
  ASSERT_EQ(lines.size(), expected.size());
  ASSERT_EQ(classes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(expected[i].line);
    EXPECT_EQ(lines[i], expected[i].line);
    EXPECT_EQ(classes[i], expected[i].cls);
    EXPECT_EQ(CipherRegistryLine(expected[i].cls), expected[i].line);
    EXPECT_EQ(expected[i].cls->blockSize, expected[i].block);
    EXPECT_EQ(expected[i].cls->maxKeySize, expected[i].maxKey);
    EXPECT_EQ(expected[i].cls->scheduleSize, expected[i].schedule);
    EXPECT_EQ(ClassMaxKeySize(expected[i].cls), expected[i].maxKey);
  }
}

TEST_F(CipherRegistryTest, FindCipherClass) {
  struct Case {
    const char* name;
    const CipherClassInfo* cls;
  } const cases[] = {
      {"IDEA", &TCipher_IDEA::StaticClass()},
      {"idea", &TCipher_IDEA::StaticClass()},
      {"iDeA", &TCipher_IDEA::StaticClass()},
      {"TCipher_IDEA", &TCipher_IDEA::StaticClass()},
      {"Cipher_IDEA", &TCipher_IDEA::StaticClass()},
      {"SAFER-K40", &TCipher_SAFER_K40::StaticClass()},
      {"TCipher_SAFER_K40", &TCipher_SAFER_K40::StaticClass()},
      {"SAFER_K40", nullptr},  // reduced to "K40": neither a short class name nor a registry name
      {"TEA extended", &TCipher_TEAN::StaticClass()},
      {"tea EXTENDED", &TCipher_TEAN::StaticClass()},
      {"TEAN", &TCipher_TEAN::StaticClass()},
      {"Twofish", &TCipher_Twofish::StaticClass()},
      {"TCipher_Shark", &TCipher_Shark::StaticClass()},
      {"3way", &TCipher_3Way::StaticClass()},
      {"", nullptr},
      {"Rijndael", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindCipherClass(c.name), c.cls);
  }
}

TEST_F(CipherRegistryTest, CipherClassName) {
  EXPECT_EQ(CipherClassName(&TCipher_TEAN::StaticClass()), "TEA extended");
  EXPECT_EQ(CipherClassName(&TCipher_SAFER::StaticClass()), "SAFER");  // not registered
  EXPECT_EQ(CipherClassName(&TCipher_SAFER_SK128::StaticClass()), "SAFER-SK128");
  EXPECT_EQ(CipherClassName(&TCipher_Twofish::StaticClass()), "Twofish");
  EXPECT_EQ(CipherClassName(nullptr), "");
  EXPECT_FALSE(RegisterCipher(nullptr, "x", "y"));
  EXPECT_EQ(CipherList().size(), 17u);
}

TEST_F(CipherRegistryTest, RegisteringAgainReplacesTheLineInPlace) {
  ASSERT_TRUE(RegisterCipher(&TCipher_Gost::StaticClass(), "  GOST 28147\t", "Soviet standard"));
  auto lines = CipherList();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[2], "GOST 28147=Soviet standard");
  EXPECT_EQ(lines[3], "IDEA=free for non-commercial");
  EXPECT_EQ(FindCipherClass("gost 28147"), &TCipher_Gost::StaticClass());
  EXPECT_EQ(FindCipherClass("Gost"), &TCipher_Gost::StaticClass());  // by its short class name
  EXPECT_EQ(CipherClassName(&TCipher_Gost::StaticClass()), "GOST 28147");
  // Back to the start-up line, derived from the class name.
  ASSERT_TRUE(RegisterCipher(&TCipher_Gost::StaticClass(), "", ""));
  lines = CipherList();
  ASSERT_EQ(lines.size(), 17u);
  EXPECT_EQ(lines[2], "Gost=");
}

// Every registered class: cmCTS over the shared test input after Init with the bytes of its own
// class name and no IV gives its 32 known-answer bytes.
TEST_F(CipherRegistryTest, EveryRegisteredClassReproducesItsKnownAnswer) {
  const auto classes = CipherClasses();
  ASSERT_EQ(classes.size(), 17u);
  for (const CipherClassInfo* cls : classes) {
    SCOPED_TRACE(cls->name);
    ASSERT_NE(cls->create, nullptr);
    ASSERT_NE(cls->knownAnswer, nullptr);
    auto cipher = cls->create(nullptr);
    ASSERT_NE(cipher, nullptr);
    const std::string name = cipher->ClassName();
    cipher->Mode = TCipherMode::cmCTS;
    cipher->Init(reinterpret_cast<const std::uint8_t*>(name.data()), std::int32_t(name.size()), nullptr);
    std::uint8_t out[32];
    const auto input = SharedTestInput();
    cipher->EncryptBuffer(input.data(), out, input.size());
    EXPECT_EQ(cvtest::ToHex(out, 32), cvtest::ToHex(cipher->KnownAnswer(), 32));
  }
}

// The three MAC modes for every registered class: no output is written, decrypting computes the
// same register as encrypting, and the register is the one the matching encryption mode leaves
// (the encryption modes' round trips are in each family's tests).
TEST_F(CipherRegistryTest, EveryRegisteredClassMacModesGiveTheEncryptionModesRegister) {
  const std::pair<TCipherMode, TCipherMode> pairs[] = {{TCipherMode::cmCTSMAC, TCipherMode::cmCTS},
                                                       {TCipherMode::cmCBCMAC, TCipherMode::cmCBC},
                                                       {TCipherMode::cmCFBMAC, TCipherMode::cmCFB}};
  std::mt19937 rng(17);
  for (const CipherClassInfo* cls : CipherClasses()) {
    const std::size_t b = std::size_t(cls->blockSize);
    for (const auto& [mac, mode] : pairs) {
      for (std::size_t len : {std::size_t(1), b - 1, b, 2 * b + 3}) {
        SCOPED_TRACE(std::string(cls->name) + " mode " + std::to_string(int(mac)) + " length " +
                     std::to_string(len));
        cvtest::Bytes key(std::size_t(cls->maxKeySize)), plain(len);
        for (auto& x : key) x = std::uint8_t(rng());
        for (auto& x : plain) x = std::uint8_t(rng() | 0x80);
        auto c = cls->create(nullptr);
        c->Init(key.data(), std::int32_t(key.size()), nullptr);
        c->Mode = mode;
        cvtest::Bytes out(len);
        c->EncryptBuffer(plain.data(), out.data(), len);
        const std::string encRegister = cvtest::ToHex(c->FeedbackBytes().data(), b);
        for (bool decrypt : {false, true}) {
          c->ResetChain();
          c->Mode = mac;
          cvtest::Bytes untouched(len, 0x3C);
          if (decrypt)
            c->DecryptBuffer(plain.data(), untouched.data(), len);
          else
            c->EncryptBuffer(plain.data(), untouched.data(), len);
          EXPECT_EQ(untouched, cvtest::Bytes(len, 0x3C));
          EXPECT_EQ(cvtest::ToHex(c->FeedbackBytes().data(), b), encRegister) << (decrypt ? "decrypt" : "encrypt");
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvane
