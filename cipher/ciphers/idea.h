// IDEA: 64-bit block, 128-bit key, eight rounds and an output transformation built from XOR,
// addition modulo 65536 and multiplication modulo 65537. The cipher of every stored value.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

// Schedule buffer: 104 16-bit words, the 52 encryption subkeys in the order the block routine
// uses them, then the 52 decryption subkeys in the same arrangement. Block and key are read as
// big-endian 16-bit words; a short key is padded with zero bytes, a long one cut to 16 bytes.
class TCipher_IDEA : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_IDEA)
 public:
  explicit TCipher_IDEA(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}
  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

  // Multiplication modulo 65537 with the 16-bit value 0 standing for 65536.
  static std::uint16_t Mul(std::uint16_t a, std::uint16_t b);
  // Multiplicative inverse modulo 65537 (0 and 1 are their own inverses).
  static std::uint16_t MulInverse(std::uint16_t x);

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

}  // namespace corvane
