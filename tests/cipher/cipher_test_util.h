// Shared checks for the cipher class tests: random bytes, buffer round trips in every chaining
// mode, the known-answer procedure rebuilt from a bare block routine, and block-by-block agreement
// with a Crypto++ block cipher used as an oracle.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include "cipher/base/cipher.h"
#include "cipher/base/support.h"
#include "cipher_vectors.h"

namespace cvtest {

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

// A copy of the block after one EncryptBlock of the keyed object.
inline Bytes EncryptBlockCopy(corvane::TCipher& c, Bytes block) {
  c.EncryptBlock(block.data());
  return block;
}

inline constexpr corvane::TCipherMode kChainingModes[] = {corvane::TCipherMode::cmCTS, corvane::TCipherMode::cmCBC,
                                                          corvane::TCipherMode::cmCFB, corvane::TCipherMode::cmOFB,
                                                          corvane::TCipherMode::cmECB};

// One buffer round trip: Mode and Init(key, no IV), EncryptBuffer in place (a text of changedFrom
// bytes or more must change), ResetChain, then DecryptBuffer must give the plain text back. The
// change is checked here; the round trip is the result, for EXPECT_TRUE or ASSERT_TRUE.
inline ::testing::AssertionResult BufferRoundTrip(corvane::TCipher& c, corvane::TCipherMode mode, const Bytes& key,
                                                  const Bytes& plain, std::size_t changedFrom) {
  c.Mode = mode;
  c.Init(key.data(), std::int32_t(key.size()), nullptr);
  Bytes buf = plain;
  c.EncryptBuffer(buf.data(), buf.data(), buf.size());
  if (plain.size() >= changedFrom) {
    EXPECT_NE(ToHex(buf), ToHex(plain));
  }
  c.ResetChain();
  c.DecryptBuffer(buf.data(), buf.data(), buf.size());
  if (buf == plain) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "decrypted " << ToHex(buf) << ", expected " << ToHex(plain);
}

// Round trips in every chaining mode for each text length: per mode and length, a random key of
// keyLength(rng) bytes, then a random plain text of that length.
inline void ExpectRoundTripsInModes(const corvane::CipherClassInfo& cls, std::mt19937& rng,
                                    std::initializer_list<std::size_t> lengths,
                                    const std::function<std::size_t(std::mt19937&)>& keyLength,
                                    std::size_t changedFrom) {
  for (auto mode : kChainingModes) {
    for (std::size_t len : lengths) {
      SCOPED_TRACE(std::string(cls.name) + " mode " + std::to_string(int(mode)) + " length " +
                   std::to_string(len));
      const std::size_t keyBytes = keyLength(rng);
      const Bytes key = RandomBytes(rng, keyBytes);
      const Bytes plain = RandomBytes(rng, len);
      auto c = cls.create(nullptr);
      EXPECT_TRUE(BufferRoundTrip(*c, mode, key, plain, changedFrom));
    }
  }
}

// Round trips for keys of every length 0..maxKeySize, each in every chaining mode: a text length
// rng() % sizeBound, a random key of the length (adjustKey may change its bytes), a random plain
// text. Texts of a block or more must change. Stops at the first failed round trip.
inline void ExpectRoundTripsForEveryKeyLength(
    const corvane::CipherClassInfo& cls, std::mt19937& rng, std::uint32_t sizeBound,
    const std::function<void(Bytes& key, corvane::TCipherMode mode)>& adjustKey = {}) {
  for (std::size_t len = 0; len <= std::size_t(cls.maxKeySize); ++len) {
    for (auto mode : kChainingModes) {
      const std::size_t size = rng() % sizeBound;
      SCOPED_TRACE("key length " + std::to_string(len) + " mode " + std::to_string(int(mode)) + " size " +
                   std::to_string(size));
      Bytes key = RandomBytes(rng, len);
      if (adjustKey) adjustKey(key, mode);
      const Bytes plain = RandomBytes(rng, size);
      auto c = cls.create(nullptr);
      ASSERT_TRUE(BufferRoundTrip(*c, mode, key, plain, std::size_t(cls.blockSize)));
    }
  }
}

// The known-answer procedure rebuilt from a bare block routine that encrypts one block in place:
// the vector is E(FF..FF), and the shared 32-byte input runs through whole cmCTS blocks
// (C = E(P xor F), then F ^= C).
template <class EncryptBlock>
Bytes CtsKnownAnswerFromBlocks(std::size_t blockSize, EncryptBlock encrypt) {
  Bytes f(blockSize, 0xFF);
  encrypt(f.data());
  const auto input = corvane::SharedTestInput();
  Bytes out(input.size());
  for (std::size_t o = 0; o + blockSize <= input.size(); o += blockSize) {
    Bytes c(blockSize);
    for (std::size_t i = 0; i < blockSize; ++i) c[i] = std::uint8_t(input[o + i] ^ f[i]);
    encrypt(c.data());
    for (std::size_t i = 0; i < blockSize; ++i) {
      out[o + i] = c[i];
      f[i] ^= c[i];
    }
  }
  return out;
}

// The class's own known answer equals the one rebuilt by CtsKnownAnswerFromBlocks from a bare block
// routine (typically an oracle's, keyed with NameKey).
template <class EncryptBlock>
void ExpectKnownAnswerFromBlocks(const corvane::CipherClassInfo& cls, EncryptBlock encrypt) {
  const Bytes answer = CtsKnownAnswerFromBlocks(std::size_t(cls.blockSize), encrypt);
  EXPECT_EQ(ToHex(answer), ToHex(cls.knownAnswer, 32));
}

// The bytes of a class name, the key of the known-answer procedure, zero-padded to `size` bytes
// when it is shorter.
inline Bytes NameKey(std::string_view name, std::size_t size = 0) {
  Bytes key(name.begin(), name.end());
  if (key.size() < size) key.resize(size, 0);
  return key;
}

// The sizes an object of the class reports: block, largest key and schedule, in bytes.
template <class Cipher>
void ExpectDimensions(std::int32_t blockSize, std::int32_t maxKeySize, std::int32_t scheduleSize) {
  Cipher c;
  EXPECT_EQ(c.BlockSize(), blockSize);
  EXPECT_EQ(c.MaxKeySize(), maxKeySize);
  EXPECT_EQ(c.ScheduleSize(), scheduleSize);
}

// The class's line in the registry list, and that the registry finds it under each given name.
inline void ExpectRegistered(const corvane::CipherClassInfo& cls, std::string_view registryLine,
                             std::initializer_list<std::string_view> names) {
  EXPECT_EQ(corvane::CipherRegistryLine(&cls), registryLine);
  for (std::string_view name : names) EXPECT_EQ(corvane::FindCipherClass(name), &cls) << name;
}

// For each key length in [from, to): a random key of fullSize bytes initialises one object with
// its first `length` bytes and another with the whole key after the bytes from `length` on are
// zeroed; sameAs(shortKey, padded) checks that the two agree.
template <class Cipher, class SameAs>
void ExpectShortKeysZeroPadded(std::mt19937& rng, std::int32_t from, std::int32_t to, std::size_t fullSize,
                               SameAs sameAs) {
  for (std::int32_t len = from; len < to; ++len) {
    SCOPED_TRACE("key length " + std::to_string(len));
    Bytes key = RandomBytes(rng, fullSize);
    Cipher shortKey;
    shortKey.Init(key.data(), len, nullptr);
    for (std::size_t n = std::size_t(len); n < fullSize; ++n) key[n] = 0;
    Cipher padded;
    padded.Init(key.data(), std::int32_t(fullSize), nullptr);
    sameAs(shortKey, padded);
  }
}

// How a Crypto++ block cipher stands in for a class: the Crypto++ key made from the class's key
// (none: the same bytes), the byte order of its blocks (a map that is its own inverse; none: the
// same order), and a change to each random key before use (none: the key as drawn).
struct CryptoppOracle {
  std::function<Bytes(const Bytes& key)> key = {};
  std::function<Bytes(Bytes block)> blockOrder = {};
  std::function<void(Bytes& key, int trial)> adjustKey = {};
};

// For every key length minKeyLength..maxKeyLength, `trials` random keys with four random blocks
// each: EncryptBlock gives Crypto++'s cipher text, Crypto++ decrypts that back to the plain text,
// and DecryptBlock returns the plain text. cppArgs go to the Crypto++ constructors (rounds).
template <class CppCipher, class... CppArgs>
void ExpectAgreesWithCryptoppBlocks(const corvane::CipherClassInfo& cls, std::mt19937& rng,
                                    std::size_t minKeyLength, std::size_t maxKeyLength, int trials,
                                    const CryptoppOracle& oracle, CppArgs... cppArgs) {
  const std::size_t blockSize = std::size_t(cls.blockSize);
  auto order = [&](Bytes b) { return oracle.blockOrder ? oracle.blockOrder(std::move(b)) : b; };
  for (std::size_t len = minKeyLength; len <= maxKeyLength; ++len) {
    for (int trial = 0; trial < trials; ++trial) {
      Bytes key = RandomBytes(rng, len);
      if (oracle.adjustKey) oracle.adjustKey(key, trial);
      SCOPED_TRACE("key " + ToHex(key));
      auto c = cls.create(nullptr);
      c->Init(key.data(), std::int32_t(len), nullptr);
      const Bytes k = oracle.key ? oracle.key(key) : key;
      typename CppCipher::Encryption enc(k.data(), k.size(), cppArgs...);
      typename CppCipher::Decryption dec(k.data(), k.size(), cppArgs...);
      for (int b = 0; b < 4; ++b) {
        const Bytes plain = RandomBytes(rng, blockSize);
        Bytes expected(blockSize);
        enc.ProcessBlock(order(plain).data(), expected.data());
        expected = order(std::move(expected));
        Bytes got = plain;
        c->EncryptBlock(got.data());
        ASSERT_EQ(ToHex(got), ToHex(expected));
        Bytes back(blockSize);
        dec.ProcessBlock(order(got).data(), back.data());
        ASSERT_EQ(ToHex(order(std::move(back))), ToHex(plain));
        c->DecryptBlock(got.data());
        ASSERT_EQ(ToHex(got), ToHex(plain));
      }
    }
  }
}

// The eight modes written out from their definitions over a keyed block routine, one byte or one
// block at a time: the reference the library's mode loops are held against.
struct ModeReference {
  corvane::TCipher& block;  // only its EncryptBlock / DecryptBlock are used
  Bytes f;                  // the feedback register

  Bytes E(Bytes x) {
    block.EncryptBlock(x.data());
    return x;
  }
  Bytes D(Bytes x) {
    block.DecryptBlock(x.data());
    return x;
  }
  static Bytes Xor(const Bytes& a, const Bytes& b) {
    Bytes r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = std::uint8_t(a[i] ^ b[i]);
    return r;
  }
  void Shift(std::uint8_t in) {
    f.erase(f.begin());
    f.push_back(in);
  }

  // out holds the caller's output buffer as it was; MAC modes leave it as it is.
  Bytes Run(corvane::TCipherMode mode, bool decrypt, const Bytes& in, Bytes out) {
    const std::size_t b = f.size(), whole = in.size() / b * b;
    auto tail = [&](bool moveRegister) {
      if (whole == in.size()) return;
      const Bytes s = E(f);
      for (std::size_t i = whole; i < in.size(); ++i) out[i] = std::uint8_t(in[i] ^ s[i - whole]);
      if (moveRegister) f = Xor(f, s);
    };
    auto macTail = [&] {
      if (whole != in.size()) f = Xor(f, E(f));
    };
    auto blockAt = [&](std::size_t i) {
      return Bytes(in.begin() + std::ptrdiff_t(i), in.begin() + std::ptrdiff_t(i + b));
    };
    auto put = [&](std::size_t i, const Bytes& x) {
      std::copy(x.begin(), x.end(), out.begin() + std::ptrdiff_t(i));
    };
    switch (mode) {
      case corvane::TCipherMode::cmCTS:
        for (std::size_t i = 0; i < whole; i += b) {
          const Bytes x = blockAt(i);
          const Bytes y = decrypt ? Xor(D(x), f) : E(Xor(x, f));
          put(i, y);
          f = Xor(decrypt ? x : y, f);
        }
        tail(true);
        break;
      case corvane::TCipherMode::cmCBC:
        for (std::size_t i = 0; i < whole; i += b) {
          const Bytes x = blockAt(i);
          const Bytes y = decrypt ? Xor(D(x), f) : E(Xor(x, f));
          put(i, y);
          f = decrypt ? x : y;
        }
        tail(true);
        break;
      case corvane::TCipherMode::cmCFB:
        for (std::size_t i = 0; i < in.size(); ++i) {
          out[i] = std::uint8_t(in[i] ^ E(f)[0]);
          Shift(decrypt ? in[i] : out[i]);
        }
        break;
      case corvane::TCipherMode::cmOFB:
        for (std::size_t i = 0; i < in.size(); ++i) {
          const std::uint8_t s0 = E(f)[0];
          out[i] = std::uint8_t(in[i] ^ s0);
          Shift(s0);
        }
        break;
      case corvane::TCipherMode::cmECB:
        for (std::size_t i = 0; i < whole; i += b) put(i, decrypt ? D(blockAt(i)) : E(blockAt(i)));
        tail(false);
        break;
      case corvane::TCipherMode::cmCTSMAC:
        for (std::size_t i = 0; i < whole; i += b) f = Xor(E(Xor(blockAt(i), f)), f);
        macTail();
        break;
      case corvane::TCipherMode::cmCBCMAC:
        for (std::size_t i = 0; i < whole; i += b) f = E(Xor(blockAt(i), f));
        macTail();
        break;
      case corvane::TCipherMode::cmCFBMAC:
        for (std::size_t i = 0; i < in.size(); ++i) {
          const std::uint8_t s0 = E(f)[0];
          Shift(std::uint8_t(in[i] ^ s0));
        }
        break;
    }
    return out;
  }
};

}  // namespace cvtest
