// Blowfish: 64-bit block, keys of 1 to 56 bytes, 16 rounds over a key-dependent P-array and four
// key-dependent S-boxes. The library's default cipher class.
#pragma once

#include <cstdint>
#include <span>

#include "cipher/base/cipher.h"

namespace corvane {

// Schedule buffer: S0, S1, S2, S3 (256 32-bit words each), then P0..P17. The block halves L
// (bytes 0..3) and R (bytes 4..7) are big-endian words. A key of 0 bytes keys as an all-zero key.
class TCipher_Blowfish : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Blowfish)
 public:
  explicit TCipher_Blowfish(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}
  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

  // The published initial tables the key schedule starts from.
  static std::span<const std::uint32_t, 18> InitialPArray();
  static std::span<const std::uint32_t, 1024> InitialSBoxes();

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

}  // namespace corvane
