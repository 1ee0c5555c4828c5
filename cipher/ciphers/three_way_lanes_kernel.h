// 3-Way's lane kernel, written once over the vector type W: groups of sizeof(W) / 4 blocks, one
// per lane of 32 bits, up to four groups at once. The blocks' words go into the lanes one by one
// (12-byte blocks do not split into vectors), decryption's mu on the way in and out. Included only
// by the files of the lane paths, each built for its own instruction set (x86, so the words are
// read in place as little-endian).
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

// G groups of sizeof(W) / 4 blocks at p, their rounds interleaved, with the keys spread over the lanes.
template <class W, bool Encrypt, int G>
[[gnu::always_inline]] inline void CryptGroupsAt(const StateOf<W>* keys, std::uint8_t* p) {
  constexpr int L = sizeof(W) / 4;
  StateOf<W> a[G];
  for (int h = 0; h < G; ++h)
    for (int j = 0; j < L; ++j) {
      const std::uint8_t* q = p + 12 * (L * h + j);
      const State b = Encrypt ? LoadBlock(q) : Mu(LoadBlock(q));
      a[h].a0[j] = b.a0, a[h].a1[j] = b.a1, a[h].a2[j] = b.a2;
    }
  // The rounds stay a loop: four groups give the processor enough independent work, and the
  // body stays small enough for its caches.
  for (int r = 0; r < kRounds; ++r)
    for (int h = 0; h < G; ++h)
      a[h] = Rho(StateOf<W>{a[h].a0 ^ keys[r].a0, a[h].a1 ^ keys[r].a1, a[h].a2 ^ keys[r].a2});
  for (int h = 0; h < G; ++h) {
    a[h] = Theta(StateOf<W>{a[h].a0 ^ keys[kRounds].a0, a[h].a1 ^ keys[kRounds].a1, a[h].a2 ^ keys[kRounds].a2});
    for (int j = 0; j < L; ++j) {
      const State b{a[h].a0[j], a[h].a1[j], a[h].a2[j]};
      StoreBlock(p + 12 * (L * h + j), Encrypt ? b : Mu(b));
    }
  }
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
  // Four groups at a time while there are four: the rounds of one group are a chain of dependent
  // steps, and independent groups beside it fill the processor's idle slots.
  const std::size_t groups = n / L;
  std::size_t g = 0;
  for (; g + 4 <= groups; g += 4, p += 48 * L) CryptGroupsAt<W, Encrypt, 4>(keys, p);
  for (; g < groups; ++g, p += 12 * L) CryptGroupsAt<W, Encrypt, 1>(keys, p);
  return groups * L;
}

}  // namespace corvane::three_way_lanes
