// The TEA pair's lane kernel, written once over the vector type W: a vector of y words and one of
// z words for sizeof(W) / 4 blocks, two such pairs at a time. Included only by the files of the
// lane paths, each built for its own instruction set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/ciphers/tea_cycles.h"
#include "cipher/cpu/lanes.h"

namespace corvane::tea_lanes {

// Splits the words of 2L blocks (little-endian y, z pairs) into the y and z lanes and back.
template <class W>
[[gnu::always_inline]] inline void Split(const std::uint8_t* p, W& y, W& z) {
  constexpr int L = sizeof(W) / 4;
  W a, b;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, p + sizeof a, sizeof b);
  if constexpr (L == 4) {
    y = CORVANE_SHUFFLE(a, b, U32x4, 0, 2, 4, 6);
    z = CORVANE_SHUFFLE(a, b, U32x4, 1, 3, 5, 7);
  } else {
    y = CORVANE_SHUFFLE(a, b, U32x8, 0, 2, 4, 6, 8, 10, 12, 14);
    z = CORVANE_SHUFFLE(a, b, U32x8, 1, 3, 5, 7, 9, 11, 13, 15);
  }
}

template <class W>
[[gnu::always_inline]] inline void Join(std::uint8_t* p, W y, W z) {
  constexpr int L = sizeof(W) / 4;
  W a, b;
  if constexpr (L == 4) {
    a = CORVANE_SHUFFLE(y, z, U32x4, 0, 4, 1, 5);
    b = CORVANE_SHUFFLE(y, z, U32x4, 2, 6, 3, 7);
  } else {
    a = CORVANE_SHUFFLE(y, z, U32x8, 0, 8, 1, 9, 2, 10, 3, 11);
    b = CORVANE_SHUFFLE(y, z, U32x8, 4, 12, 5, 13, 6, 14, 7, 15);
  }
  std::memcpy(p, &a, sizeof a);
  std::memcpy(p + sizeof a, &b, sizeof b);
}

// Two vectors that go through the cycles side by side: two independent chains overlap. Every
// helper is always inlined (also without optimisation), so that no copy of it built for one
// instruction set is shared with the file of another.
template <class W>
struct Two {
  W a, b;
  [[gnu::always_inline]] friend Two operator+(Two x, Two y) { return {x.a + y.a, x.b + y.b}; }
  [[gnu::always_inline]] friend Two operator-(Two x, Two y) { return {x.a - y.a, x.b - y.b}; }
  [[gnu::always_inline]] friend Two operator^(Two x, Two y) { return {x.a ^ y.a, x.b ^ y.b}; }
  [[gnu::always_inline]] friend Two operator<<(Two x, int s) { return {x.a << s, x.b << s}; }
  [[gnu::always_inline]] friend Two operator>>(Two x, int s) { return {x.a >> s, x.b >> s}; }
  [[gnu::always_inline]] Two& operator+=(Two y) { return *this = *this + y; }
  [[gnu::always_inline]] Two& operator-=(Two y) { return *this = *this - y; }
};

// Groups of 2 * lanes blocks; gives the number of blocks done.
template <bool Extended, bool Encrypt, class W>
[[gnu::always_inline]] inline std::size_t CycleGroups(const std::uint32_t (&k)[4], std::int32_t rounds,
                                                      std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kLanes = sizeof(W) / 4, kGroup = 2 * kLanes;
  const std::size_t groups = n / kGroup;
  for (std::size_t g = 0; g < groups; ++g, p += 8 * kGroup) {
    Two<W> y, z;
    Split(p, y.a, z.a);
    Split(p + 8 * kLanes, y.b, z.b);
    tea_rounds::Cycles<Extended, Encrypt>(
        y, z, k, rounds, [](std::uint32_t v) __attribute__((always_inline)) {
          W w;
          for (std::size_t i = 0; i < kLanes; ++i) w[i] = v;
          return Two<W>{w, w};
        });
    Join(p, y.a, z.a);
    Join(p + 8 * kLanes, y.b, z.b);
  }
  return groups * kGroup;
}

}  // namespace corvane::tea_lanes
