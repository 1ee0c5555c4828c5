// 3-Way's round pieces, written once over the word type: the block routines run them on
// std::uint32_t words, the lane kernels (three_way_lanes128.cpp, three_way_lanes256.cpp) on
// vectors of them, one block per lane. In an anonymous namespace: every file that includes them,
// built for its own instruction set, keeps its own copy, so no copy built for one processor's
// instructions can stand in for another's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#if defined(__AVX2__)
#include <immintrin.h>

#include "cipher/cpu/lanes.h"
#endif

namespace corvane::three_way_rounds {
namespace {

constexpr int kRounds = 11;
// Schedule layout in words: key, encryption constants, decryption key, decryption constants.
constexpr std::size_t kKey = 0, kEncConst = 3, kDecKey = 15, kDecConst = 18;

// Reverses the bits of a word: bit pairs, nibble pairs and bit pairs of nibbles exchanged by
// masks, then the bytes by the byte swap.
constexpr std::uint32_t Reverse32(std::uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  return __builtin_bswap32(v);
}
static_assert(Reverse32(0x00000001u) == 0x80000000u && Reverse32(0x12345678u) == 0x1E6A2C48u);

// The state of one block in three locals (kept out of memory, so the compiler need not assume
// that a store to one word changes another). With W a vector of words, the state of several
// blocks, one per lane: gamma, theta and rho below serve both.
template <class W>
struct StateOf {
  W a0, a1, a2;
};
using State = StateOf<std::uint32_t>;

template <class W>
[[gnu::always_inline]] inline W Rotl(W v, int s) {
  return (v << s) | (v >> (32 - s));
}

#if defined(__AVX2__)
// Byte b of each 32-bit word of v in 256-bit lanes becomes byte From[b] of the same word, or zero
// where From[b] is -1: one byte shuffle.
template <int... From>
[[gnu::always_inline]] inline U32x8 WordBytes(U32x8 v) {
  static constexpr std::array<int, 4> kFrom{From...};
  alignas(32) static constexpr std::array<signed char, 32> kIndex = [] {
    std::array<signed char, 32> index{};
    for (int i = 0; i < 32; ++i)
      index[i] = kFrom[i % 4] < 0 ? -128 : static_cast<signed char>((i % 16) / 4 * 4 + kFrom[i % 4]);
    return index;
  }();
  const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(kIndex.data()));
  return reinterpret_cast<U32x8>(_mm256_shuffle_epi8(reinterpret_cast<__m256i>(v), mask));
}
#endif

// Rotation left by whole bytes; in 256-bit lanes one byte shuffle instead of two shifts and an or.
template <int Bytes, class W>
[[gnu::always_inline]] inline W RotlBytes(W v) {
  static_assert(Bytes == 1 || Bytes == 2);
#if defined(__AVX2__)
  if constexpr (sizeof(W) == 32) {
    if constexpr (Bytes == 1)
      return WordBytes<3, 0, 1, 2>(v);
    else
      return WordBytes<2, 3, 0, 1>(v);
  }
#endif
  return Rotl(v, 8 * Bytes);
}

// The outer bytes of each word exchanged and its middle bytes cleared, (v << 24) ^ (v >> 24); in
// 256-bit lanes one byte shuffle instead of two shifts and a xor.
template <class W>
[[gnu::always_inline]] inline W OuterBytesExchanged(W v) {
#if defined(__AVX2__)
  if constexpr (sizeof(W) == 32) return WordBytes<3, -1, -1, 0>(v);
#endif
  return (v << 24) ^ (v >> 24);
}

// Reverses the order of all 96 bits: word 0 and word 2 trade places, each bit-reversed.
[[gnu::always_inline]] inline State Mu(State a) { return {Reverse32(a.a2), Reverse32(a.a1), Reverse32(a.a0)}; }

template <class W>
[[gnu::always_inline]] inline StateOf<W> Gamma(StateOf<W> a) {
  return {a.a0 ^ (a.a1 | ~a.a2), a.a1 ^ (a.a2 | ~a.a0), a.a2 ^ (a.a0 | ~a.a1)};
}

// theta: every output word is its input word XOR rot16(c) XOR rot8(c), with c the XOR of all three
// words, XOR four byte-shifted terms of its own and its neighbours' words. (The published form
// lists thirteen shifted terms per word; the rotations gather the terms common to all three.)
template <class W>
[[gnu::always_inline]] inline StateOf<W> Theta(StateOf<W> a) {
  W c = a.a0 ^ a.a1 ^ a.a2;
  c = RotlBytes<2>(c) ^ RotlBytes<1>(c);
  return {a.a0 ^ c ^ OuterBytesExchanged(a.a0) ^ ((a.a1 << 8) ^ (a.a2 >> 8)),
          a.a1 ^ c ^ OuterBytesExchanged(a.a1) ^ ((a.a2 << 8) ^ (a.a0 >> 8)),
          a.a2 ^ c ^ OuterBytesExchanged(a.a2) ^ ((a.a0 << 8) ^ (a.a1 >> 8))};
}

template <class W>
[[gnu::always_inline]] inline StateOf<W> Rho(StateOf<W> a) {
  a = Theta(a);
  a.a0 = Rotl(a.a0, 22);  // pi-1: right by 10
  a.a2 = Rotl(a.a2, 1);
  a = Gamma(a);
  a.a0 = Rotl(a.a0, 1);  // pi-2
  a.a2 = Rotl(a.a2, 22);
  return a;
}

}  // namespace
}  // namespace corvane::three_way_rounds
