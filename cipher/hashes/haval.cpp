// HAVAL version 1 (Zheng, Pieprzyk, Seberry): 3-, 4- and 5-pass compression of 32 little-endian
// words, padding with the byte 0x01 and a 10-byte trailer, and the published folding of the eight
// chaining words down to the digest size.
#include "cipher/hashes/haval.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "cipher/base/support.h"

namespace corvane {

static_assert(std::endian::native == std::endian::little,
              "the digest is the little-endian byte view of the chaining words");

namespace {

// clang-format off
constexpr std::uint8_t kKnownAnswer256[32] = {
    0xE9, 0x92, 0xC1, 0xFB, 0x79, 0xE9, 0xBA, 0xA8, 0x28, 0x5C, 0x7A, 0x73, 0x0B, 0xEB, 0x0C, 0x7C,
    0xAD, 0xF3, 0xF7, 0xAD, 0x26, 0xD7, 0xEF, 0xE2, 0x1F, 0xF4, 0xBF, 0x67, 0x57, 0x69, 0xD5, 0x9A};
constexpr std::uint8_t kKnownAnswer224[28] = {
    0x32, 0x3A, 0xDC, 0xB3, 0x75, 0xB5, 0x8F, 0x5A, 0x6A, 0xF1, 0x66, 0x89, 0x99, 0x5A,
    0x7A, 0x98, 0x71, 0x6E, 0x22, 0x77, 0xBC, 0x02, 0x29, 0x38, 0x67, 0xA5, 0xCC, 0xE1};
constexpr std::uint8_t kKnownAnswer192[24] = {
    0x30, 0xAE, 0xEC, 0x3F, 0xC1, 0x8E, 0x61, 0x18, 0xA4, 0xF2, 0xA3, 0xE8,
    0x06, 0x6C, 0x3B, 0x64, 0xA6, 0xA9, 0x2E, 0x7D, 0xE2, 0x52, 0xA0, 0xB5};
// Haval-160 (3 passes) of the shared test input.
constexpr std::uint8_t kKnownAnswer160[20] = {
    0x13, 0xDD, 0xBD, 0x32, 0x33, 0xBC, 0x04, 0x8D, 0x6D, 0xF6,
    0x63, 0x56, 0x37, 0xE2, 0xA0, 0xD0, 0x53, 0x1B, 0x99, 0x03};
constexpr std::uint8_t kKnownAnswer128[16] = {
    0xD8, 0xCB, 0xCD, 0xEC, 0x7A, 0xFD, 0xC8, 0xA5, 0xF2, 0x7B, 0xD2, 0x12, 0xB9, 0x33, 0x9A, 0xBD};

constexpr std::uint32_t kInitialWords[8] = {0x243F6A88u, 0x85A308D3u, 0x13198A2Eu, 0x03707344u,
                                            0xA4093822u, 0x299F31D0u, 0x082EFA98u, 0xEC4E6C89u};

// Round constants of passes 2 to 5 (the fraction of pi, continuing after the initial words).
constexpr std::uint32_t kRoundConstants[4 * 32] = {
    0x452821E6u, 0x38D01377u, 0xBE5466CFu, 0x34E90C6Cu, 0xC0AC29B7u, 0xC97C50DDu, 0x3F84D5B5u, 0xB5470917u,
    0x9216D5D9u, 0x8979FB1Bu, 0xD1310BA6u, 0x98DFB5ACu, 0x2FFD72DBu, 0xD01ADFB7u, 0xB8E1AFEDu, 0x6A267E96u,
    0xBA7C9045u, 0xF12C7F99u, 0x24A19947u, 0xB3916CF7u, 0x0801F2E2u, 0x858EFC16u, 0x636920D8u, 0x71574E69u,
    0xA458FEA3u, 0xF4933D7Eu, 0x0D95748Fu, 0x728EB658u, 0x718BCD58u, 0x82154AEEu, 0x7B54A41Du, 0xC25A59B5u,
    0x9C30D539u, 0x2AF26013u, 0xC5D1B023u, 0x286085F0u, 0xCA417918u, 0xB8DB38EFu, 0x8E79DCB0u, 0x603A180Eu,
    0x6C9E0E8Bu, 0xB01E8A3Eu, 0xD71577C1u, 0xBD314B27u, 0x78AF2FDAu, 0x55605C60u, 0xE65525F3u, 0xAA55AB94u,
    0x57489862u, 0x63E81440u, 0x55CA396Au, 0x2AAB10B6u, 0xB4CC5C34u, 0x1141E8CEu, 0xA15486AFu, 0x7C72E993u,
    0xB3EE1411u, 0x636FBC2Au, 0x2BA9C55Du, 0x741831F6u, 0xCE5C3E16u, 0x9B87931Eu, 0xAFD6BA33u, 0x6C24CF5Cu,
    0x7A325381u, 0x28958677u, 0x3B8F4898u, 0x6B4BB9AFu, 0xC4BFE81Bu, 0x66282193u, 0x61D809CCu, 0xFB21A991u,
    0x487CAC60u, 0x5DEC8032u, 0xEF845D5Du, 0xE98575B1u, 0xDC262302u, 0xEB651B88u, 0x23893E81u, 0xD396ACC5u,
    0x0F6D6FF3u, 0x83F44239u, 0x2E0B4482u, 0xA4842004u, 0x69C8F04Au, 0x9E1F9B5Eu, 0x21C66842u, 0xF6E96C9Au,
    0x670C9C61u, 0xABD388F0u, 0x6A51A0D2u, 0xD8542F68u, 0x960FA728u, 0xAB5133A3u, 0x6EEF0B6Cu, 0x137A3BE4u,
    0xBA3BF050u, 0x7EFB2A98u, 0xA1F1651Du, 0x39AF0176u, 0x66CA593Eu, 0x82430E88u, 0x8CEE8619u, 0x456F9FB4u,
    0x7D84A5C3u, 0x3B8B5EBEu, 0xE06F75D8u, 0x85C12073u, 0x401A449Fu, 0x56C16AA6u, 0x4ED3AA62u, 0x363F7706u,
    0x1BFEDF72u, 0x429B023Du, 0x37D0D724u, 0xD00A1248u, 0xDB0FEAD3u, 0x49F1C09Bu, 0x075372C9u, 0x80991B7Bu,
    0x25D479D8u, 0xF6E8DEF7u, 0xE3FE501Au, 0xB6794C3Bu, 0x976CE0BDu, 0x04C006BAu, 0xC1A94FB6u, 0x409F60C4u,
};

// Message-word orders of passes 2 to 5 (pass 1 takes the words in order).
constexpr std::uint8_t kWordOrder[4][32] = {
    {5, 14, 26, 18, 11, 28, 7, 16, 0, 23, 20, 22, 1, 10, 4, 8, 30, 3, 21, 9, 17, 24, 29, 6, 19, 12, 15, 13, 2, 25, 31, 27},
    {19, 9, 4, 20, 28, 17, 8, 22, 29, 14, 25, 12, 24, 30, 16, 26, 31, 15, 7, 3, 1, 0, 18, 27, 13, 6, 21, 10, 23, 11, 5, 2},
    {24, 4, 0, 14, 2, 7, 28, 23, 26, 6, 30, 20, 18, 25, 19, 3, 22, 11, 31, 21, 8, 27, 12, 9, 1, 29, 5, 15, 17, 10, 16, 13},
    {27, 3, 21, 26, 17, 11, 20, 29, 19, 0, 12, 7, 13, 8, 31, 10, 5, 9, 14, 30, 18, 6, 28, 24, 2, 23, 16, 22, 4, 1, 25, 15},
};

// phi(n, p): the state words x_i handed to the Boolean function of pass p of the n-pass
// function as its arguments (x6, x5, x4, x3, x2, x1, x0), in the first step of the pass.
// Rows: n = 3 (p = 1..3), n = 4 (p = 1..4), n = 5 (p = 1..5).
constexpr std::uint8_t kPhi[12][7] = {
    {1, 0, 3, 5, 6, 2, 4},
    {4, 2, 1, 0, 5, 3, 6},
    {6, 1, 2, 3, 4, 5, 0},
    {2, 6, 1, 4, 5, 3, 0},
    {3, 5, 2, 0, 1, 6, 4},
    {1, 4, 3, 6, 0, 2, 5},
    {6, 4, 0, 5, 2, 1, 3},
    {3, 4, 1, 0, 5, 2, 6},
    {6, 2, 1, 0, 3, 4, 5},
    {2, 6, 0, 4, 3, 1, 5},
    {1, 5, 3, 2, 0, 4, 6},
    {2, 5, 0, 6, 4, 3, 1},
};
// clang-format on

constexpr int PhiRow(int passes, int pass) { return (passes == 3 ? 0 : passes == 4 ? 3 : 7) + pass - 1; }

template <int Pass>
[[gnu::always_inline]] constexpr std::uint32_t F(std::uint32_t x6, std::uint32_t x5, std::uint32_t x4,
                                                 std::uint32_t x3, std::uint32_t x2, std::uint32_t x1,
                                                 std::uint32_t x0) {
  if constexpr (Pass == 1) {
    return (x1 & (x0 ^ x4)) ^ (x2 & x5) ^ (x3 & x6) ^ x0;
  } else if constexpr (Pass == 2) {
    return (x2 & ((x1 & ~x3) ^ (x4 & x5) ^ x6 ^ x0)) ^ (x4 & (x1 ^ x5)) ^ (x3 & x5) ^ x0;
  } else if constexpr (Pass == 3) {
    return (x3 & ((x1 & x2) ^ x6 ^ x0)) ^ (x1 & x4) ^ (x2 & x5) ^ x0;
  } else if constexpr (Pass == 4) {
    return (x4 & ((x5 & ~x2) ^ (x3 & ~x6) ^ x1 ^ x6 ^ x0)) ^ (x3 & ((x1 & x2) ^ x5 ^ x6)) ^ (x2 & x6) ^ x0;
  } else {
    return (x0 & ((x1 & x2 & x3) ^ ~x5)) ^ (x1 & x4) ^ (x2 & x5) ^ (x3 & x6);
  }
}

constexpr int NewestArgument(const std::uint8_t* phi) {
  for (int k = 0; k < 7; ++k)
    if (phi[k] == 0) return k;
  return -1;
}

// Step J of a pass: the state word x7 (which moves down one place per step) takes the Boolean
// function of the permuted words, the message word and the round constant.
//
// Word 0 is the one the step before has just written. Every Boolean function is linear in each
// of its arguments, F = (x & A) ^ B with A and B free of x, so A and B are taken from the other
// words (F with x as zeros, and with x as ones) while word 0 is still being computed; the step
// then waits for it through one AND and one XOR only.
template <int Passes, int Pass, int J>
[[gnu::always_inline]] inline void Step(std::uint32_t (&t)[8], const std::uint32_t (&w)[32]) {
  constexpr const std::uint8_t* phi = kPhi[PhiRow(Passes, Pass)];
  constexpr int k0 = NewestArgument(phi);
  static_assert(k0 >= 0);
  auto x = [&t](int i) -> std::uint32_t& { return t[(i - J) & 7]; };
  // Argument k of the function: word phi[k], or the given value in place of word 0.
  auto arg = [&x](int k, std::uint32_t inPlaceOfWord0) { return k == k0 ? inPlaceOfWord0 : x(phi[k]); };
  const std::uint32_t b = F<Pass>(arg(0, 0), arg(1, 0), arg(2, 0), arg(3, 0), arg(4, 0), arg(5, 0), arg(6, 0));
  const std::uint32_t a =
      F<Pass>(arg(0, ~0u), arg(1, ~0u), arg(2, ~0u), arg(3, ~0u), arg(4, ~0u), arg(5, ~0u), arg(6, ~0u)) ^ b;
  const std::uint32_t f = (x(0) & a) ^ b;
  std::uint32_t& x7 = x(7);
  if constexpr (Pass == 1) {
    x7 = RotateRight32(x7, 11) + w[J] + RotateRight32(f, 7);
  } else {
    x7 = RotateRight32(x7, 11) + w[kWordOrder[Pass - 2][J]] + kRoundConstants[(Pass - 2) * 32 + J] +
         RotateRight32(f, 7);
  }
}

template <int Passes, int Pass, std::size_t... J>
[[gnu::always_inline]] inline void RunPass(std::uint32_t (&t)[8], const std::uint32_t (&w)[32],
                                           std::index_sequence<J...>) {
  (Step<Passes, Pass, int(J)>(t, w), ...);
}

template <int Passes, std::size_t... P>
[[gnu::always_inline]] inline void RunPasses(std::uint32_t (&t)[8], const std::uint32_t (&w)[32],
                                             std::index_sequence<P...>) {
  (RunPass<Passes, int(P) + 1>(t, w, std::make_index_sequence<32>{}), ...);
}

// Clears a block's working words with word-sized stores that the compiler must keep (a byte-wise
// wipe per block costs a large share of the compression).
template <std::size_t N>
inline void WipeWords(std::uint32_t (&words)[N]) {
  volatile std::uint32_t* v = words;
  for (std::size_t i = 0; i < N; ++i) v[i] = 0;
}

template <int Passes>
void Compress(std::uint32_t* state, const std::uint8_t* block) {
  std::uint32_t w[32];
  for (int i = 0; i < 32; ++i) w[i] = LoadLE32(block + 4 * i);
  std::uint32_t t[8];
  std::copy_n(state, 8, t);
  RunPasses<Passes>(t, w, std::make_index_sequence<Passes>{});
  for (int i = 0; i < 8; ++i) state[i] += t[i];
  WipeWords(w);
  WipeWords(t);
}

// The published folding of D0..D7 down to the digest size.
void Fold(std::uint32_t (&d)[8], int bits) {
  switch (bits) {
    case 224:
      d[0] += (d[7] >> 27) & 0x1F;
      d[1] += (d[7] >> 22) & 0x1F;
      d[2] += (d[7] >> 18) & 0x0F;
      d[3] += (d[7] >> 13) & 0x1F;
      d[4] += (d[7] >> 9) & 0x0F;
      d[5] += (d[7] >> 4) & 0x1F;
      d[6] += d[7] & 0x0F;
      break;
    case 192:
      d[0] += RotateRight32((d[7] & 0x1F) | (d[6] & 0xFC000000u), 26);
      d[1] += (d[7] & 0x3E0) | (d[6] & 0x1F);
      d[2] += ((d[7] & 0xFC00) | (d[6] & 0x3E0)) >> 5;
      d[3] += ((d[7] & 0x1F0000) | (d[6] & 0xFC00)) >> 10;
      d[4] += ((d[7] & 0x3E00000) | (d[6] & 0x1F0000)) >> 16;
      d[5] += ((d[7] & 0xFC000000u) | (d[6] & 0x3E00000)) >> 21;
      break;
    case 160:
      d[0] += RotateRight32((d[7] & 0x3F) | (d[6] & 0xFE000000u) | (d[5] & 0x1F80000), 19);
      d[1] += RotateRight32((d[7] & 0xFC0) | (d[6] & 0x3F) | (d[5] & 0xFE000000u), 25);
      d[2] += (d[7] & 0x7F000) | (d[6] & 0xFC0) | (d[5] & 0x3F);
      d[3] += ((d[7] & 0x1F80000) | (d[6] & 0x7F000) | (d[5] & 0xFC0)) >> 6;
      d[4] += ((d[7] & 0xFE000000u) | (d[6] & 0x1F80000) | (d[5] & 0x7F000)) >> 12;
      break;
    case 128:
      d[0] += RotateRight32((d[7] & 0xFF) | (d[6] & 0xFF000000u) | (d[5] & 0xFF0000) | (d[4] & 0xFF00), 8);
      d[1] += RotateRight32((d[7] & 0xFF00) | (d[6] & 0xFF) | (d[5] & 0xFF000000u) | (d[4] & 0xFF0000), 16);
      d[2] += RotateRight32((d[7] & 0xFF0000) | (d[6] & 0xFF00) | (d[5] & 0xFF) | (d[4] & 0xFF000000u), 24);
      d[3] += (d[7] & 0xFF000000u) | (d[6] & 0xFF0000) | (d[5] & 0xFF00) | (d[4] & 0xFF);
      break;
    default:  // 256 bits: no folding
      break;
  }
}

}  // namespace

CORVANE_DEFINE_HASH_CLASS(THash_Haval256, THash, 32, kKnownAnswer256)
CORVANE_DEFINE_HASH_CLASS(THash_Haval224, THash_Haval256, 28, kKnownAnswer224)
CORVANE_DEFINE_HASH_CLASS(THash_Haval192, THash_Haval256, 24, kKnownAnswer192)
CORVANE_DEFINE_HASH_CLASS(THash_Haval160, THash_Haval256, 20, kKnownAnswer160)
CORVANE_DEFINE_HASH_CLASS(THash_Haval128, THash_Haval256, 16, kKnownAnswer128)

THash_Haval256::~THash_Haval256() {
  SecureWipe(buffer_, sizeof(buffer_));
  SecureWipe(state_, sizeof(state_));
  byteCount_ = 0;
}

std::uint8_t* THash_Haval256::DigestBytes() { return reinterpret_cast<std::uint8_t*>(state_); }

void THash_Haval256::DoStart() {
  SecureWipe(buffer_, sizeof(buffer_));
  if (passes_ < 3 || passes_ > 5) {
    const std::int32_t size = DigestSize();
    passes_ = size <= 20 ? 3 : size <= 28 ? 4 : 5;
  }
  runPasses_ = passes_;
  compress_ = runPasses_ == 3 ? &Compress<3> : runPasses_ == 4 ? &Compress<4> : &Compress<5>;
  byteCount_ = 0;
  std::copy_n(kInitialWords, 8, state_);
}

void THash_Haval256::DoUpdate(const std::uint8_t* data, std::size_t size) {
  if (compress_ == nullptr) return;
  const std::size_t waiting = std::size_t(byteCount_ % sizeof(buffer_));
  byteCount_ += size;
  if (waiting > 0) {
    const std::size_t n = std::min(size, sizeof(buffer_) - waiting);
    std::memcpy(buffer_ + waiting, data, n);
    if (waiting + n < sizeof(buffer_)) return;
    compress_(state_, buffer_);
    // The input may be this object's own digest: what follows is read from the state as the
    // compression has just left it.
    data += n;
    size -= n;
  }
  for (; size >= sizeof(buffer_); data += sizeof(buffer_), size -= sizeof(buffer_)) compress_(state_, data);
  if (size > 0) std::memcpy(buffer_, data, size);
}

void THash_Haval256::DoFinish() {
  if (compress_ == nullptr) return;  // never started: there is nothing to complete
  const std::size_t waiting = std::size_t(byteCount_ % sizeof(buffer_));
  const unsigned bits = unsigned(DigestSize()) * 8;
  buffer_[waiting] = 0x01;
  std::memset(buffer_ + waiting + 1, 0, sizeof(buffer_) - waiting - 1);
  if (waiting >= 118) {  // the 10-byte trailer does not fit behind the marker
    compress_(state_, buffer_);
    std::memset(buffer_, 0, sizeof(buffer_));
  }
  buffer_[118] = std::uint8_t(((bits & 3) << 6) | (unsigned(runPasses_) << 3) | 1);
  buffer_[119] = std::uint8_t((bits >> 2) & 0xFF);
  StoreLE64(buffer_ + 120, byteCount_ * 8);
  compress_(state_, buffer_);
  SecureWipe(buffer_, sizeof(buffer_));
  Fold(state_, int(bits));
}

}  // namespace corvane
