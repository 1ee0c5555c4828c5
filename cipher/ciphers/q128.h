// Q128: a 128-bit block cipher of sixteen rounds on a table of 1024 words, with a 128-bit key.
#pragma once

#include <array>
#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

class TCipher_Q128 : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Q128)
 public:
  explicit TCipher_Q128(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;

  // The table Q (1024 distinct words, looked up with the low 10 bits of a word).
  static const std::array<std::uint32_t, 1024>& Table();

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

}  // namespace corvane
