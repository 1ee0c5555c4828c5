// The TEA pair: TCipher_TEA and TCipher_TEAN ("TEA extended"), 64-bit block, 128-bit key,
// 16 cycles. Their round functions are the library's own arrangements of the TEA and extended
// TEA operations, so they do not reproduce the published TEA or XTEA values.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

// Schedule buffer: the key padded with zero bytes to 16, read as four little-endian words
// k0..k3; the other 16 bytes stay zero. The block is two little-endian words y (bytes 0..3)
// and z (bytes 4..7).
class TCipher_TEA : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_TEA)
 public:
  static constexpr std::uint32_t kDelta = 0x9E3779B9u;

  explicit TCipher_TEA(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}
  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

  // Cycles per block; every Init brings it into 16..32, and nothing else sets it.
  std::int32_t Rounds() const { return rounds_; }

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
  TCipher_TEA(const CipherClassInfo& cls, TProtection* chained) : TCipher(cls, chained) {}
  void LoadKey(std::uint32_t (&k)[4]);

  std::int32_t rounds_ = 0;
};

class TCipher_TEAN : public TCipher_TEA {
  CORVANE_CIPHER_CLASS(TCipher_TEAN)
 public:
  explicit TCipher_TEAN(TProtection* chained = nullptr) : TCipher_TEA(StaticClass(), chained) {}
  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;
};

}  // namespace corvane
