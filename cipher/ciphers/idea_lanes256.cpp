// IDEA in 256-bit lanes (AVX2): 16 blocks at a time. Built for AVX2; reached only where the
// processor has it.
#include <immintrin.h>

#include "cipher/ciphers/idea_lanes.h"
#include "cipher/ciphers/idea_lanes_kernel.h"

namespace corvane::idea_lanes {

namespace {

struct Lanes256 {
  using V = __m256i;
  static constexpr int kBlocks = int(kGroup256);
  static V Set(std::uint16_t k) { return _mm256_set1_epi16(short(k)); }
  static V Zero() { return _mm256_setzero_si256(); }
  static V Add(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Sub(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }  // ~a & b
  static V Equal(V a, V b) { return _mm256_cmpeq_epi16(a, b); }
  static V MulLo(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V MulHi(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  static V SubSaturated(V a, V b) { return _mm256_subs_epu16(a, b); }
  static V SwapBytes(V a) { return _mm256_or_si256(_mm256_slli_epi16(a, 8), _mm256_srli_epi16(a, 8)); }
  static V Load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void Store(std::uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  // The unpacks work within each 128-bit half, so each half transposes its own blocks.
  static V Unpack16Lo(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static V Unpack16Hi(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static V Unpack32Lo(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  static V Unpack32Hi(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  static V Unpack64Lo(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  static V Unpack64Hi(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
};

}  // namespace

[[gnu::flatten]] std::size_t Crypt256(const std::uint16_t* z, std::uint8_t* p, std::size_t n) {
  return CryptGroups<Lanes256>(z, p, n);
}

}  // namespace corvane::idea_lanes
