// SCOP: a stream cipher presented through the block interface. One 128-byte unit (32 words) takes
// 32 keystream words from the table V, which advances with every unit; the state after Init is
// kept as a snapshot and restored whenever the chain is reset.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

class TCipher_SCOP : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_SCOP)
 public:
  explicit TCipher_SCOP(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;

  // The 48-byte key expansion: the key bytes (at most 48; none counts as the single byte 0),
  // continued by B[n] = B[n-s] + B[n-s+1], with zero bytes among the first 32 replaced by 1, 2, ...
  static void ExpandKey(const std::uint8_t* key, std::int32_t size, std::uint8_t out[48]);

  // Schedule layout in 32-bit words: the working state (i, j, t3, V[384], one spare word), then
  // its snapshot in the same layout.
  static constexpr std::size_t kStateWords = 388;
  static constexpr std::size_t kIndexI = 0, kIndexJ = 1, kT3 = 2, kTable = 3;
  static constexpr std::size_t kTableWords = 384;

 protected:
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
  // Keeps the keystream state Init leaves (after the start vector, whose encryption moves it).
  void InitDone() override;
  // Returns the keystream state to the one Init left, as the register returns to the vector.
  void ChainReset() override;

 private:
  template <bool Encrypt>
  void ProcessUnit(std::uint8_t* block);
};

}  // namespace corvane
