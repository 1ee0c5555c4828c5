// 3-Way: the round function rho = pi-2 . gamma . pi-1 . theta, round constants from 0x0B0B
// (encryption) and 0xB1B1 (decryption), decryption through the bit reversal mu.
#include "cipher/three_way.h"

#include "cipher/support.h"

namespace corvane {

namespace {

constexpr std::uint8_t kThreeWayKnownAnswer[32] = {
    0x77, 0xfc, 0x77, 0x94, 0x7c, 0x8f, 0xde, 0x21, 0xe9, 0x81, 0xdf, 0x2a, 0xb1, 0xbc, 0x7e, 0xf8,
    0xa3, 0xb6, 0x44, 0x4b, 0xb6, 0xfc, 0x79, 0xc4, 0x9b, 0x68, 0x4f, 0x09, 0xc7, 0xbf, 0x0e, 0x05};

constexpr int kRounds = 11;
// Schedule layout in words: key, encryption constants, decryption key, decryption constants.
constexpr std::size_t kKey = 0, kEncConst = 3, kDecKey = 15, kDecConst = 18;

// Reverses the order of all 96 bits: word 0 and word 2 trade places, each bit-reversed.
inline void Mu(std::uint32_t a[3]) {
  const std::uint32_t t = ReverseBits32(a[0]);
  a[1] = ReverseBits32(a[1]);
  a[0] = ReverseBits32(a[2]);
  a[2] = t;
}

inline void Gamma(std::uint32_t a[3]) {
  const std::uint32_t b0 = a[0] ^ (a[1] | ~a[2]);
  const std::uint32_t b1 = a[1] ^ (a[2] | ~a[0]);
  const std::uint32_t b2 = a[2] ^ (a[0] | ~a[1]);
  a[0] = b0;
  a[1] = b1;
  a[2] = b2;
}

// theta: every output word is its input word XOR rot16(c) XOR rot8(c), with c the XOR of all three
// words, XOR four byte-shifted terms of its own and its neighbours' words. (The published form
// lists thirteen shifted terms per word; the rotations gather the terms common to all three.)
inline void Theta(std::uint32_t a[3]) {
  const std::uint32_t a0 = a[0], a1 = a[1], a2 = a[2];
  std::uint32_t c = a0 ^ a1 ^ a2;
  c = RotateLeft32(c, 16) ^ RotateLeft32(c, 8);
  a[0] = a0 ^ c ^ (a0 << 24) ^ (a0 >> 24) ^ (a1 << 8) ^ (a2 >> 8);
  a[1] = a1 ^ c ^ (a1 << 24) ^ (a1 >> 24) ^ (a2 << 8) ^ (a0 >> 8);
  a[2] = a2 ^ c ^ (a2 << 24) ^ (a2 >> 24) ^ (a0 << 8) ^ (a1 >> 8);
}

inline void Rho(std::uint32_t a[3]) {
  Theta(a);
  a[0] = RotateRight32(a[0], 10);  // pi-1
  a[2] = RotateLeft32(a[2], 1);
  Gamma(a);
  a[0] = RotateLeft32(a[0], 1);  // pi-2
  a[2] = RotateRight32(a[2], 10);
}

void RoundConstants(std::uint32_t start, std::uint32_t* out) {
  for (int n = 0; n <= kRounds; ++n) {
    out[n] = start;
    start <<= 1;
    if (start & 0x10000u) start ^= 0x11011u;
  }
}

void Cipher(std::uint32_t a[3], const std::uint32_t* k, const std::uint32_t* rc) {
  for (int r = 0; r < kRounds; ++r) {
    a[0] ^= k[0] ^ (rc[r] << 16);
    a[1] ^= k[1];
    a[2] ^= k[2] ^ rc[r];
    Rho(a);
  }
  a[0] ^= k[0] ^ (rc[kRounds] << 16);
  a[1] ^= k[1];
  a[2] ^= k[2] ^ rc[kRounds];
  Theta(a);
}

}  // namespace

void TCipher_3Way::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
  std::uint8_t padded[12] = {};
  for (std::int32_t n = 0; n < size; ++n) padded[n] = key[n];
  std::uint32_t* s = ScheduleAs<std::uint32_t>();
  for (int n = 0; n < 3; ++n) s[kKey + n] = LoadLE32(padded + 4 * n);
  RoundConstants(0x0B0Bu, s + kEncConst);
  for (int n = 0; n < 3; ++n) s[kDecKey + n] = s[kKey + n];
  Theta(s + kDecKey);
  Mu(s + kDecKey);
  RoundConstants(0xB1B1u, s + kDecConst);
  SecureWipe(padded, sizeof padded);
  StartVector(iv);
}

void TCipher_3Way::EncryptBlock(std::uint8_t* block) {
  const std::uint32_t* s = ScheduleAs<std::uint32_t>();
  std::uint32_t a[3] = {LoadLE32(block), LoadLE32(block + 4), LoadLE32(block + 8)};
  Cipher(a, s + kKey, s + kEncConst);
  StoreLE32(block, a[0]);
  StoreLE32(block + 4, a[1]);
  StoreLE32(block + 8, a[2]);
}

void TCipher_3Way::DecryptBlock(std::uint8_t* block) {
  const std::uint32_t* s = ScheduleAs<std::uint32_t>();
  std::uint32_t a[3] = {LoadLE32(block), LoadLE32(block + 4), LoadLE32(block + 8)};
  Mu(a);
  Cipher(a, s + kDecKey, s + kDecConst);
  Mu(a);
  StoreLE32(block, a[0]);
  StoreLE32(block + 4, a[1]);
  StoreLE32(block + 8, a[2]);
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_3Way, TCipher, 12, 12, 120, kThreeWayKnownAnswer)

}  // namespace corvane
