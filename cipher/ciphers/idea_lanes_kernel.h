// The IDEA lane kernel, written once over the operations of a lane width: each vector holds one
// of the four 16-bit words of O::kBlocks blocks. Included only by the files of the lane paths,
// each with an operations struct of its own instruction set (in its anonymous namespace, so every
// instantiation is that file's own).
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::idea_lanes {

inline constexpr int kSubkeys = 52;

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
  const V a0 = O::Load(p), a1 = O::Load(p + sizeof(V)), a2 = O::Load(p + 2 * sizeof(V)),
          a3 = O::Load(p + 3 * sizeof(V));
  const V t0 = O::Unpack16Lo(a0, a1), t1 = O::Unpack16Hi(a0, a1), t2 = O::Unpack16Lo(a2, a3),
          t3 = O::Unpack16Hi(a2, a3);
  const V u0 = O::Unpack16Lo(t0, t1), u1 = O::Unpack16Hi(t0, t1), u2 = O::Unpack16Lo(t2, t3),
          u3 = O::Unpack16Hi(t2, t3);
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
  const V v0 = O::Unpack16Lo(y1, y2), v1 = O::Unpack16Hi(y1, y2), v2 = O::Unpack16Lo(y3, y4),
          v3 = O::Unpack16Hi(y3, y4);
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

}  // namespace corvane::idea_lanes
