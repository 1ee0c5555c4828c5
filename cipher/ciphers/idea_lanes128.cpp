// IDEA in 128-bit lanes (SSE2): 8 blocks at a time.
#include <immintrin.h>

#include "cipher/ciphers/idea_lanes.h"
#include "cipher/ciphers/idea_lanes_kernel.h"

namespace corvane::idea_lanes {

namespace {

struct Lanes128 {
  using V = __m128i;
  static constexpr int kBlocks = int(kGroup128);
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

}  // namespace

[[gnu::flatten]] std::size_t Crypt128(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  return CryptGroups<Lanes128>(z, p, n);
}

}  // namespace corvane::idea_lanes
