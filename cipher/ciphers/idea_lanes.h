// IDEA in vector lanes: the entries of the lane kernels (idea_lanes128.cpp, idea_lanes256.cpp),
// reached through InWidestLanes only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::idea_lanes {

inline constexpr std::size_t kGroup128 = 8, kGroup256 = 16;  // blocks per group of each width

// Whole groups of the blocks at p, n of them, with the 52 subkeys z; give the number of blocks done.
std::size_t Crypt128(const std::uint16_t* z, std::uint8_t* p, std::size_t n);
std::size_t Crypt256(const std::uint16_t* z, std::uint8_t* p, std::size_t n);

}  // namespace corvane::idea_lanes
