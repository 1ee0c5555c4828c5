// The TEA pair in 128-bit lanes (SSE2): 8 blocks at a time.
#include "cipher/ciphers/tea_lanes.h"
#include "cipher/ciphers/tea_lanes_kernel.h"

namespace corvane::tea_lanes {

template <bool Extended, bool Encrypt>
[[gnu::flatten]] std::size_t Cycle128(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p,
                                      std::size_t n) {
  return CycleGroups<Extended, Encrypt, U32x4>(k, rounds, p, n);
}

template std::size_t Cycle128<false, true>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle128<false, false>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle128<true, true>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);
template std::size_t Cycle128<true, false>(const std::uint32_t (&)[4], std::int32_t, std::uint8_t*, std::size_t);

}  // namespace corvane::tea_lanes
