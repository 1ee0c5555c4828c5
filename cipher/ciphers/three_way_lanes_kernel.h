// 3-Way's lane kernel, written once over the vector type W: sizeof(W) / 4 blocks at a time, one
// per lane of 32 bits. The blocks' words go into the lanes one by one (12-byte blocks do not split
// into vectors), decryption's mu on the way in and out. Included only by the files of the lane
// paths, each built for its own instruction set (x86, so the words are read in place as
// little-endian).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/ciphers/three_way_rounds.h"
#include "cipher/cpu/lanes.h"

namespace corvane::three_way_lanes {

using namespace three_way_rounds;

[[gnu::always_inline]] inline State LoadBlock(const std::uint8_t* p) {
  State a;
  std::memcpy(&a.a0, p, 4);
  std::memcpy(&a.a1, p + 4, 4);
  std::memcpy(&a.a2, p + 8, 4);
  return a;
}

[[gnu::always_inline]] inline void StoreBlock(std::uint8_t* p, State a) {
  std::memcpy(p, &a.a0, 4);
  std::memcpy(p + 4, &a.a1, 4);
  std::memcpy(p + 8, &a.a2, 4);
}

template <class W, bool Encrypt>
[[gnu::always_inline]] inline std::size_t CryptGroups(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  constexpr int L = sizeof(W) / 4;
  const std::uint32_t* k = s + (Encrypt ? kKey : kDecKey);
  const std::uint32_t* rc = s + (Encrypt ? kEncConst : kDecConst);
  // Every helper is always inlined (also without optimisation), so that no copy of it built for
  // one instruction set is shared with the file of another.
  auto broadcast = [](std::uint32_t v) __attribute__((always_inline)) {
    W w;
    for (int i = 0; i < L; ++i) w[i] = v;
    return w;
  };
  StateOf<W> keys[kRounds + 1];
  for (int r = 0; r <= kRounds; ++r)
    keys[r] = {broadcast(k[0] ^ (rc[r] << 16)), broadcast(k[1]), broadcast(k[2] ^ rc[r])};
  const std::size_t groups = n / L;
  for (std::size_t g = 0; g < groups; ++g, p += 12 * L) {
    StateOf<W> a;
    for (int j = 0; j < L; ++j) {
      const State b = Encrypt ? LoadBlock(p + 12 * j) : Mu(LoadBlock(p + 12 * j));
      a.a0[j] = b.a0, a.a1[j] = b.a1, a.a2[j] = b.a2;
    }
#pragma GCC unroll 11
    for (int r = 0; r < kRounds; ++r) a = Rho(StateOf<W>{a.a0 ^ keys[r].a0, a.a1 ^ keys[r].a1, a.a2 ^ keys[r].a2});
    a = Theta(StateOf<W>{a.a0 ^ keys[kRounds].a0, a.a1 ^ keys[kRounds].a1, a.a2 ^ keys[kRounds].a2});
    for (int j = 0; j < L; ++j) {
      const State b{a.a0[j], a.a1[j], a.a2[j]};
      StoreBlock(p + 12 * j, Encrypt ? b : Mu(b));
    }
  }
  return groups * L;
}

}  // namespace corvane::three_way_lanes
