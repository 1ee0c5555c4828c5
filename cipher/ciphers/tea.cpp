// The TEA pair of block ciphers.
#include "cipher/ciphers/tea.h"

#include <algorithm>
#include <cstring>

#include "cipher/base/support.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define CORVANE_TEA_LANES 1
#if !defined(__clang__)
// GCC inlines the 256-bit vector helpers into the AVX2 entry only; clang refuses 256-bit values
// in the shared helpers, so a clang build keeps the 128-bit lanes.
#define CORVANE_TEA_LANES256 1
#endif
#include <immintrin.h>
// The lane helpers pass 256-bit vectors by value; they are only ever inlined into the AVX2
// entries, so the ABI note about such arguments concerns no real call.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace corvane {

namespace {

constexpr std::uint8_t kTeaKnownAnswer[32] = {
    0xB7, 0xB8, 0xAA, 0xBB, 0x26, 0x4B, 0x06, 0xF9, 0x70, 0x86, 0xB0, 0xE4, 0x56, 0x04, 0x29, 0xCC,
    0xBF, 0x55, 0xEA, 0x4E, 0xEF, 0x59, 0x26, 0x18, 0x19, 0xB0, 0x03, 0x7C, 0x29, 0x8C, 0xE2, 0x77};

constexpr std::uint8_t kTeanKnownAnswer[32] = {
    0xCD, 0x7E, 0xBB, 0xA2, 0x92, 0x1A, 0x4B, 0x3B, 0xE2, 0x9E, 0x62, 0xCF, 0xF7, 0x1D, 0xA5, 0xDF,
    0x63, 0x33, 0x94, 0x29, 0xE2, 0x36, 0x7C, 0x66, 0x3F, 0xF8, 0x1A, 0xF9, 0x02, 0x78, 0xBF, 0xA1};

// The cycles of one block on y, z with the key words k and the rounds count; the same code serves
// the lanes below through the operators of their vector types. broadcast gives a value in every
// lane; the keys and the running sum are held broadcast, so a cycle adds no broadcasts.
template <bool Extended, bool Encrypt, class W, class Broadcast>
[[gnu::always_inline]] inline void Cycles(W& y, W& z, const std::uint32_t (&k)[4], std::int32_t rounds,
                                          Broadcast broadcast) {
  const W key[4] = {broadcast(k[0]), broadcast(k[1]), broadcast(k[2]), broadcast(k[3])};
  const W delta = broadcast(TCipher_TEA::kDelta);
  if constexpr (Encrypt) {
    std::uint32_t sum = 0;
    W s = broadcast(0);
    for (std::int32_t i = 0; i < rounds; ++i) {
      if constexpr (Extended) {
        y += ((z << 4) ^ (z >> 5)) + (z ^ s) + key[sum & 3];
        sum += TCipher_TEA::kDelta, s += delta;
        z += ((y << 4) ^ (y >> 5)) + (y ^ s) + key[(sum >> 11) & 3];
      } else {
        s += delta;
        y += ((((z << 4) + key[0]) ^ z) + s) ^ ((z >> 5) + key[1]);
        z += ((((y << 4) + key[2]) ^ y) + s) ^ ((y >> 5) + key[3]);
      }
    }
  } else {
    std::uint32_t sum = TCipher_TEA::kDelta * std::uint32_t(rounds);
    W s = broadcast(sum);
    for (std::int32_t i = 0; i < rounds; ++i) {
      if constexpr (Extended) {
        z -= ((y << 4) ^ (y >> 5)) + (y ^ s) + key[(sum >> 11) & 3];
        sum -= TCipher_TEA::kDelta, s -= delta;
        y -= ((z << 4) ^ (z >> 5)) + (z ^ s) + key[sum & 3];
      } else {
        z -= ((((y << 4) + key[2]) ^ y) + s) ^ ((y >> 5) + key[3]);
        y -= ((((z << 4) + key[0]) ^ z) + s) ^ ((z >> 5) + key[1]);
        s -= delta;
      }
    }
  }
}

#if CORVANE_TEA_LANES
// Several blocks at once in vector lanes of 32 bits (the compiler's vector types, so the cycles
// above serve them unchanged): a vector of y words and one of z words for 4 blocks (128 bits) or
// 8 blocks (256 bits, AVX2), two such pairs at a time.
typedef std::uint32_t U32x4 __attribute__((vector_size(16)));
typedef std::uint32_t U32x8 __attribute__((vector_size(32)));
// The lanes of two vectors picked by constant indices (GCC and clang name the builtin apart).
#if defined(__clang__)
#define CORVANE_SHUFFLE(a, b, Mask, ...) __builtin_shufflevector(a, b, __VA_ARGS__)
#else
#define CORVANE_SHUFFLE(a, b, Mask, ...) __builtin_shuffle(a, b, Mask{__VA_ARGS__})
#endif

// Splits the words of 2L blocks (little-endian y, z pairs) into the y and z lanes and back.
template <class W>
[[gnu::always_inline]] inline void Split(const std::uint8_t* p, W& y, W& z) {
  constexpr int L = sizeof(W) / 4;
  W a, b;
  std::memcpy(&a, p, sizeof a);
  std::memcpy(&b, p + sizeof a, sizeof b);
  if constexpr (L == 4) {
    y = CORVANE_SHUFFLE(a, b, U32x4, 0, 2, 4, 6);
    z = CORVANE_SHUFFLE(a, b, U32x4, 1, 3, 5, 7);
  } else {
    y = CORVANE_SHUFFLE(a, b, U32x8, 0, 2, 4, 6, 8, 10, 12, 14);
    z = CORVANE_SHUFFLE(a, b, U32x8, 1, 3, 5, 7, 9, 11, 13, 15);
  }
}

template <class W>
[[gnu::always_inline]] inline void Join(std::uint8_t* p, W y, W z) {
  constexpr int L = sizeof(W) / 4;
  W a, b;
  if constexpr (L == 4) {
    a = CORVANE_SHUFFLE(y, z, U32x4, 0, 4, 1, 5);
    b = CORVANE_SHUFFLE(y, z, U32x4, 2, 6, 3, 7);
  } else {
    a = CORVANE_SHUFFLE(y, z, U32x8, 0, 8, 1, 9, 2, 10, 3, 11);
    b = CORVANE_SHUFFLE(y, z, U32x8, 4, 12, 5, 13, 6, 14, 7, 15);
  }
  std::memcpy(p, &a, sizeof a);
  std::memcpy(p + sizeof a, &b, sizeof b);
}

// Two vectors that go through the cycles side by side: two independent chains overlap. Every
// helper that takes or gives 256-bit vectors is always inlined (also without optimisation): out
// of line, without the AVX2 target, it would pass them by another convention than its caller.
template <class W>
struct Two {
  W a, b;
  [[gnu::always_inline]] friend Two operator+(Two x, Two y) { return {x.a + y.a, x.b + y.b}; }
  [[gnu::always_inline]] friend Two operator-(Two x, Two y) { return {x.a - y.a, x.b - y.b}; }
  [[gnu::always_inline]] friend Two operator^(Two x, Two y) { return {x.a ^ y.a, x.b ^ y.b}; }
  [[gnu::always_inline]] friend Two operator<<(Two x, int s) { return {x.a << s, x.b << s}; }
  [[gnu::always_inline]] friend Two operator>>(Two x, int s) { return {x.a >> s, x.b >> s}; }
  [[gnu::always_inline]] Two& operator+=(Two y) { return *this = *this + y; }
  [[gnu::always_inline]] Two& operator-=(Two y) { return *this = *this - y; }
};

// Groups of 2 * lanes blocks; gives the number of blocks done.
template <bool Extended, bool Encrypt, class W>
[[gnu::always_inline]] inline std::size_t CycleGroups(const std::uint32_t (&k)[4], std::int32_t rounds,
                                                      std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kLanes = sizeof(W) / 4, kGroup = 2 * kLanes;
  const std::size_t groups = n / kGroup;
  for (std::size_t g = 0; g < groups; ++g, p += 8 * kGroup) {
    Two<W> y, z;
    Split(p, y.a, z.a);
    Split(p + 8 * kLanes, y.b, z.b);
    Cycles<Extended, Encrypt>(y, z, k, rounds, [](std::uint32_t v) __attribute__((always_inline)) {
      W w;
      for (std::size_t i = 0; i < kLanes; ++i) w[i] = v;
      return Two<W>{w, w};
    });
    Join(p, y.a, z.a);
    Join(p + 8 * kLanes, y.b, z.b);
  }
  return groups * kGroup;
}

#if CORVANE_TEA_LANES256
template <bool Extended, bool Encrypt>
[[gnu::target("avx2"), gnu::flatten]] std::size_t CycleGroups256(const std::uint32_t (&k)[4], std::int32_t rounds,
                                                                   std::uint8_t* p, std::size_t n) {
  return CycleGroups<Extended, Encrypt, U32x8>(k, rounds, p, n);
}
#endif

template <bool Extended, bool Encrypt>
[[gnu::flatten]] std::size_t CycleGroups128(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p,
                                            std::size_t n) {
  return CycleGroups<Extended, Encrypt, U32x4>(k, rounds, p, n);
}
#endif

template <bool Extended, bool Encrypt>
void CycleBlock(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* block) {
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4);
  Cycles<Extended, Encrypt>(y, z, k, rounds, [](std::uint32_t v) { return v; });
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

// The serial modes on the block as one little-endian 64-bit value (y in the low half) in a register.
template <bool Extended>
bool ChainCycles(const std::uint32_t (&k)[4], std::int32_t rounds, TCipherMode mode, const std::uint8_t* source,
                 std::uint8_t* dest, std::size_t n, std::uint8_t* f, std::uint8_t* s) {
  return ChainEncrypt<ChainBlockLE64>(mode, source, dest, n, f, s, [&k, rounds](std::uint64_t v) __attribute__((always_inline)) {
    std::uint32_t y = std::uint32_t(v), z = std::uint32_t(v >> 32);
    Cycles<Extended, true>(y, z, k, rounds, [](std::uint32_t w) { return w; });
    return (std::uint64_t(z) << 32) | y;
  });
}

// n blocks: whole groups in the widest lanes the active code path allows, the rest one block at
// a time (a group function is called only for at least one whole group).
template <bool Extended, bool Encrypt>
void CycleBlocks(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p, std::size_t n) {
#if CORVANE_TEA_LANES
  [[maybe_unused]] constexpr std::size_t kGroup128 = 2 * 4, kGroup256 = 2 * 8;  // blocks in a group of each width
  switch (n < kGroup128 ? CipherCodePath::Portable : ActiveCipherCodePath()) {
    case CipherCodePath::Lanes256: {
#if CORVANE_TEA_LANES256
      if (n >= kGroup256) {
        const std::size_t done = CycleGroups256<Extended, Encrypt>(k, rounds, p, n);
        p += 8 * done, n -= done;
      }
#endif
    }
      [[fallthrough]];
    case CipherCodePath::Lanes128: {
      if (n >= kGroup128) {
        const std::size_t done = CycleGroups128<Extended, Encrypt>(k, rounds, p, n);
        p += 8 * done, n -= done;
      }
    }
      [[fallthrough]];
    case CipherCodePath::Portable:
      break;
  }
#endif
  for (; n != 0; --n, p += 8) CycleBlock<Extended, Encrypt>(k, rounds, p);
}

}  // namespace

void TCipher_TEA::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
  if (size > 0) std::memcpy(Schedule(), key, std::size_t(size));
  rounds_ = std::clamp(rounds_, std::int32_t(16), std::int32_t(32));
  StartVector(iv);
}

void TCipher_TEA::LoadKey(std::uint32_t (&k)[4]) {
  const std::uint8_t* s = Schedule();
  for (int i = 0; i < 4; ++i) k[i] = LoadLE32(s + 4 * i);
}

void TCipher_TEA::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<false, true>(k, rounds_, block);
}

void TCipher_TEA::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<false, false>(k, rounds_, block);
}

void TCipher_TEA::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<false, true>(k, rounds_, blocks, n);
}

void TCipher_TEA::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<false, false>(k, rounds_, blocks, n);
}

bool TCipher_TEA::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                               std::uint8_t* f, std::uint8_t* s) {
  std::uint32_t k[4];
  LoadKey(k);
  return ChainCycles<false>(k, rounds_, mode, source, dest, n, f, s);
}

void TCipher_TEAN::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<true, true>(k, rounds_, block);
}

void TCipher_TEAN::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<true, false>(k, rounds_, block);
}

void TCipher_TEAN::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<true, true>(k, rounds_, blocks, n);
}

void TCipher_TEAN::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<true, false>(k, rounds_, blocks, n);
}

bool TCipher_TEAN::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                std::uint8_t* f, std::uint8_t* s) {
  std::uint32_t k[4];
  LoadKey(k);
  return ChainCycles<true>(k, rounds_, mode, source, dest, n, f, s);
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEA, TCipher, 8, 16, 32, kTeaKnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEAN, TCipher_TEA, 8, 16, 32, kTeanKnownAnswer)

}  // namespace corvane
