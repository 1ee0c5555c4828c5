// 3-Way in 128-bit lanes (SSE2): groups of 4 blocks, up to four groups at once.
#include "cipher/ciphers/three_way_lanes.h"
#include "cipher/ciphers/three_way_lanes_kernel.h"

namespace corvane::three_way_lanes {

template <bool Encrypt>
[[gnu::flatten]] std::size_t Crypt128(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  return CryptGroups<U32x4, Encrypt>(s, p, n);
}

template std::size_t Crypt128<true>(const std::uint32_t*, std::uint8_t*, std::size_t);
template std::size_t Crypt128<false>(const std::uint32_t*, std::uint8_t*, std::size_t);

}  // namespace corvane::three_way_lanes
