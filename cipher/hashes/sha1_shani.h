// SHA and SHA-1 with the processor's SHA instructions: the entry of the kernel in sha1_shani.cpp,
// which exists where the build has it (x86: CORVANE_X86_KERNELS) and is called only where the
// processor has the instructions (kCpuSha).
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::sha_ni {

// Whole 64-byte blocks of data into the five words of state (little-endian words, as the hash
// keeps them). Rotate: SHA-1's schedule (rotated by 1); without, SHA's.
template <bool Rotate>
void Compress(std::uint8_t* state, const std::uint8_t* data, std::size_t blocks);

}  // namespace corvane::sha_ni
