// CRC folding with carry-less multiplies (PCLMULQDQ). Built for it (and SSE4.1); reached only where
// the processor has it.
#include "cipher/checksums/crc_pclmul.h"

#include <immintrin.h>

namespace corvane::crc_pclmul {

namespace {

// ---- carry-less multiply folding ------------------------------------------------------------
//
// The data is taken 16 bytes at a time as a 128-bit polynomial A and folded forward: the
// accumulator times x^128 (or x^512 with four accumulators) is replaced by its two 64-bit halves
// times constants x^n mod P, which keeps it congruent to the data so far modulo P. What is left
// is a 16-byte remainder whose CRC, taken with the byte-wise table from a zero register, is the
// CRC of everything folded. So the result is the table's, bit for bit, whatever the polynomial.

// x^n mod p, p given with its top bit (degree deg), in the natural bit order (bit d is x^d).
constexpr std::uint64_t XPowMod(unsigned n, std::uint64_t p, unsigned deg) {
  std::uint64_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if ((r >> deg) & 1) r ^= p;
  }
  return r;
}
constexpr std::uint64_t Reflect64(std::uint64_t v) {
  std::uint64_t r = 0;
  for (int i = 0; i < 64; ++i)
    if ((v >> i) & 1) r |= std::uint64_t(1) << (63 - i);
  return r;
}

// The constants for one fold distance of d bits, low lane first. Reflected data (bit 0 of the
// first byte is the highest term): bit m of a 128-bit lane is x^(127-m), and a product of two
// reflected 64-bit lanes lands one place off, hence x^(n-1). Natural data: bit m is x^m.
struct FoldPair {
  std::uint64_t lo, hi;
};
constexpr FoldPair ReflectedFold(unsigned d, std::uint64_t p, unsigned deg) {
  return {Reflect64(XPowMod(d + 63, p, deg)), Reflect64(XPowMod(d - 1, p, deg))};
}
constexpr FoldPair NaturalFold(unsigned d, std::uint64_t p, unsigned deg) {
  return {XPowMod(d, p, deg), XPowMod(d + 64, p, deg)};
}
struct FoldConstants {
  FoldPair by512, by128;
};
constexpr FoldConstants kCrc32Fold{ReflectedFold(512, 0x104C11DB7u, 32), ReflectedFold(128, 0x104C11DB7u, 32)};
constexpr FoldConstants kCrc16Fold{ReflectedFold(512, 0x18005u, 16), ReflectedFold(128, 0x18005u, 16)};
constexpr FoldConstants kCcittFold{NaturalFold(512, 0x11021u, 16), NaturalFold(128, 0x11021u, 16)};

[[gnu::always_inline]] inline __m128i FoldLoad(const std::uint8_t* p, bool natural) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return natural ? _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)) : x;
}

[[gnu::always_inline]] inline __m128i Fold(__m128i acc, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11));
}

// Folds blocks (at least one) 16-byte blocks at p, with init XORed into the first, and gives
// the remainder's 16 bytes in data order at out.
template <bool Natural>
[[gnu::always_inline]] inline void FoldBlocks(const std::uint8_t* p, std::size_t blocks, __m128i init,
                                              const FoldConstants& c, std::uint8_t* out) {
  const __m128i k128 = _mm_set_epi64x(std::int64_t(c.by128.hi), std::int64_t(c.by128.lo));
  __m128i x;
  if (blocks >= 8) {
    const __m128i k512 = _mm_set_epi64x(std::int64_t(c.by512.hi), std::int64_t(c.by512.lo));
    __m128i x0 = _mm_xor_si128(FoldLoad(p, Natural), init), x1 = FoldLoad(p + 16, Natural);
    __m128i x2 = FoldLoad(p + 32, Natural), x3 = FoldLoad(p + 48, Natural);
    p += 64;
    blocks -= 4;
    for (; blocks >= 4; p += 64, blocks -= 4) {
      x0 = _mm_xor_si128(Fold(x0, k512), FoldLoad(p, Natural));
      x1 = _mm_xor_si128(Fold(x1, k512), FoldLoad(p + 16, Natural));
      x2 = _mm_xor_si128(Fold(x2, k512), FoldLoad(p + 32, Natural));
      x3 = _mm_xor_si128(Fold(x3, k512), FoldLoad(p + 48, Natural));
    }
    x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
  } else {
    x = _mm_xor_si128(FoldLoad(p, Natural), init);
    p += 16;
    --blocks;
  }
  for (; blocks > 0; p += 16, --blocks) x = _mm_xor_si128(Fold(x, k128), FoldLoad(p, Natural));
  if (Natural) x = _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
}

// The byte-wise updates with the caller's tables, for the remainder and the tail.
template <class T, class Table>
[[gnu::always_inline]] inline T ReflectedBytes(T crc, const std::uint8_t* p, std::size_t n, const Table* t) {
  for (std::size_t i = 0; i < n; ++i) crc = T((crc >> 8) ^ t[(crc ^ p[i]) & 0xFF]);
  return crc;
}
[[gnu::always_inline]] inline std::uint16_t ShiftInBytes(std::uint16_t crc, const std::uint8_t* p, std::size_t n,
                                                         const std::uint16_t* t) {
  for (std::size_t i = 0; i < n; ++i) crc = std::uint16_t(((unsigned(crc) << 8) | p[i]) ^ t[crc >> 8]);
  return crc;
}

}  // namespace

// Reflected CRCs: the register enters as the first bytes of the data.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n, const std::uint32_t* table) {
  std::uint8_t rest[16];
  FoldBlocks<false>(p, n / 16, _mm_cvtsi32_si128(int(crc)), kCrc32Fold, rest);
  return ReflectedBytes(ReflectedBytes(std::uint32_t(0), rest, 16, table), p + (n & ~std::size_t(15)), n & 15,
                        table);
}

std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* p, std::size_t n, const std::uint16_t* table) {
  std::uint8_t rest[16];
  FoldBlocks<false>(p, n / 16, _mm_cvtsi32_si128(crc), kCrc16Fold, rest);
  return ReflectedBytes(ReflectedBytes(std::uint16_t(0), rest, 16, table), p + (n & ~std::size_t(15)), n & 15,
                        table);
}

// The shift-in form: the register stands before the data, so it is folded once over the first
// block (times x^128) and added to it.
std::uint16_t Ccitt(std::uint16_t crc, const std::uint8_t* p, std::size_t n, const std::uint16_t* table) {
  std::uint8_t rest[16];
  const __m128i k128 = _mm_set_epi64x(std::int64_t(kCcittFold.by128.hi), std::int64_t(kCcittFold.by128.lo));
  const __m128i init = _mm_clmulepi64_si128(_mm_cvtsi32_si128(crc), k128, 0x00);
  FoldBlocks<true>(p, n / 16, init, kCcittFold, rest);
  return ShiftInBytes(ShiftInBytes(0, rest, 16, table), p + (n & ~std::size_t(15)), n & 15, table);
}

}  // namespace corvane::crc_pclmul
