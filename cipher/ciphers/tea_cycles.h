// The TEA pair's cycles, written once over the word type: the block routines run them on
// std::uint32_t words, the lane kernels (tea_lanes128.cpp, tea_lanes256.cpp) on vectors of them.
#pragma once

#include <cstdint>

namespace corvane::tea_rounds {

inline constexpr std::uint32_t kDelta = 0x9E3779B9u;

// The cycles of one block on y, z with the key words k and the rounds count; the same code serves
// the lanes through the operators of their vector types. broadcast gives a value in every lane;
// the keys and the running sum are held broadcast, so a cycle adds no broadcasts.
template <bool Extended, bool Encrypt, class W, class Broadcast>
[[gnu::always_inline]] inline void Cycles(W& y, W& z, const std::uint32_t (&k)[4], std::int32_t rounds,
                                          Broadcast broadcast) {
  const W key[4] = {broadcast(k[0]), broadcast(k[1]), broadcast(k[2]), broadcast(k[3])};
  const W delta = broadcast(kDelta);
  if constexpr (Encrypt) {
    std::uint32_t sum = 0;
    W s = broadcast(0);
    for (std::int32_t i = 0; i < rounds; ++i) {
      if constexpr (Extended) {
        y += ((z << 4) ^ (z >> 5)) + (z ^ s) + key[sum & 3];
        sum += kDelta, s += delta;
        z += ((y << 4) ^ (y >> 5)) + (y ^ s) + key[(sum >> 11) & 3];
      } else {
        s += delta;
        y += ((((z << 4) + key[0]) ^ z) + s) ^ ((z >> 5) + key[1]);
        z += ((((y << 4) + key[2]) ^ y) + s) ^ ((y >> 5) + key[3]);
      }
    }
  } else {
    std::uint32_t sum = kDelta * std::uint32_t(rounds);
    W s = broadcast(sum);
    for (std::int32_t i = 0; i < rounds; ++i) {
      if constexpr (Extended) {
        z -= ((y << 4) ^ (y >> 5)) + (y ^ s) + key[(sum >> 11) & 3];
        sum -= kDelta, s -= delta;
        y -= ((z << 4) ^ (z >> 5)) + (z ^ s) + key[sum & 3];
      } else {
        z -= ((((y << 4) + key[2]) ^ y) + s) ^ ((y >> 5) + key[3]);
        y -= ((((z << 4) + key[0]) ^ z) + s) ^ ((z >> 5) + key[1]);
        s -= delta;
      }
    }
  }
}

}  // namespace corvane::tea_rounds
