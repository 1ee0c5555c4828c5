// 3-Way's round pieces, written once over the word type: the block routines run them on
// std::uint32_t words, the lane kernels (three_way_lanes128.cpp, three_way_lanes256.cpp) on
// vectors of them, one block per lane. In an anonymous namespace: every file that includes them,
// built for its own instruction set, keeps its own copy, so no copy built for one processor's
// instructions can stand in for another's.
#pragma once

#include <cstddef>
#include <cstdint>

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
  c = Rotl(c, 16) ^ Rotl(c, 8);
  return {a.a0 ^ c ^ ((a.a0 << 24) ^ (a.a0 >> 24)) ^ ((a.a1 << 8) ^ (a.a2 >> 8)),
          a.a1 ^ c ^ ((a.a1 << 24) ^ (a.a1 >> 24)) ^ ((a.a2 << 8) ^ (a.a0 >> 8)),
          a.a2 ^ c ^ ((a.a2 << 24) ^ (a.a2 >> 24)) ^ ((a.a0 << 8) ^ (a.a1 >> 8))};
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
