// SHA and SHA-1 compression with the processor's SHA instructions. Built for them (and SSE4.1);
// reached only where the processor has them.
#include "cipher/hashes/sha1_shani.h"

#include <immintrin.h>

#include <cstring>

namespace corvane::sha_ni {

namespace {

// The next four schedule words from the four before them (lanes hold the words in reverse
// order: lane 3 is the earliest). SHA-1: the processor's two schedule steps. SHA: the first
// step is a plain XOR and serves as it is; the word three back is XORed in by hand, without
// the rotation (the fourth word needs the first word of the same group).
template <bool Rotate>
[[gnu::always_inline]] inline __m128i ShaNiNext(__m128i w16, __m128i w12, __m128i w8, __m128i w4) {
  const __m128i x = _mm_xor_si128(_mm_sha1msg1_epu32(w16, w12), w8);
  if constexpr (Rotate) {
    return _mm_sha1msg2_epu32(x, w4);
  } else {
    const __m128i y = _mm_xor_si128(x, _mm_slli_si128(w4, 4));
    return _mm_xor_si128(y, _mm_srli_si128(y, 12));
  }
}

}  // namespace

// Whole blocks with the SHA instructions; the five words stay in registers between blocks. The
// words are loaded from and stored to the state's byte view (little-endian words) as one 16-byte
// piece and one word, the same pieces as every store to it before a compression, so the loads
// take their bytes straight from those stores.
template <bool Rotate>
void Compress(std::uint8_t* state, const std::uint8_t* data, std::size_t blocks) {
  const __m128i order = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  std::uint32_t e;
  std::memcpy(&e, state + 16, 4);
  __m128i e0 = _mm_set_epi32(int(e), 0, 0, 0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abcdBefore = abcd, eBefore = e0;
    // Spelled out: as a loop the four words go through the stack before the first steps.
    __m128i m[4];
    m[0] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), order);
    m[1] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16)), order);
    m[2] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 32)), order);
    m[3] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 48)), order);
    __m128i prev = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e0, m[0]), 0);
// clang-format off
#define SHA_NI_GROUP(g)                                                                    \
  {                                                                                        \
    if ((g) >= 4) m[(g) % 4] = ShaNiNext<Rotate>(m[(g) % 4], m[((g) + 1) % 4], m[((g) + 2) % 4], m[((g) + 3) % 4]); \
    const __m128i e = _mm_sha1nexte_epu32(prev, m[(g) % 4]);                                \
    prev = abcd;                                                                           \
    abcd = _mm_sha1rnds4_epu32(abcd, e, (g) / 5);                                          \
  }
    SHA_NI_GROUP(1) SHA_NI_GROUP(2) SHA_NI_GROUP(3) SHA_NI_GROUP(4) SHA_NI_GROUP(5)
    SHA_NI_GROUP(6) SHA_NI_GROUP(7) SHA_NI_GROUP(8) SHA_NI_GROUP(9) SHA_NI_GROUP(10)
    SHA_NI_GROUP(11) SHA_NI_GROUP(12) SHA_NI_GROUP(13) SHA_NI_GROUP(14) SHA_NI_GROUP(15)
    SHA_NI_GROUP(16) SHA_NI_GROUP(17) SHA_NI_GROUP(18) SHA_NI_GROUP(19)
#undef SHA_NI_GROUP
        // clang-format on
        e0 = _mm_sha1nexte_epu32(prev, eBefore);
    abcd = _mm_add_epi32(abcd, abcdBefore);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  e = std::uint32_t(_mm_extract_epi32(e0, 3));
  std::memcpy(state + 16, &e, 4);
}

template void Compress<true>(std::uint8_t*, const std::uint8_t*, std::size_t);
template void Compress<false>(std::uint8_t*, const std::uint8_t*, std::size_t);

}  // namespace corvane::sha_ni
