// Square: the 128-bit block cipher with a 128-bit key and eight rounds (Daemen, Knudsen, Rijmen),
// table-driven on little-endian words, and a 128-bit hash that uses Square encryption under the
// running digest as its compression (Matyas-Meyer-Oseas: the encrypted block XOR the block).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cipher/base/cipher.h"
#include "cipher/base/hash.h"

namespace corvane {

class TCipher_Square : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_Square)
 public:
  explicit TCipher_Square(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
};

struct SquareScratch;  // working memory of the key expansion and compression

class THash_Square : public THash {
  CORVANE_HASH_CLASS(THash_Square)
 public:
  using THash::THash;
  ~THash_Square() override;

  std::uint8_t* DigestBytes() override { return digest_; }

 protected:
  void DoStart() override;
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoFinish() override;

 private:
  void Compress(const std::uint8_t* block, SquareScratch& scratch);

  std::uint32_t count_ = 0;  // bytes taken since Start, modulo 2^32
  std::uint8_t buffer_[16] = {};
  alignas(4) std::uint8_t digest_[16] = {};  // four little-endian words
};

// The static tables (shared by the cipher and the hash): KT[x] has the bytes 2x, x, x, 3x (least
// significant first); Et[x] and Dt[x] the coefficients of column t of the round's linear map
// times S[x] or S'[x].
const std::array<std::uint32_t, 256>& SquareKeyTable();
const std::uint32_t (&SquareEncryptionTables())[4][256];
const std::uint32_t (&SquareDecryptionTables())[4][256];

}  // namespace corvane
