// 3-Way: the round function rho = pi-2 . gamma . pi-1 . theta, round constants from 0x0B0B
// (encryption) and 0xB1B1 (decryption), decryption through the bit reversal mu.
#include "cipher/ciphers/three_way.h"

#include "cipher/base/support.h"
#include "cipher/ciphers/three_way_lanes.h"
#include "cipher/ciphers/three_way_rounds.h"
#include "cipher/cpu/lanes.h"

namespace corvane {

namespace {

using namespace three_way_rounds;

constexpr std::uint8_t kThreeWayKnownAnswer[32] = {
    0x77, 0xfc, 0x77, 0x94, 0x7c, 0x8f, 0xde, 0x21, 0xe9, 0x81, 0xdf, 0x2a, 0xb1, 0xbc, 0x7e, 0xf8,
    0xa3, 0xb6, 0x44, 0x4b, 0xb6, 0xfc, 0x79, 0xc4, 0x9b, 0x68, 0x4f, 0x09, 0xc7, 0xbf, 0x0e, 0x05};

void RoundConstants(std::uint32_t start, std::uint32_t* out) {
  for (int n = 0; n <= kRounds; ++n) {
    out[n] = start;
    start <<= 1;
    if (start & 0x10000u) start ^= 0x11011u;
  }
}

// The eleven rounds, the final key addition and theta, with the key words k and constants rc.
[[gnu::always_inline]] inline State Cipher(State a, const std::uint32_t* k, const std::uint32_t* rc) {
  const std::uint32_t k0 = k[0], k1 = k[1], k2 = k[2];
#pragma GCC unroll 11
  for (int r = 0; r < kRounds; ++r) {
    a.a0 ^= k0 ^ (rc[r] << 16);
    a.a1 ^= k1;
    a.a2 ^= k2 ^ rc[r];
    a = Rho(a);
  }
  a.a0 ^= k0 ^ (rc[kRounds] << 16);
  a.a1 ^= k1;
  a.a2 ^= k2 ^ rc[kRounds];
  return Theta(a);
}

inline State LoadState(const std::uint8_t* p) { return {LoadLE32(p), LoadLE32(p + 4), LoadLE32(p + 8)}; }
inline void StoreState(std::uint8_t* p, State a) {
  StoreLE32(p, a.a0);
  StoreLE32(p + 4, a.a1);
  StoreLE32(p + 8, a.a2);
}

}  // namespace

void TCipher_3Way::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  std::uint8_t padded[12] = {};
  for (std::int32_t n = 0; n < size; ++n) padded[n] = key[n];
  std::uint32_t* s = ScheduleAs<std::uint32_t>();
  for (int n = 0; n < 3; ++n) s[kKey + n] = LoadLE32(padded + 4 * n);
  RoundConstants(0x0B0Bu, s + kEncConst);
  const State ki = Mu(Theta(State{s[kKey], s[kKey + 1], s[kKey + 2]}));
  s[kDecKey] = ki.a0, s[kDecKey + 1] = ki.a1, s[kDecKey + 2] = ki.a2;
  RoundConstants(0xB1B1u, s + kDecConst);
  SecureWipe(padded, sizeof padded);
}

void TCipher_3Way::EncryptBlock(std::uint8_t* block) {
  const std::uint32_t* s = ScheduleAs<std::uint32_t>();
  StoreState(block, Cipher(LoadState(block), s + kKey, s + kEncConst));
}

void TCipher_3Way::DecryptBlock(std::uint8_t* block) {
  const std::uint32_t* s = ScheduleAs<std::uint32_t>();
  StoreState(block, Mu(Cipher(Mu(LoadState(block)), s + kDecKey, s + kDecConst)));
}

namespace {

// N blocks at p at once: their rounds are independent, so the chains overlap.
template <int N, bool Encrypt>
[[gnu::always_inline]] inline void CryptLanes(const std::uint32_t* s, std::uint8_t* p) {
  State a[N];
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j) a[j] = Encrypt ? LoadState(p + 12 * j) : Mu(LoadState(p + 12 * j));
  const std::uint32_t* k = s + (Encrypt ? kKey : kDecKey);
  const std::uint32_t* rc = s + (Encrypt ? kEncConst : kDecConst);
#pragma GCC unroll 11
  for (int r = 0; r < kRounds; ++r) {
    const std::uint32_t k0 = k[0] ^ (rc[r] << 16), k1 = k[1], k2 = k[2] ^ rc[r];
#pragma GCC unroll 4
    for (int j = 0; j < N; ++j) a[j] = Rho(State{a[j].a0 ^ k0, a[j].a1 ^ k1, a[j].a2 ^ k2});
  }
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j) {
    const State t =
        Theta(State{a[j].a0 ^ k[0] ^ (rc[kRounds] << 16), a[j].a1 ^ k[1], a[j].a2 ^ k[2] ^ rc[kRounds]});
    StoreState(p + 12 * j, Encrypt ? t : Mu(t));
  }
}

constexpr int kLanes = 2;

// n blocks: whole groups in the widest lanes in use, the rest two blocks at a time.
template <bool Encrypt>
void CryptBlocks(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  const std::size_t done = InWidestLanes(
      n, three_way_lanes::kGroup128, three_way_lanes::kGroup256,
      [s, p](std::size_t first, std::size_t count) {
        return three_way_lanes::Crypt256<Encrypt>(s, p + 12 * first, count);
      },
      [s, p](std::size_t first, std::size_t count) {
        return three_way_lanes::Crypt128<Encrypt>(s, p + 12 * first, count);
      });
  p += 12 * done, n -= done;
  ForBlockGroups<kLanes>(p, n, 12, [s](auto lanes, std::uint8_t* q) { CryptLanes<lanes, Encrypt>(s, q); });
}

}  // namespace

void TCipher_3Way::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  CryptBlocks<true>(ScheduleAs<std::uint32_t>(), blocks, n);
}

void TCipher_3Way::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  CryptBlocks<false>(ScheduleAs<std::uint32_t>(), blocks, n);
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_3Way, TCipher, 12, 12, 120, kThreeWayKnownAnswer)

}  // namespace corvane
