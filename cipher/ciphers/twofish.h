// Twofish: the published 128-bit block cipher (16 rounds, keys of up to 256 bits), keyed in full
// at Init: the four key-dependent S-box and MDS tables are built once per key.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

class TCipher_Twofish : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Twofish)
 public:
  explicit TCipher_Twofish(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

// The static tables: the fixed permutations q0 and q1, and the four MDS column tables with the
// last q permutation of each byte position folded in (entry x of table j = MDS column j times
// q(x), q = q1, q0, q1, q0; matrix row i in bits 8i..8i+7).
const std::uint8_t (&TwofishQ0())[256];
const std::uint8_t (&TwofishQ1())[256];
const std::uint32_t (&TwofishMdsTables())[4][256];

}  // namespace corvane
