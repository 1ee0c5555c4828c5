// Shared test driver for the cipher classes: block vectors from tests/data/cipher-test-vectors.vec
// and the known-answer procedure (cmCTS encryption of the shared test input after Init with the
// class name's bytes and no IV).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/cipher.h"
#include "cipher/base/support.h"

namespace cvtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length: " + std::string(hex));
  auto nibble = [&](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    throw std::invalid_argument("bad hex digit in: " + std::string(hex));
  };
  Bytes out;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    out.push_back(std::uint8_t(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
  return out;
}

inline std::string ToHex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < size; ++i) {
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

struct CipherVector {
  std::string line;  // the source line, for failure messages
  Bytes key, plain, cipher;
};

// Every line "CLASS key=HEX plain=HEX cipher=HEX" of the vector file whose CLASS equals
// className. Throws when the file cannot be read or a matching line is malformed.
inline std::vector<CipherVector> CipherVectorsFor(std::string_view className) {
  const std::string path = std::string(CORVANE_TEST_DATA_DIR) + "/cipher-test-vectors.vec";
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<CipherVector> result;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string cls;
    fields >> cls;
    if (cls != className) continue;
    CipherVector v;
    v.line = line;
    bool haveKey = false, havePlain = false, haveCipher = false;
    std::string field;
    while (fields >> field) {
      const auto eq = field.find('=');
      if (eq == std::string::npos) throw std::runtime_error("malformed vector line: " + line);
      const std::string name = field.substr(0, eq);
      Bytes value = FromHex(std::string_view(field).substr(eq + 1));
      if (name == "key") {
        v.key = std::move(value);
        haveKey = true;
      } else if (name == "plain") {
        v.plain = std::move(value);
        havePlain = true;
      } else if (name == "cipher") {
        v.cipher = std::move(value);
        haveCipher = true;
      } else
        throw std::runtime_error("unknown field in vector line: " + line);
    }
    if (!haveKey || !havePlain || !haveCipher || v.plain.size() != v.cipher.size())
      throw std::runtime_error("incomplete vector line: " + line);
    result.push_back(std::move(v));
  }
  return result;
}

// The known-answer procedure: Init with the bytes of the class name (cut to the maximum key size
// by the key-size check), no IV, cmCTS, EncryptBuffer over the shared 32-byte test input.
inline std::array<std::uint8_t, 32> CtsKnownAnswerOf(corvane::TCipher& cipher) {
  cipher.Mode = corvane::TCipherMode::cmCTS;
  cipher.Init(std::string_view(cipher.ClassName()), nullptr);
  std::array<std::uint8_t, 32> out{};
  const auto input = corvane::SharedTestInput();
  cipher.EncryptBuffer(input.data(), out.data(), input.size());
  return out;
}

// Checks the class's known answer against its descriptor and against the expected bytes given
// in the test (so a wrong table in the class cannot hide behind its own descriptor).
inline void ExpectKnownAnswer(const corvane::CipherClassInfo& cls, std::string_view expectedHex) {
  SCOPED_TRACE(cls.name);
  auto cipher = cls.create(nullptr);
  ASSERT_NE(cipher, nullptr);
  const auto got = CtsKnownAnswerOf(*cipher);
  EXPECT_EQ(ToHex(got.data(), got.size()), std::string(expectedHex));
  ASSERT_NE(cls.knownAnswer, nullptr);
  EXPECT_EQ(ToHex(cls.knownAnswer, 32), std::string(expectedHex));
}

// One vector on a new object of the class: one EncryptBlock after Init(key, no IV) gives the
// cipher text, one DecryptBlock returns the plain text.
inline void ExpectBlockVector(const corvane::CipherClassInfo& cls, const Bytes& key, const Bytes& plain,
                              const Bytes& cipherText) {
  auto cipher = cls.create(nullptr);
  cipher->Init(key.data(), std::int32_t(key.size()), nullptr);
  if (plain.size() != std::size_t(cipher->BlockSize())) {
    ADD_FAILURE() << "vector block size differs from the class's block size";
    return;
  }
  Bytes block = plain;
  cipher->EncryptBlock(block.data());
  EXPECT_EQ(ToHex(block), ToHex(cipherText));
  cipher->DecryptBlock(block.data());
  EXPECT_EQ(ToHex(block), ToHex(plain));
}

// Runs every vector of the class's vector file through ExpectBlockVector. Gives the number of
// vectors run.
inline std::size_t ExpectBlockVectors(const corvane::CipherClassInfo& cls) {
  const auto vectors = CipherVectorsFor(cls.name);
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.line);
    ExpectBlockVector(cls, v.key, v.plain, v.cipher);
  }
  return vectors.size();
}

}  // namespace cvtest
