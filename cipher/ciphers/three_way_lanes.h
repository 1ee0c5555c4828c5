// 3-Way in vector lanes: the entries of the lane kernels (three_way_lanes128.cpp,
// three_way_lanes256.cpp), reached through InWidestLanes only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::three_way_lanes {

inline constexpr std::size_t kGroup128 = 4, kGroup256 = 8;  // blocks per group of each width

// Whole groups of the blocks at p, n of them, with the key schedule s; give the number of blocks
// done. Encrypt: the direction.
template <bool Encrypt>
std::size_t Crypt128(const std::uint32_t* s, std::uint8_t* p, std::size_t n);
template <bool Encrypt>
std::size_t Crypt256(const std::uint32_t* s, std::uint8_t* p, std::size_t n);

}  // namespace corvane::three_way_lanes
