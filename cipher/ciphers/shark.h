// Shark: the SHARK design with a 64-bit block, a 128-bit key and six rounds, on eight
// precomputed 256-entry tables of 64-bit words per direction. The field GF(2^8) modulo 0x1F5
// and the S-box defined here are shared with Square.
#pragma once

#include <array>
#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

// Product in GF(2^8) with the reduction polynomial 0x1F5; a zero factor gives zero.
constexpr std::uint8_t Gf1F5Multiply(std::uint8_t a, std::uint8_t b) {
  unsigned x = a, y = b, r = 0;
  while (y != 0) {
    if (y & 1u) r ^= x;
    x <<= 1;
    if (x & 0x100u) x ^= 0x1F5u;
    y >>= 1;
  }
  return std::uint8_t(r);
}

struct SharkSquareSBoxes {
  std::array<std::uint8_t, 256> forward;  // S[x] = 0xB1 xor A(inv(x))
  std::array<std::uint8_t, 256> inverse;  // S', the inverse permutation
};

// The S-box of Shark and Square: the field inverse (inv(0) = 0) followed by the affine map whose
// linear part sends bit 0..7 to 0x7F, 0xDA, 0xBC, 0x78, 0xF0, 0x60, 0xC0, 0x80.
constexpr SharkSquareSBoxes MakeSharkSquareSBoxes() {
  constexpr std::uint8_t kImages[8] = {0x7F, 0xDA, 0xBC, 0x78, 0xF0, 0x60, 0xC0, 0x80};
  SharkSquareSBoxes s{};
  for (unsigned x = 0; x < 256; ++x) {
    // x^254 is the inverse of x (and 0 for 0).
    std::uint8_t inv = 1, base = std::uint8_t(x);
    for (unsigned e = 254; e != 0; e >>= 1) {
      if (e & 1u) inv = Gf1F5Multiply(inv, base);
      base = Gf1F5Multiply(base, base);
    }
    if (x == 0) inv = 0;
    std::uint8_t v = 0xB1;
    for (int bit = 0; bit < 8; ++bit)
      if (inv & (1u << bit)) v ^= kImages[bit];
    s.forward[x] = v;
    s.inverse[v] = std::uint8_t(x);
  }
  return s;
}

class TCipher_Shark : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Shark)
 public:
  explicit TCipher_Shark(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

// The static tables of Shark (read-only, shared by all objects).
const std::uint8_t (&SharkG())[8][8];  // the diffusion matrix
const std::uint8_t (&SharkM())[8][8];  // its inverse
const std::array<std::uint8_t, 256>& SharkSBox();
const std::array<std::uint8_t, 256>& SharkInverseSBox();
// Et[x] = column t of G times S[x]; Dt[x] = column t of M times S'[x]; row 0 in the top byte.
const std::uint64_t (&SharkEncryptionTables())[8][256];
const std::uint64_t (&SharkDecryptionTables())[8][256];

}  // namespace corvane
