// 3-Way: Daemen's 96-bit block cipher with a 96-bit key, eleven rounds; block and key are read
// as three little-endian words.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

class TCipher_3Way : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_3Way)
 public:
  explicit TCipher_3Way(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

}  // namespace corvane
