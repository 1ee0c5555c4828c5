// Helpers for the tests of the Haval, Snefru, Tiger, Sapphire and checksum classes: hex
// conversion, digests through a class descriptor, random messages, and the checks every hash
// must pass (known answer, split-independence, keystream round trip).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/hash.h"
#include "cipher/base/support.h"

namespace periphery {

using Bytes = std::vector<std::uint8_t>;

inline std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
inline std::string Hex(const Bytes& b) { return Hex(b.data(), b.size()); }

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes RandomBytes(std::uint32_t seed, std::size_t n) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(gen());
  return b;
}

inline Bytes DigestOf(corvane::THash& h) { return Bytes(h.DigestBytes(), h.DigestBytes() + h.DigestSize()); }

// Start, one Update over the whole message, Finish.
inline Bytes Digest(corvane::THash& h, const Bytes& msg) {
  h.Start();
  h.Update(msg.data(), msg.size());
  h.Finish();
  return DigestOf(h);
}
inline Bytes Digest(const corvane::HashClassInfo& cls, const Bytes& msg) {
  auto h = corvane::CreateHash(cls);
  return Digest(*h, msg);
}

// The message in pieces of the given sizes (the last piece takes the rest).
inline Bytes DigestInPieces(corvane::THash& h, const Bytes& msg, const std::vector<std::size_t>& sizes) {
  h.Start();
  std::size_t pos = 0;
  for (std::size_t s : sizes) {
    if (pos + s > msg.size()) s = msg.size() - pos;
    h.Update(msg.data() + pos, s);
    pos += s;
  }
  h.Update(msg.data() + pos, msg.size() - pos);
  h.Finish();
  return DigestOf(h);
}

// The known answer: the class's digest of the shared test input equals both the class's
// KnownAnswer constant and the expected hex text.
inline void ExpectKnownAnswer(const corvane::HashClassInfo& cls, std::string_view expectedHex) {
  SCOPED_TRACE(cls.name);
  const auto input = corvane::SharedTestInput();
  const Bytes digest = Digest(cls, Bytes(input.begin(), input.end()));
  ASSERT_EQ(std::size_t(cls.digestSize) * 2, expectedHex.size());
  EXPECT_EQ(Hex(digest), expectedHex);
  ASSERT_NE(cls.knownAnswer, nullptr);
  EXPECT_EQ(Hex(cls.knownAnswer, std::size_t(cls.digestSize)), expectedHex);
}

// Every two-piece split, and byte by byte, gives the one-call digest, also on an object reused
// after a finished run.
inline void ExpectSplitIndependent(const corvane::HashClassInfo& cls, const Bytes& msg) {
  SCOPED_TRACE(std::string(cls.name) + " length " + std::to_string(msg.size()));
  auto h = corvane::CreateHash(cls);
  const Bytes whole = Digest(*h, msg);
  for (std::size_t split = 0; split <= msg.size(); ++split) {
    ASSERT_EQ(Hex(DigestInPieces(*h, msg, {split})), Hex(whole)) << "split at " << split;
  }
  std::vector<std::size_t> ones(msg.size(), 1);
  EXPECT_EQ(Hex(DigestInPieces(*h, msg, ones)), Hex(whole)) << "byte by byte";
}

// The keystream of the hash's own digests: Encrypt changes the data, Decrypt with a fresh object
// of the same class gives it back.
inline void ExpectKeystreamRoundTrip(const corvane::HashClassInfo& cls, std::size_t size) {
  SCOPED_TRACE(std::string(cls.name) + " keystream of " + std::to_string(size));
  const Bytes plain = RandomBytes(std::uint32_t(size) * 7 + 1, size);
  Bytes data = plain;
  auto enc = corvane::CreateHash(cls);
  enc->ProcessBuffer(data.data(), data.size(), corvane::TProtectionAction::Encrypt);
  EXPECT_NE(data, plain);
  auto dec = corvane::CreateHash(cls);
  dec->ProcessBuffer(data.data(), data.size(), corvane::TProtectionAction::Decrypt);
  EXPECT_EQ(data, plain);
}

}  // namespace periphery
