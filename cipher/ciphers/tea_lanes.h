// The TEA pair in vector lanes: the entries of the lane kernels (tea_lanes128.cpp,
// tea_lanes256.cpp), reached through InWidestLanes only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::tea_lanes {

inline constexpr std::size_t kGroup128 = 2 * 4, kGroup256 = 2 * 8;  // blocks per group of each width

// Whole groups of the blocks at p, n of them, with the key words k and the rounds count; give the
// number of blocks done. Extended: TEA extended's cycles; Encrypt: the direction.
template <bool Extended, bool Encrypt>
std::size_t Cycle128(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p, std::size_t n);
template <bool Extended, bool Encrypt>
std::size_t Cycle256(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p, std::size_t n);

}  // namespace corvane::tea_lanes
