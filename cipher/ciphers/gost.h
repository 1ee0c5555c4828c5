// GOST 28147-89: 64-bit block, 256-bit key, 32 rounds with the S-boxes of the
// id-GostR3411-94-TestParamSet parameter set.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

// Schedule buffer: the key padded with zero bytes to 32, read as eight little-endian words
// K0..K7. The block is two little-endian words A (bytes 0..3) and B (bytes 4..7).
class TCipher_Gost : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Gost)
 public:
  explicit TCipher_Gost(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}
  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

  // Entry b of expanded table j (0..3): byte j of the round function's input substituted
  // through S-boxes 2j+1 (low nibble) and 2j+2 (high nibble), in place, rotated left by 11.
  static std::uint32_t Table(int j, std::uint8_t b);

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

}  // namespace corvane
