// SAFER K-64/K-128/SK-40/SK-64/SK-128 and the plain 40-bit form: byte arithmetic mod 256, the
// block as eight bytes in memory order, EXP/LOG tables rebuilt into the schedule at every Init.
#include "cipher/ciphers/safer.h"

#include <algorithm>
#include <cstring>

#include "cipher/base/support.h"

namespace corvane {

namespace {

// clang-format off
constexpr std::uint8_t kSaferKnownAnswer[32] = {
    0x00, 0x3d, 0x49, 0x20, 0x73, 0x63, 0x85, 0xaa, 0xd9, 0xc2, 0x0a, 0xde, 0x7e, 0x9e, 0xe9, 0xab,
    0x24, 0xd0, 0x74, 0x34, 0x47, 0x7e, 0x21, 0x1d, 0x55, 0xf9, 0x35, 0x28, 0x98, 0x84, 0xa8, 0x75};
constexpr std::uint8_t kSaferK40KnownAnswer[32] = {
    0x05, 0xb4, 0x19, 0x57, 0x26, 0x5c, 0x13, 0x60, 0xa0, 0x82, 0x94, 0x45, 0xd6, 0xa5, 0x46, 0xd8,
    0x73, 0x50, 0x96, 0x80, 0x4f, 0x6d, 0xf7, 0xe5, 0xc8, 0x1a, 0xef, 0x44, 0x4c, 0xb4, 0x59, 0x13};
constexpr std::uint8_t kSaferSK40KnownAnswer[32] = {
    0xd9, 0x03, 0x03, 0x6d, 0x18, 0x38, 0xd1, 0xc1, 0x89, 0xe8, 0x38, 0x12, 0x7f, 0x28, 0xfc, 0xc7,
    0xc5, 0x0b, 0xb7, 0xc4, 0xdb, 0x21, 0xa4, 0x31, 0x20, 0x08, 0x8a, 0x77, 0xf7, 0xdf, 0x26, 0xff};
constexpr std::uint8_t kSaferK64KnownAnswer[32] = {
    0x8c, 0xb2, 0x32, 0xf0, 0x0e, 0xc2, 0xda, 0xcb, 0x39, 0x08, 0x2d, 0x5c, 0x93, 0xff, 0xce, 0xf3,
    0x8f, 0x1f, 0xb7, 0x2c, 0xc5, 0xc7, 0xa7, 0xe9, 0x89, 0xbe, 0x61, 0x8b, 0x00, 0xe6, 0x9f, 0x0e};
constexpr std::uint8_t kSaferSK64KnownAnswer[32] = {
    0xdd, 0x9c, 0x1a, 0xd6, 0x29, 0x0c, 0xee, 0x4f, 0xe5, 0x4b, 0xc0, 0x55, 0xbf, 0x22, 0x0e, 0xbc,
    0x19, 0x41, 0x78, 0xcf, 0x94, 0xdb, 0x2f, 0x39, 0x6b, 0x1e, 0xa7, 0xca, 0x4b, 0x5f, 0x77, 0xe0};
constexpr std::uint8_t kSaferK128KnownAnswer[32] = {
    0x0c, 0xa9, 0x70, 0xb9, 0xf3, 0x14, 0x87, 0xd9, 0x9e, 0x5e, 0x78, 0x31, 0x74, 0xdf, 0xa8, 0xbb,
    0x3d, 0x40, 0xa5, 0xd9, 0x8c, 0x7c, 0x04, 0xb7, 0x9c, 0x01, 0xda, 0x63, 0xab, 0x26, 0x35, 0xbc};
constexpr std::uint8_t kSaferSK128KnownAnswer[32] = {
    0xc8, 0xa6, 0x70, 0x33, 0x29, 0x38, 0x38, 0x2b, 0x69, 0xac, 0x61, 0x72, 0x8f, 0xdc, 0x9f, 0xa4,
    0x9e, 0x6f, 0xc4, 0x53, 0xd8, 0x89, 0xff, 0x42, 0x72, 0x09, 0x7d, 0xcd, 0xd0, 0xea, 0x7e, 0x28};
// clang-format on

constexpr std::uint8_t Rol8(std::uint8_t v, unsigned s) {
  return std::uint8_t((unsigned(v) << s) | (unsigned(v) >> (8 - s)));
}

std::int32_t DefaultRounds(std::uint8_t variant) {
  switch (variant) {
    case kSaferK40:
    case kSaferSK40: return 5;
    case kSaferK64:
    case kSaferSK64: return 6;
    default: return 10;
  }
}

// EXP[i] = 45^i mod 257 as a byte (EXP[128] = 256 is stored as 0); LOG is its inverse.
void BuildTables(std::uint8_t* exp, std::uint8_t* log) {
  unsigned a = 1;
  for (unsigned i = 0; i < 256; ++i) {
    exp[i] = std::uint8_t(a);
    log[a & 0xFF] = std::uint8_t(i);
    a = a * 45 % 257;
  }
}

// The 2R+1 subkeys from up to 16 key bytes. A holds the first key half, B the second (or a copy
// of A for keys of up to 8 bytes, and for the 40-bit forms the expanded 40-bit key).
void BuildSubkeys(const std::uint8_t* key, std::int32_t size, std::uint8_t variant, std::int32_t rounds,
                  const std::uint8_t* exp, std::uint8_t* out) {
  std::uint8_t a[9] = {};
  std::uint8_t b[9] = {};
  if (size > 0) std::memcpy(a, key, std::size_t(std::min<std::int32_t>(size, 8)));
  if (variant == kSaferK40 || variant == kSaferSK40) {
    a[5] = std::uint8_t(a[0] ^ a[2] ^ 0x81);
    a[6] = std::uint8_t(a[0] ^ a[3] ^ a[4] ^ 0x42);
    a[7] = std::uint8_t(a[1] ^ a[2] ^ a[4] ^ 0x24);
    a[8] = std::uint8_t(a[1] ^ a[3] ^ 0x18);
    std::memcpy(b, a, sizeof b);
  } else {
    if (size <= 8)
      std::memcpy(b, a, sizeof b);
    else
      std::memcpy(b, key + 8, std::size_t(std::min<std::int32_t>(size - 8, 8)));
    for (int j = 0; j < 8; ++j) {
      a[8] ^= a[j];
      b[8] ^= b[j];
    }
  }
  const bool strengthened = variant >= kSaferSKByKey;
  std::memcpy(out, b, 8);
  out += 8;
  for (auto& v : a) v = Rol8(v, 5);
  for (int i = 1; i <= rounds; ++i) {
    for (int j = 0; j < 9; ++j) {
      a[j] = Rol8(a[j], 6);
      b[j] = Rol8(b[j], 6);
    }
    for (int j = 0; j < 8; ++j) {
      const std::uint8_t x = strengthened ? a[(j + 2 * i - 1) % 9] : a[j];
      out[j] = std::uint8_t(x + exp[exp[18 * i + j + 1]]);
    }
    for (int j = 0; j < 8; ++j) {
      const std::uint8_t y = strengthened ? b[(j + 2 * i) % 9] : b[j];
      out[8 + j] = std::uint8_t(y + exp[exp[18 * i + j + 10]]);
    }
    out += 16;
  }
  SecureWipe(a, sizeof a);
  SecureWipe(b, sizeof b);
}

// Decryption holds the block bytes in full-width registers: only the low 8 bits of each are the
// byte.
// Additions, subtractions and XORs give the right low 8 bits whatever the high bits hold, so the
// bytes are cut to 8 bits only where they index a table and where they are stored; every step
// then is one instruction, without a zero extension after it. (Encryption, whose table lookups
// come first in each step, runs faster on bytes.)
using Lane = unsigned;

// 2-point pseudo-Hadamard transform in place: (x, y) -> (2x + y, x + y), and its inverse.
inline void Pht(std::uint8_t& x, std::uint8_t& y) {
  y = std::uint8_t(y + x);
  x = std::uint8_t(x + y);
}
inline void InversePht(Lane& x, Lane& y) {
  x -= y;
  y -= x;
}

}  // namespace

void TCipher_SAFER::ScheduleSafer(const std::uint8_t* key, std::int32_t size, std::uint8_t variant) {
  if (variant == kSaferSKByKey) variant = size <= 5 ? kSaferSK40 : size <= 8 ? kSaferSK64 : kSaferSK128;
  variant_ = variant;
  if (rounds_ < 4 || rounds_ > kSaferMaxRounds) rounds_ = DefaultRounds(variant);
  scheduledRounds_ = rounds_;
  std::uint8_t* s = Schedule();
  BuildTables(s + kSaferExpOffset, s + kSaferLogOffset);
  BuildSubkeys(key, size, variant, rounds_, s + kSaferExpOffset, s + kSaferKeyOffset);
}

void TCipher_SAFER::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  ScheduleSafer(key, size, kSaferSKByKey);
}

namespace {
// Encryption of one block with the tables and subkeys of the schedule buffer s.
[[gnu::always_inline]] inline void SaferEncrypt(const std::uint8_t* s, std::int32_t rounds, std::uint8_t* block) {
  const std::uint8_t* exp = s + kSaferExpOffset;
  const std::uint8_t* log = s + kSaferLogOffset;
  const std::uint8_t* k = s + kSaferKeyOffset;
  std::uint8_t x0 = block[0], x1 = block[1], x2 = block[2], x3 = block[3];
  std::uint8_t x4 = block[4], x5 = block[5], x6 = block[6], x7 = block[7];
  for (std::int32_t r = 0; r < rounds; ++r, k += 16) {
    x0 ^= k[0];
    x1 = std::uint8_t(x1 + k[1]);
    x2 = std::uint8_t(x2 + k[2]);
    x3 ^= k[3];
    x4 ^= k[4];
    x5 = std::uint8_t(x5 + k[5]);
    x6 = std::uint8_t(x6 + k[6]);
    x7 ^= k[7];
    x0 = std::uint8_t(exp[x0] + k[8]);
    x1 = std::uint8_t(log[x1] ^ k[9]);
    x2 = std::uint8_t(log[x2] ^ k[10]);
    x3 = std::uint8_t(exp[x3] + k[11]);
    x4 = std::uint8_t(exp[x4] + k[12]);
    x5 = std::uint8_t(log[x5] ^ k[13]);
    x6 = std::uint8_t(log[x6] ^ k[14]);
    x7 = std::uint8_t(exp[x7] + k[15]);
    Pht(x0, x1);
    Pht(x2, x3);
    Pht(x4, x5);
    Pht(x6, x7);
    Pht(x0, x2);
    Pht(x4, x6);
    Pht(x1, x3);
    Pht(x5, x7);
    Pht(x0, x4);
    Pht(x1, x5);
    Pht(x2, x6);
    Pht(x3, x7);
    // Reorder to (x0, x4, x1, x5, x2, x6, x3, x7).
    const std::uint8_t t1 = x1, t2 = x2, t3 = x3;
    x1 = x4;
    x2 = t1;
    x3 = x5;
    x4 = t2;
    x5 = x6;
    x6 = t3;
  }
  block[0] = std::uint8_t(x0 ^ k[0]);
  block[1] = std::uint8_t(x1 + k[1]);
  block[2] = std::uint8_t(x2 + k[2]);
  block[3] = std::uint8_t(x3 ^ k[3]);
  block[4] = std::uint8_t(x4 ^ k[4]);
  block[5] = std::uint8_t(x5 + k[5]);
  block[6] = std::uint8_t(x6 + k[6]);
  block[7] = std::uint8_t(x7 ^ k[7]);
}
}  // namespace

void TCipher_SAFER::EncryptBlock(std::uint8_t* block) { SaferEncrypt(Schedule(), scheduledRounds_, block); }

// The serial modes with the block as one 64-bit value in a register between the blocks.
bool TCipher_SAFER::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                 std::uint8_t* f, std::uint8_t* s) {
  const std::uint8_t* schedule = Schedule();
  const std::int32_t rounds = scheduledRounds_;
  return ChainEncrypt<ChainBlockLE64>(
      mode, source, dest, n, f, s, [ schedule, rounds ](std::uint64_t v) __attribute__((always_inline)) {
        std::uint8_t b[8];
        StoreLE64(b, v);
        SaferEncrypt(schedule, rounds, b);
        return LoadLE64(b);
      });
}

// The inverse round names the bytes instead of moving them: the reordering (x0, x4, x1, x5, x2,
// x6, x3, x7) is undone by reading the inverse transforms' operands from the bytes where the
// round put them.
namespace {
[[gnu::always_inline]] inline void SaferDecrypt(const std::uint8_t* s, std::int32_t rounds, std::uint8_t* block) {
  const std::uint8_t* exp = s + kSaferExpOffset;
  const std::uint8_t* log = s + kSaferLogOffset;
  const std::uint8_t* const first = s + kSaferKeyOffset;
  const std::uint8_t* k = first + 16 * rounds;  // subkey 2R+1; the pointer is the loop counter
  Lane x0 = block[0] ^ Lane(k[0]), x1 = block[1] - Lane(k[1]);
  Lane x2 = block[2] - Lane(k[2]), x3 = block[3] ^ Lane(k[3]);
  Lane x4 = block[4] ^ Lane(k[4]), x5 = block[5] - Lane(k[5]);
  Lane x6 = block[6] - Lane(k[6]), x7 = block[7] ^ Lane(k[7]);
  while (k != first) {
    k -= 16;  // subkey 2r-1 at k, subkey 2r at k + 8
    // x0..x7 hold the round's bytes 0, 4, 1, 5, 2, 6, 3, 7: the three transform layers are undone
    // on those names, last layer first.
    InversePht(x0, x1);
    InversePht(x2, x3);
    InversePht(x4, x5);
    InversePht(x6, x7);
    InversePht(x0, x4);
    InversePht(x1, x5);
    InversePht(x2, x6);
    InversePht(x3, x7);
    InversePht(x0, x2);
    InversePht(x4, x6);
    InversePht(x1, x3);
    InversePht(x5, x7);
    // The round's bytes 0..7 are now x0, x2, x4, x6, x1, x3, x5, x7.
    const Lane y0 = log[(x0 - k[8]) & 0xFF], y1 = exp[(x2 ^ k[9]) & 0xFF];
    const Lane y2 = exp[(x4 ^ k[10]) & 0xFF], y3 = log[(x6 - k[11]) & 0xFF];
    const Lane y4 = log[(x1 - k[12]) & 0xFF], y5 = exp[(x3 ^ k[13]) & 0xFF];
    const Lane y6 = exp[(x5 ^ k[14]) & 0xFF], y7 = log[(x7 - k[15]) & 0xFF];
    x0 = y0 ^ k[0];
    x1 = y1 - k[1];
    x2 = y2 - k[2];
    x3 = y3 ^ k[3];
    x4 = y4 ^ k[4];
    x5 = y5 - k[5];
    x6 = y6 - k[6];
    x7 = y7 ^ k[7];
  }
  block[0] = std::uint8_t(x0);
  block[1] = std::uint8_t(x1);
  block[2] = std::uint8_t(x2);
  block[3] = std::uint8_t(x3);
  block[4] = std::uint8_t(x4);
  block[5] = std::uint8_t(x5);
  block[6] = std::uint8_t(x6);
  block[7] = std::uint8_t(x7);
}
}  // namespace

void TCipher_SAFER::DecryptBlock(std::uint8_t* block) { SaferDecrypt(Schedule(), scheduledRounds_, block); }

// The blocks one after another with the block routines inlined (no call per block).
void TCipher_SAFER::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint8_t* s = Schedule();
  for (; n != 0; --n, blocks += 8) SaferEncrypt(s, scheduledRounds_, blocks);
}

void TCipher_SAFER::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint8_t* s = Schedule();
  for (; n != 0; --n, blocks += 8) SaferDecrypt(s, scheduledRounds_, blocks);
}


CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER, TCipher, 8, 16, 768, kSaferKnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_K40, TCipher_SAFER, 8, 5, 768, kSaferK40KnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_SK40, TCipher_SAFER_K40, 8, 5, 768, kSaferSK40KnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_K64, TCipher_SAFER, 8, 8, 768, kSaferK64KnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_SK64, TCipher_SAFER_K64, 8, 8, 768, kSaferSK64KnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_K128, TCipher_SAFER, 8, 16, 768, kSaferK128KnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_SAFER_SK128, TCipher_SAFER_K128, 8, 16, 768, kSaferSK128KnownAnswer)

}  // namespace corvane
