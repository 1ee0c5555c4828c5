// The TEA pair in 256-bit lanes (AVX2): 16 blocks at a time. Built for AVX2;
// reached only where the processor has it.
#include "cipher/ciphers/tea_lanes.h"
#include "cipher/ciphers/tea_lanes_kernel.h"

namespace corvane::tea_lanes {

template <bool Extended, bool Encrypt>
[[gnu::flatten]] std::size_t Cycle256(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p,
                                      std::size_t n) {
  return CycleGroups<Extended, Encrypt, U32x8>(k, rounds, p, n);
}

template std::size_t Cycle256<false, true>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle256<false, false>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle256<true, true>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle256<true, false>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);

}  // namespace corvane::tea_lanes
