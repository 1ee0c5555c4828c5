// IDEA block cipher.
#include "cipher/ciphers/idea.h"

#include <cstring>

#include "cipher/base/support.h"
#include "cipher/ciphers/idea_lanes.h"
#include "cipher/cpu/lanes.h"

namespace corvane {

namespace {

constexpr std::uint8_t kIdeaKnownAnswer[32] = {0x8C, 0x65, 0xCA, 0xD8, 0x43, 0xE7, 0x99, 0x93, 0xED, 0x41, 0xEA,
                                               0x48, 0xFD, 0x66, 0x50, 0x94, 0xA2, 0x25, 0x6D, 0xD7, 0xB1, 0xD0,
                                               0x9A, 0x23, 0x3D, 0xD2, 0xE8, 0xEC, 0xC9, 0x45, 0x7F, 0x7E};

constexpr int kSubkeys = 52;

// Multiplication modulo 65537, 0 standing for 65536. A product of two non-zero operands is
// never 0, so one test covers both zero operands.
inline std::uint16_t MulMod(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t p = a * b;
  if (p == 0) return std::uint16_t(1u - a - b);
  // lo - hi, plus 1 when lo < hi: then the 32-bit difference wraps and its high half is 0xFFFF.
  const std::uint32_t d = (p & 0xFFFFu) - (p >> 16);
  return std::uint16_t(d - (d >> 16));
}

// One block held as the big-endian 64-bit value of its bytes (X1 in the top 16 bits) through the
// eight rounds and the output transformation with the subkeys z[0..51].
[[gnu::always_inline]] inline std::uint64_t IdeaWords(std::uint64_t block, const std::uint16_t* z) {
  std::uint32_t x1 = std::uint32_t(block >> 48), x2 = std::uint32_t(block >> 32) & 0xFFFFu;
  std::uint32_t x3 = std::uint32_t(block >> 16) & 0xFFFFu, x4 = std::uint32_t(block) & 0xFFFFu;
#pragma GCC unroll 8
  for (int round = 0; round < 8; ++round) {
    const std::uint16_t* k = z + 6 * round;
    x1 = MulMod(x1, k[0]);
    x2 = (x2 + k[1]) & 0xFFFFu;
    x3 = (x3 + k[2]) & 0xFFFFu;
    x4 = MulMod(x4, k[3]);
    const std::uint32_t t0 = MulMod(x1 ^ x3, k[4]);
    const std::uint32_t t1 = MulMod((t0 + (x2 ^ x4)) & 0xFFFFu, k[5]);
    const std::uint32_t t2 = (t0 + t1) & 0xFFFFu;
    x1 ^= t1;
    x4 ^= t2;
    const std::uint32_t swap = x2 ^ t2;
    x2 = x3 ^ t1;
    x3 = swap;
  }
  // The output transformation undoes the exchange of the middle words of the last round.
  return (std::uint64_t(MulMod(x1, z[48])) << 48) | (std::uint64_t(std::uint16_t(x3 + z[49])) << 32) |
         (std::uint64_t(std::uint16_t(x2 + z[50])) << 16) | std::uint64_t(MulMod(x4, z[51]));
}

inline void IdeaCrypt(std::uint8_t* block, const std::uint16_t* z) {
  ChainBlockBE64::Store(block, IdeaWords(ChainBlockBE64::Load(block), z));
}

// Two independent blocks at once, round by round side by side: the processor overlaps their
// chains of multiplications, which one block alone leaves waiting on each other.
inline void IdeaCrypt2(std::uint8_t* blocks, const std::uint16_t* z) {
  const std::uint64_t a = ChainBlockBE64::Load(blocks), b = ChainBlockBE64::Load(blocks + 8);
  std::uint32_t a1 = std::uint32_t(a >> 48), a2 = std::uint32_t(a >> 32) & 0xFFFFu;
  std::uint32_t a3 = std::uint32_t(a >> 16) & 0xFFFFu, a4 = std::uint32_t(a) & 0xFFFFu;
  std::uint32_t b1 = std::uint32_t(b >> 48), b2 = std::uint32_t(b >> 32) & 0xFFFFu;
  std::uint32_t b3 = std::uint32_t(b >> 16) & 0xFFFFu, b4 = std::uint32_t(b) & 0xFFFFu;
  auto round = [](std::uint32_t & x1, std::uint32_t & x2, std::uint32_t & x3, std::uint32_t & x4,
                  const std::uint16_t* k) __attribute__((always_inline)) {
    x1 = MulMod(x1, k[0]);
    x2 = (x2 + k[1]) & 0xFFFFu;
    x3 = (x3 + k[2]) & 0xFFFFu;
    x4 = MulMod(x4, k[3]);
    const std::uint32_t t0 = MulMod(x1 ^ x3, k[4]);
    const std::uint32_t t1 = MulMod((t0 + (x2 ^ x4)) & 0xFFFFu, k[5]);
    const std::uint32_t t2 = (t0 + t1) & 0xFFFFu;
    x1 ^= t1;
    x4 ^= t2;
    const std::uint32_t swap = x2 ^ t2;
    x2 = x3 ^ t1;
    x3 = swap;
  };
#pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    round(a1, a2, a3, a4, z + 6 * r);
    round(b1, b2, b3, b4, z + 6 * r);
  }
  auto out = [z](std::uint32_t x1, std::uint32_t x2, std::uint32_t x3, std::uint32_t x4)
      __attribute__((always_inline)) {
    return (std::uint64_t(MulMod(x1, z[48])) << 48) | (std::uint64_t(std::uint16_t(x3 + z[49])) << 32) |
           (std::uint64_t(std::uint16_t(x2 + z[50])) << 16) | std::uint64_t(MulMod(x4, z[51]));
  };
  ChainBlockBE64::Store(blocks, out(a1, a2, a3, a4));
  ChainBlockBE64::Store(blocks + 8, out(b1, b2, b3, b4));
}

// n blocks with the subkeys z: whole groups in the widest lanes in use, the rest two blocks at a
// time.
void CryptBlocks(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  const std::size_t done = InWidestLanes(
      n, idea_lanes::kGroup128, idea_lanes::kGroup256,
      [z, p](std::size_t first, std::size_t count) { return idea_lanes::Crypt256(z, p + 8 * first, count); },
      [z, p](std::size_t first, std::size_t count) { return idea_lanes::Crypt128(z, p + 8 * first, count); });
  p += 8 * done, n -= done;
  for (; n >= 2; n -= 2, p += 16) IdeaCrypt2(p, z);
  if (n != 0) IdeaCrypt(p, z);
}

}  // namespace

std::uint16_t TCipher_IDEA::Mul(std::uint16_t a, std::uint16_t b) { return MulMod(a, b); }

std::uint16_t TCipher_IDEA::MulInverse(std::uint16_t x) {
  if (x <= 1) return x;
  // Extended Euclid on (65537, x): keeps t with t * x == r (mod 65537).
  std::int64_t r0 = 65537, r1 = x, t0 = 0, t1 = 1;
  while (r1 != 0) {
    const std::int64_t q = r0 / r1;
    const std::int64_t r2 = r0 - q * r1;
    r0 = r1;
    r1 = r2;
    const std::int64_t t2 = t0 - q * t1;
    t0 = t1;
    t1 = t2;
  }
  std::int64_t inv = t0 % 65537;
  if (inv < 0) inv += 65537;
  return std::uint16_t(inv);  // 65536 is stored as 0
}

void TCipher_IDEA::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  std::uint8_t* raw = Schedule();
  if (size > 0) std::memcpy(raw, key, std::size_t(size));
  std::uint16_t* z = ScheduleAs<std::uint16_t>();
  // Words 0..7: K1..K8, each big-endian in the key.
  for (int i = 0; i < 8; ++i) {
    const std::uint16_t k = LoadBE16(raw + 2 * i);
    z[i] = k;
  }
  // Each further group of eight is the previous 128 bits rotated left by 25.
  for (int n = 8; n < kSubkeys; ++n) {
    const std::uint16_t* prev = z + (n / 8 - 1) * 8;
    const int i = n % 8;
    z[n] = std::uint16_t((prev[(i + 1) % 8] << 9) | (prev[(i + 2) % 8] >> 7));
  }
  // Decryption subkeys, groups 1..9 (group 9 being the output transformation).
  std::uint16_t* d = z + kSubkeys;
  for (int r = 1; r <= 9; ++r) {
    const std::uint16_t* e = z + 6 * (9 - r);  // encryption group 10 - r
    std::uint16_t* out = d + 6 * (r - 1);
    const bool crossed = r >= 2 && r <= 8;
    out[0] = MulInverse(e[0]);
    out[1] = std::uint16_t(0u - (crossed ? e[2] : e[1]));
    out[2] = std::uint16_t(0u - (crossed ? e[1] : e[2]));
    out[3] = MulInverse(e[3]);
    if (r <= 8) {
      const std::uint16_t* round = z + 6 * (8 - r);  // encryption round 9 - r
      out[4] = round[4];
      out[5] = round[5];
    }
  }
}

void TCipher_IDEA::EncryptBlock(std::uint8_t* block) { IdeaCrypt(block, ScheduleAs<std::uint16_t>()); }

void TCipher_IDEA::DecryptBlock(std::uint8_t* block) { IdeaCrypt(block, ScheduleAs<std::uint16_t>() + kSubkeys); }

void TCipher_IDEA::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  CryptBlocks(ScheduleAs<std::uint16_t>(), blocks, n);
}

void TCipher_IDEA::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  CryptBlocks(ScheduleAs<std::uint16_t>() + kSubkeys, blocks, n);
}

// The serial modes on the block as one big-endian 64-bit value in a register.
bool TCipher_IDEA::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                std::uint8_t* f, std::uint8_t* s) {
  const std::uint16_t* z = ScheduleAs<std::uint16_t>();
  return ChainEncrypt<ChainBlockBE64>(
      mode, source, dest, n, f,
      s, [z](std::uint64_t v) __attribute__((always_inline)) { return IdeaWords(v, z); });
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_IDEA, TCipher, 8, 16, 208, kIdeaKnownAnswer)

}  // namespace corvane
