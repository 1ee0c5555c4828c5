// Vector lanes for the block routines that work on several blocks at once: the shared lane types
// and the one choice of the widest lanes in use. A family's lane kernels live in files of their
// own named for their path (ciphers/idea_lanes128.cpp, ciphers/idea_lanes256.cpp, ...), built for
// their instruction set alone and reached only through InWidestLanes, after the probe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/cpu/features.h"

namespace corvane {

// 32-bit words in 128-bit and 256-bit vectors (the compiler's vector types, so that code written
// with the operators of std::uint32_t serves them unchanged).
typedef std::uint32_t U32x4 __attribute__((vector_size(16)));
typedef std::uint32_t U32x8 __attribute__((vector_size(32)));

// The lanes of two vectors picked by constant indices (GCC and clang name the builtin apart).
#if defined(__clang__)
#define CORVANE_SHUFFLE(a, b, Mask, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define CORVANE_SHUFFLE(a, b, Mask, ...) __builtin_shuffle(a, b, Mask{__VA_ARGS__})
#endif

// The lane kernels exist only where the build has them (x86: CORVANE_X86_KERNELS).
#if defined(CORVANE_X86_KERNELS)
inline constexpr bool kLaneKernelsBuilt = true;
#else
inline constexpr bool kLaneKernelsBuilt = false;
#endif

enum class LaneWidth : std::uint8_t { kPortable = 0, k128 = 1, k256 = 2 };

// The widest lanes the features in use allow.
inline LaneWidth WidestLanes() {
  if constexpr (!kLaneKernelsBuilt) return LaneWidth::kPortable;
  const unsigned f = CpuFeaturesEnabled();
  return (f & kCpuAvx2) ? LaneWidth::k256 : (f & kCpuSse2) ? LaneWidth::k128 : LaneWidth::kPortable;
}

// Hands the leading blocks of n to a family's lane kernels, the widest in use first: whole groups
// of group256 blocks to lanes256, then whole groups of group128 of what is left to lanes128. A
// kernel is called only for at least one whole group (it first spreads its keys over the lanes,
// which costs more than a few blocks one by one), as kernel(first, count): the index of its first
// block and the blocks left from there; it gives the number of blocks it did. Gives the number of
// blocks done; the rest is for the portable code.
template <class Lanes256, class Lanes128>
[[gnu::always_inline]] inline std::size_t InWidestLanes(std::size_t n, std::size_t group128, std::size_t group256,
                                                        Lanes256&& lanes256, Lanes128&& lanes128) {
  std::size_t done = 0;
  if constexpr (kLaneKernelsBuilt) {
    switch (n < group128 ? LaneWidth::kPortable : WidestLanes()) {
      case LaneWidth::k256:
        if (n >= group256) done = lanes256(std::size_t(0), n);
        [[fallthrough]];
      case LaneWidth::k128:
        if (n - done >= group128) done += lanes128(done, n - done);
        [[fallthrough]];
      case LaneWidth::kPortable: break;
    }
  }
  return done;
}

}  // namespace corvane
