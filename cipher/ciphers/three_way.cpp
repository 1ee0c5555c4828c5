// 3-Way: the round function rho = pi-2 . gamma . pi-1 . theta, round constants from 0x0B0B
// (encryption) and 0xB1B1 (decryption), decryption through the bit reversal mu.
#include "cipher/ciphers/three_way.h"

#include "cipher/base/support.h"

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define CORVANE_THREE_WAY_LANES 1
#if !defined(__clang__)
// GCC inlines the 256-bit vector helpers into the AVX2 entry only; clang refuses 256-bit values
// in the shared helpers, so a clang build keeps the 128-bit lanes.
#define CORVANE_THREE_WAY_LANES256 1
#endif
// The lane helpers pass 256-bit vectors by value; they are only ever inlined into the AVX2
// entry, so the ABI note about such arguments concerns no real call.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace corvane {

namespace {

constexpr std::uint8_t kThreeWayKnownAnswer[32] = {
    0x77, 0xfc, 0x77, 0x94, 0x7c, 0x8f, 0xde, 0x21, 0xe9, 0x81, 0xdf, 0x2a, 0xb1, 0xbc, 0x7e, 0xf8,
    0xa3, 0xb6, 0x44, 0x4b, 0xb6, 0xfc, 0x79, 0xc4, 0x9b, 0x68, 0x4f, 0x09, 0xc7, 0xbf, 0x0e, 0x05};

constexpr int kRounds = 11;
// Schedule layout in words: key, encryption constants, decryption key, decryption constants.
constexpr std::size_t kKey = 0, kEncConst = 3, kDecKey = 15, kDecConst = 18;

// Reverses the bits of a word: bit pairs, nibble pairs and bit pairs of nibbles exchanged by
// masks, then the bytes by the byte swap.
constexpr std::uint32_t Reverse32(std::uint32_t v) {
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  return __builtin_bswap32(v);
}
static_assert(Reverse32(0x00000001u) == 0x80000000u && Reverse32(0x12345678u) == 0x1E6A2C48u);

// The state of one block in three locals (kept out of memory, so the compiler need not assume
// that a store to one word changes another). With W a vector of words, the state of several
// blocks, one per lane: gamma, theta and rho below serve both.
template <class W>
struct StateOf {
  W a0, a1, a2;
};
using State = StateOf<std::uint32_t>;

template <class W>
[[gnu::always_inline]] inline W Rotl(W v, int s) {
  return (v << s) | (v >> (32 - s));
}

// Reverses the order of all 96 bits: word 0 and word 2 trade places, each bit-reversed.
[[gnu::always_inline]] inline State Mu(State a) { return {Reverse32(a.a2), Reverse32(a.a1), Reverse32(a.a0)}; }

template <class W>
[[gnu::always_inline]] inline StateOf<W> Gamma(StateOf<W> a) {
  return {a.a0 ^ (a.a1 | ~a.a2), a.a1 ^ (a.a2 | ~a.a0), a.a2 ^ (a.a0 | ~a.a1)};
}

// theta: every output word is its input word XOR rot16(c) XOR rot8(c), with c the XOR of all three
// words, XOR four byte-shifted terms of its own and its neighbours' words. (The published form
// lists thirteen shifted terms per word; the rotations gather the terms common to all three.)
template <class W>
[[gnu::always_inline]] inline StateOf<W> Theta(StateOf<W> a) {
  W c = a.a0 ^ a.a1 ^ a.a2;
  c = Rotl(c, 16) ^ Rotl(c, 8);
  return {a.a0 ^ c ^ ((a.a0 << 24) ^ (a.a0 >> 24)) ^ ((a.a1 << 8) ^ (a.a2 >> 8)),
          a.a1 ^ c ^ ((a.a1 << 24) ^ (a.a1 >> 24)) ^ ((a.a2 << 8) ^ (a.a0 >> 8)),
          a.a2 ^ c ^ ((a.a2 << 24) ^ (a.a2 >> 24)) ^ ((a.a0 << 8) ^ (a.a1 >> 8))};
}

template <class W>
[[gnu::always_inline]] inline StateOf<W> Rho(StateOf<W> a) {
  a = Theta(a);
  a.a0 = Rotl(a.a0, 22);  // pi-1: right by 10
  a.a2 = Rotl(a.a2, 1);
  a = Gamma(a);
  a.a0 = Rotl(a.a0, 1);  // pi-2
  a.a2 = Rotl(a.a2, 22);
  return a;
}

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

void TCipher_3Way::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
  std::uint8_t padded[12] = {};
  for (std::int32_t n = 0; n < size; ++n) padded[n] = key[n];
  std::uint32_t* s = ScheduleAs<std::uint32_t>();
  for (int n = 0; n < 3; ++n) s[kKey + n] = LoadLE32(padded + 4 * n);
  RoundConstants(0x0B0Bu, s + kEncConst);
  const State ki = Mu(Theta(State{s[kKey], s[kKey + 1], s[kKey + 2]}));
  s[kDecKey] = ki.a0, s[kDecKey + 1] = ki.a1, s[kDecKey + 2] = ki.a2;
  RoundConstants(0xB1B1u, s + kDecConst);
  SecureWipe(padded, sizeof padded);
  StartVector(iv);
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
    const State t = Theta(State{a[j].a0 ^ k[0] ^ (rc[kRounds] << 16), a[j].a1 ^ k[1], a[j].a2 ^ k[2] ^ rc[kRounds]});
    StoreState(p + 12 * j, Encrypt ? t : Mu(t));
  }
}

constexpr int kLanes = 2;

#if CORVANE_THREE_WAY_LANES
// Blocks in vector lanes of 32 bits (the compiler's vector types, so theta, gamma and rho above
// serve them unchanged): 4 blocks (128 bits) or 8 blocks (256 bits, AVX2) at a time. The blocks'
// words go into the lanes one by one (12-byte blocks do not split into vectors), decryption's mu
// on the way in and out.
typedef std::uint32_t U32x4 __attribute__((vector_size(16)));
typedef std::uint32_t U32x8 __attribute__((vector_size(32)));

template <class W, bool Encrypt>
[[gnu::always_inline]] inline std::size_t CryptGroups(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  constexpr int L = sizeof(W) / 4;
  const std::uint32_t* k = s + (Encrypt ? kKey : kDecKey);
  const std::uint32_t* rc = s + (Encrypt ? kEncConst : kDecConst);
  // Every helper that takes or gives 256-bit vectors is always inlined (also without
  // optimisation): out of line, without the AVX2 target, it would pass them by another
  // convention than the AVX2 entry that calls it.
  auto broadcast = [](std::uint32_t v) __attribute__((always_inline)) {
    W w;
    for (int i = 0; i < L; ++i) w[i] = v;
    return w;
  };
  StateOf<W> keys[kRounds + 1];
  for (int r = 0; r <= kRounds; ++r)
    keys[r] = {broadcast(k[0] ^ (rc[r] << 16)), broadcast(k[1]), broadcast(k[2] ^ rc[r])};
  const std::size_t groups = n / L;
  for (std::size_t g = 0; g < groups; ++g, p += 12 * L) {
    StateOf<W> a;
    for (int j = 0; j < L; ++j) {
      const State b = Encrypt ? LoadState(p + 12 * j) : Mu(LoadState(p + 12 * j));
      a.a0[j] = b.a0, a.a1[j] = b.a1, a.a2[j] = b.a2;
    }
#pragma GCC unroll 11
    for (int r = 0; r < kRounds; ++r) a = Rho(StateOf<W>{a.a0 ^ keys[r].a0, a.a1 ^ keys[r].a1, a.a2 ^ keys[r].a2});
    a = Theta(StateOf<W>{a.a0 ^ keys[kRounds].a0, a.a1 ^ keys[kRounds].a1, a.a2 ^ keys[kRounds].a2});
    for (int j = 0; j < L; ++j) {
      const State b{a.a0[j], a.a1[j], a.a2[j]};
      StoreState(p + 12 * j, Encrypt ? b : Mu(b));
    }
  }
  return groups * L;
}

#if CORVANE_THREE_WAY_LANES256
template <bool Encrypt>
[[gnu::target("avx2"), gnu::flatten]] std::size_t CryptGroups256(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  return CryptGroups<U32x8, Encrypt>(s, p, n);
}
#endif

template <bool Encrypt>
[[gnu::flatten]] std::size_t CryptGroups128(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
  return CryptGroups<U32x4, Encrypt>(s, p, n);
}
#endif

// n blocks: whole groups in the widest lanes the active code path allows, the rest two blocks at
// a time. A group function is called only for at least one whole group: it first spreads the
// round keys over the lanes.
template <bool Encrypt>
void CryptBlocks(const std::uint32_t* s, std::uint8_t* p, std::size_t n) {
#if CORVANE_THREE_WAY_LANES
  [[maybe_unused]] constexpr std::size_t kGroup128 = 4, kGroup256 = 8;  // blocks in a group of each width
  switch (n < kGroup128 ? CipherCodePath::Portable : ActiveCipherCodePath()) {
    case CipherCodePath::Lanes256: {
#if CORVANE_THREE_WAY_LANES256
      if (n >= kGroup256) {
        const std::size_t done = CryptGroups256<Encrypt>(s, p, n);
        p += 12 * done, n -= done;
      }
#endif
    }
      [[fallthrough]];
    case CipherCodePath::Lanes128: {
      if (n >= kGroup128) {
        const std::size_t done = CryptGroups128<Encrypt>(s, p, n);
        p += 12 * done, n -= done;
      }
    }
      [[fallthrough]];
    case CipherCodePath::Portable:
      break;
  }
#endif
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
