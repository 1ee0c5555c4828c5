#include "settings/stored_values.h"

#include <gtest/gtest.h>

#include <crypto++/base64.h>
#include <crypto++/filters.h>
#include <crypto++/idea.h>
#include <crypto++/ripemd.h>

#include <array>

#include "cipher/formats/formats.h"
#include "cipher/base/stored_key.h"
#include "settings/date_time_text.h"
#include "settings/settings_test_util.h"

namespace corvane {
namespace {

using test::ReadBytes;
using test::TempDir;

// The stored text computed independently with Crypto++: key = first 16 bytes of RIPEMD-256 of
// the key text; register F starts as IDEA(0xFF x 8); whole blocks C = E(P ^ F), F ^= C; a tail
// is XORed with E(F); then MIME base64 without line breaks.
std::string OracleStoredText(const std::string& plain) {
  std::array<CryptoPP::byte, 32> digest{};
  CryptoPP::RIPEMD256 hash;
  const std::string_view key_text = StoredValueKeyText();
  hash.CalculateDigest(digest.data(), reinterpret_cast<const CryptoPP::byte*>(key_text.data()), key_text.size());
  CryptoPP::IDEA::Encryption idea(digest.data(), 16);

  std::array<CryptoPP::byte, 8> f{};
  f.fill(0xFF);
  idea.ProcessBlock(f.data());

  std::string out(plain.size(), '\0');
  std::size_t pos = 0;
  for (; pos + 8 <= plain.size(); pos += 8) {
    std::array<CryptoPP::byte, 8> block{};
    for (std::size_t i = 0; i < 8; ++i)
      block[i] = static_cast<CryptoPP::byte>(static_cast<unsigned char>(plain[pos + i]) ^ f[i]);
    idea.ProcessBlock(block.data());
    for (std::size_t i = 0; i < 8; ++i) {
      out[pos + i] = static_cast<char>(block[i]);
      f[i] = static_cast<CryptoPP::byte>(f[i] ^ block[i]);
    }
  }
  if (pos < plain.size()) {
    std::array<CryptoPP::byte, 8> s = f;
    idea.ProcessBlock(s.data());
    for (std::size_t i = 0; pos + i < plain.size(); ++i)
      out[pos + i] = static_cast<char>(static_cast<unsigned char>(plain[pos + i]) ^ s[i]);
  }

  std::string text;
  CryptoPP::StringSource source(out, true, new CryptoPP::Base64Encoder(new CryptoPP::StringSink(text), false));
  return text;
}

class StoredValuesTest : public ::testing::Test {
 protected:
  StoredValuesTest() { InitStoredValueManager(manager_); }
  TCipherManager manager_;
  StoredValues values_{manager_};
};

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

TEST_F(StoredValuesTest, EmptyStaysEmpty) {
  EXPECT_EQ(values_.Encrypt(""), "");
  EXPECT_EQ(values_.Decrypt(""), "");
}

TEST_F(StoredValuesTest, AgreesWithAnIndependentImplementation) {
  const std::string plains[] = {
      "0",
      "1",
      "Y",
      "N",
      "Remote Exec",
      "Remote Shell",
      std::string(kFarFutureText),
      "2024-03-05 14:07:09",
      "1234567",
      "12345678",
      "123456789",
      "1234567890abcdef",
      "1234567890abcdefg",
      "\xA7var \xC4\xD6\xDC",
      AllBytes(),
      std::string(1000, '\0'),
  };
  for (const auto& plain : plains) {
    const std::string stored = values_.Encrypt(plain);
    EXPECT_EQ(stored, OracleStoredText(plain)) << plain;
    EXPECT_EQ(stored.size(), 4 * ((plain.size() + 2) / 3)) << plain;
    EXPECT_EQ(values_.Decrypt(stored), plain) << plain;
    // Every value starts from the same register: encrypting again gives the same text.
    EXPECT_EQ(values_.Encrypt(plain), stored) << plain;
  }
}

TEST_F(StoredValuesTest, TextOutsideTheBase64AlphabetIsAFormatError) {
  for (const char* bad : {"plain.text", "a!bc", "\xA7\xA7\xA7\xA7", "YWJj%", "aGVsbG8=\x01"}) {
    try {
      values_.Decrypt(bad);
      ADD_FAILURE() << "accepted: " << bad;
    } catch (const EStringFormat& e) {
      EXPECT_STREQ(e.what(), "Input is not an valid MIME Base 64 Format.") << bad;
    }
  }
  // Blanks and the other skipped characters are accepted, and a hand-written plain "0" or "1"
  // holds too few symbols for a byte: it reads as the empty text.
  EXPECT_EQ(values_.Decrypt("1"), "");
  EXPECT_EQ(values_.Decrypt("0"), "");
  const std::string stored = values_.Encrypt("Remote Exec");
  EXPECT_EQ(values_.Decrypt(" " + stored.substr(0, 4) + "\r\n" + stored.substr(4) + "\t"), "Remote Exec");
}

TEST_F(StoredValuesTest, ThroughASettingsFile) {
  TempDir dir;
  const std::string path = SettingsFilePath(dir.path().string(), kScheduleFileName);
  EXPECT_EQ(path, dir.path().string() + "/CorvaneSchd.ini");
  {
    IniFile ini(path);
    values_.Write(ini, "Nightly \xC4", "active", "1");
    values_.Write(ini, "Nightly \xC4", "start", std::string(kFarFutureText));
    values_.Write(ini, "Nightly \xC4", "\xA7host", "h\xF6st");
    values_.Write(ini, "Nightly \xC4", "last", "");
    ini.WriteBack();
  }
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes, "[Nightly \xC4]\r\nactive=" + OracleStoredText("1") +
                       "\r\nstart=" + OracleStoredText(std::string(kFarFutureText)) +
                       "\r\n\xA7host=" + OracleStoredText("h\xF6st") + "\r\nlast=\r\n\r\n");

  // A second manager, keyed on its own, reads the file back.
  TCipherManager other;
  InitStoredValueManager(other);
  const StoredValues reader(other);
  const IniFile ini(path);
  EXPECT_EQ(reader.Read(ini, "nightly \xE4", "ACTIVE"), "1");
  EXPECT_EQ(reader.Read(ini, "Nightly \xC4", "start"), kFarFutureText);
  EXPECT_EQ(reader.Read(ini, "Nightly \xC4", "\xA7HOST"), "h\xF6st");
  EXPECT_EQ(reader.Read(ini, "Nightly \xC4", "last"), "");
  EXPECT_EQ(reader.Read(ini, "Nightly \xC4", "missing"), "");
  EXPECT_EQ(reader.Read(ini, "Nightly \xC4", "prot", OracleStoredText("Remote Shell")), "Remote Shell");
}

}  // namespace
}  // namespace corvane
