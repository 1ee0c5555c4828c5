// 3-Way in 256-bit lanes (AVX2): groups of 8 blocks, up to four groups at once. Built for AVX2;
// reached only where the processor has it.
#include "cipher/ciphers/three_way_lanes.h"
#include "cipher/ciphers/three_way_lanes_kernel.h"

namespace corvane::three_way_lanes {

template <bool Encrypt>
[[gnu::flatten]] std::size_t Crypt256(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  return CryptGroups<U32x8, Encrypt>(s, p, n);
}

template std::size_t Crypt256<true>(const std::uint32_t*, std::uint8_t*, std::size_t);
template std::size_t Crypt256<false>(const std::uint32_t*, std::uint8_t*, std::size_t);

}  // namespace corvane::three_way_lanes
