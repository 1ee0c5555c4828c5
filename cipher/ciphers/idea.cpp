// IDEA block cipher.
#include "cipher/ciphers/idea.h"

#include <cstring>

#include "cipher/base/support.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define CORVANE_IDEA_LANES 1
#include <immintrin.h>
#if !defined(__clang__)
// The 256-bit kernel relies on GCC inlining the AVX2 operations into the AVX2 entry only; clang
// refuses 256-bit values in the shared kernel, so a clang build keeps the 128-bit lanes.
#define CORVANE_IDEA_LANES256 1
#endif
// The lane helpers pass 256-bit vectors by value; they are only ever inlined into the AVX2
// entries, so the ABI note about such arguments concerns no real call.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace corvane {

namespace {

constexpr std::uint8_t kIdeaKnownAnswer[32] = {
    0x8C, 0x65, 0xCA, 0xD8, 0x43, 0xE7, 0x99, 0x93, 0xED, 0x41, 0xEA, 0x48, 0xFD, 0x66, 0x50, 0x94,
    0xA2, 0x25, 0x6D, 0xD7, 0xB1, 0xD0, 0x9A, 0x23, 0x3D, 0xD2, 0xE8, 0xEC, 0xC9, 0x45, 0x7F, 0x7E};

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
  auto round = [](std::uint32_t& x1, std::uint32_t& x2, std::uint32_t& x3, std::uint32_t& x4,
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
  auto out = [z](std::uint32_t x1, std::uint32_t x2, std::uint32_t x3, std::uint32_t x4) __attribute__((always_inline)) {
    return (std::uint64_t(MulMod(x1, z[48])) << 48) | (std::uint64_t(std::uint16_t(x3 + z[49])) << 32) |
           (std::uint64_t(std::uint16_t(x2 + z[50])) << 16) | std::uint64_t(MulMod(x4, z[51]));
  };
  ChainBlockBE64::Store(blocks, out(a1, a2, a3, a4));
  ChainBlockBE64::Store(blocks + 8, out(b1, b2, b3, b4));
}

#if CORVANE_IDEA_LANES
// Several blocks at once in vector lanes: each vector holds one of the four 16-bit words of 8
// blocks (128-bit vectors) or 16 blocks (256-bit, AVX2). The kernel is written once over the
// operations of a lane width; the AVX2 operations carry their target attribute and are inlined
// into the AVX2 entry, which alone calls the kernel with them.

struct Lanes128 {
  using V = __m128i;
  static constexpr int kBlocks = 8;
  static V Set(std::uint16_t k) { return _mm_set1_epi16(short(k)); }
  static V Zero() { return _mm_setzero_si128(); }
  static V Add(V a, V b) { return _mm_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm_sub_epi16(a, b); }
  static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static V Equal(V a, V b) { return _mm_cmpeq_epi16(a, b); }
  static V MulLo(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V MulHi(V a, V b) { return _mm_mulhi_epu16(a, b); }
  static V SubSaturated(V a, V b) { return _mm_subs_epu16(a, b); }
  static V SwapBytes(V a) { return _mm_or_si128(_mm_slli_epi16(a, 8), _mm_srli_epi16(a, 8)); }
  static V Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void Store(std::uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V Unpack16Lo(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V Unpack16Hi(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V Unpack32Lo(V a, V b) { return _mm_unpacklo_epi32(a, b); }
  static V Unpack32Hi(V a, V b) { return _mm_unpackhi_epi32(a, b); }
  static V Unpack64Lo(V a, V b) { return _mm_unpacklo_epi64(a, b); }
  static V Unpack64Hi(V a, V b) { return _mm_unpackhi_epi64(a, b); }
};

#if CORVANE_IDEA_LANES256
#define CORVANE_AVX2 [[gnu::target("avx2")]]
struct Lanes256 {
  using V = __m256i;
  static constexpr int kBlocks = 16;
  CORVANE_AVX2 static V Set(std::uint16_t k) { return _mm256_set1_epi16(short(k)); }
  CORVANE_AVX2 static V Zero() { return _mm256_setzero_si256(); }
  CORVANE_AVX2 static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  CORVANE_AVX2 static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  CORVANE_AVX2 static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  CORVANE_AVX2 static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  CORVANE_AVX2 static V And(V a, V b) { return _mm256_and_si256(a, b); }
  CORVANE_AVX2 static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  CORVANE_AVX2 static V Equal(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  CORVANE_AVX2 static V MulLo(V a, V b) { return _mm256_mullo_epi16(a, b); }
  CORVANE_AVX2 static V MulHi(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  CORVANE_AVX2 static V SubSaturated(V a, V b) { return _mm256_subs_epu16(a, b); }
  CORVANE_AVX2 static V SwapBytes(V a) { return _mm256_or_si256(_mm256_slli_epi16(a, 8), _mm256_srli_epi16(a, 8)); }
  CORVANE_AVX2 static V Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  CORVANE_AVX2 static void Store(std::uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  // The unpacks work within each 128-bit half, so each half transposes its own blocks.
  CORVANE_AVX2 static V Unpack16Lo(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  CORVANE_AVX2 static V Unpack16Hi(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  CORVANE_AVX2 static V Unpack32Lo(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  CORVANE_AVX2 static V Unpack32Hi(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  CORVANE_AVX2 static V Unpack64Lo(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  CORVANE_AVX2 static V Unpack64Hi(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
};
#undef CORVANE_AVX2
#endif

// Multiplication modulo 65537 in every lane: lo - hi, plus 1 where lo < hi; where an operand is 0
// (standing for 65536), 1 - x - k.
template <class O>
[[gnu::always_inline]] inline typename O::V MulLanes(typename O::V x, typename O::V k, typename O::V one) {
  using V = typename O::V;
  const V zero = O::Zero();
  const V lo = O::MulLo(x, k), hi = O::MulHi(x, k);
  const V hiNotAbove = O::Equal(O::SubSaturated(hi, lo), zero);  // all ones where hi <= lo
  const V product = O::Add(O::Add(O::Sub(lo, hi), one), hiNotAbove);
  const V anyZero = O::Or(O::Equal(x, zero), O::Equal(k, zero));
  return O::Or(O::And(anyZero, O::Sub(O::Sub(one, x), k)), O::AndNot(anyZero, product));
}

// O::kBlocks blocks at p through the eight rounds and the output transformation; key[i] holds
// subkey i in every lane.
template <class O>
[[gnu::always_inline]] inline void CryptLanes(const typename O::V* key, std::uint8_t* p) {
  using V = typename O::V;
  const V one = O::Set(1);
  // Four vectors of two blocks each (per 128-bit half) to four vectors of one word each.
  const V a0 = O::Load(p), a1 = O::Load(p + sizeof(V)), a2 = O::Load(p + 2 * sizeof(V)), a3 = O::Load(p + 3 * sizeof(V));
  const V t0 = O::Unpack16Lo(a0, a1), t1 = O::Unpack16Hi(a0, a1), t2 = O::Unpack16Lo(a2, a3), t3 = O::Unpack16Hi(a2, a3);
  const V u0 = O::Unpack16Lo(t0, t1), u1 = O::Unpack16Hi(t0, t1), u2 = O::Unpack16Lo(t2, t3), u3 = O::Unpack16Hi(t2, t3);
  V x1 = O::SwapBytes(O::Unpack64Lo(u0, u2)), x2 = O::SwapBytes(O::Unpack64Hi(u0, u2));
  V x3 = O::SwapBytes(O::Unpack64Lo(u1, u3)), x4 = O::SwapBytes(O::Unpack64Hi(u1, u3));
#pragma GCC unroll 8
  for (int round = 0; round < 8; ++round) {
    const V* k = key + 6 * round;
    x1 = MulLanes<O>(x1, k[0], one);
    x2 = O::Add(x2, k[1]);
    x3 = O::Add(x3, k[2]);
    x4 = MulLanes<O>(x4, k[3], one);
    const V m0 = MulLanes<O>(O::Xor(x1, x3), k[4], one);
    const V m1 = MulLanes<O>(O::Add(m0, O::Xor(x2, x4)), k[5], one);
    const V m2 = O::Add(m0, m1);
    x1 = O::Xor(x1, m1);
    x4 = O::Xor(x4, m2);
    const V swap = O::Xor(x2, m2);
    x2 = O::Xor(x3, m1);
    x3 = swap;
  }
  const V y1 = O::SwapBytes(MulLanes<O>(x1, key[48], one)), y2 = O::SwapBytes(O::Add(x3, key[49]));
  const V y3 = O::SwapBytes(O::Add(x2, key[50])), y4 = O::SwapBytes(MulLanes<O>(x4, key[51], one));
  // Back to blocks: the inverse of the transposition above.
  const V v0 = O::Unpack16Lo(y1, y2), v1 = O::Unpack16Hi(y1, y2), v2 = O::Unpack16Lo(y3, y4), v3 = O::Unpack16Hi(y3, y4);
  O::Store(p, O::Unpack32Lo(v0, v2));
  O::Store(p + sizeof(V), O::Unpack32Hi(v0, v2));
  O::Store(p + 2 * sizeof(V), O::Unpack32Lo(v1, v3));
  O::Store(p + 3 * sizeof(V), O::Unpack32Hi(v1, v3));
}

// Groups of O::kBlocks blocks; gives the number of blocks done.
template <class O>
[[gnu::always_inline]] inline std::size_t CryptGroups(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  typename O::V key[kSubkeys];
  for (int i = 0; i < kSubkeys; ++i) key[i] = O::Set(z[i]);
  const std::size_t groups = n / O::kBlocks;
  for (std::size_t g = 0; g < groups; ++g, p += 8 * O::kBlocks) CryptLanes<O>(key, p);
  return groups * O::kBlocks;
}

#if CORVANE_IDEA_LANES256
[[gnu::target("avx2"), gnu::flatten]] std::size_t CryptGroups256(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  return CryptGroups<Lanes256>(z, p, n);
}
#endif

[[gnu::flatten]] std::size_t CryptGroups128(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  return CryptGroups<Lanes128>(z, p, n);
}
#endif

// n blocks with the subkeys z: whole groups in the widest lanes the active code path allows, the
// rest two blocks at a time. A group function is called only for at least one whole group: it
// first spreads all the subkeys over the lanes, which costs more than a few blocks one by one.
void CryptBlocks(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
#if CORVANE_IDEA_LANES
  switch (n < std::size_t(Lanes128::kBlocks) ? CipherCodePath::Portable : ActiveCipherCodePath()) {
    case CipherCodePath::Lanes256: {
#if CORVANE_IDEA_LANES256
      if (n >= std::size_t(Lanes256::kBlocks)) {
        const std::size_t done = CryptGroups256(z, p, n);
        p += 8 * done, n -= done;
      }
#endif
    }
      [[fallthrough]];
    case CipherCodePath::Lanes128: {
      if (n >= std::size_t(Lanes128::kBlocks)) {
        const std::size_t done = CryptGroups128(z, p, n);
        p += 8 * done, n -= done;
      }
    }
      [[fallthrough]];
    case CipherCodePath::Portable:
      break;
  }
#endif
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

void TCipher_IDEA::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
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
  StartVector(iv);
}

void TCipher_IDEA::EncryptBlock(std::uint8_t* block) { IdeaCrypt(block, ScheduleAs<std::uint16_t>()); }

void TCipher_IDEA::DecryptBlock(std::uint8_t* block) {
  IdeaCrypt(block, ScheduleAs<std::uint16_t>() + kSubkeys);
}

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
  return ChainEncrypt<ChainBlockBE64>(mode, source, dest, n, f, s, [z](std::uint64_t v) __attribute__((always_inline)) { return IdeaWords(v, z); });
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_IDEA, TCipher, 8, 16, 208, kIdeaKnownAnswer)

}  // namespace corvane
