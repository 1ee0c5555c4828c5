// Hashes on the Sapphire II stream cipher's state machine: every byte is enciphered into a
// shuffled 256-card permutation with five running indices, and the digest is the cipher output
// of a fixed closing sequence. Seven digest sizes, 16 to 40 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/base/hash.h"

namespace corvane {

class THash_Sapphire320 : public THash {
  CORVANE_HASH_CLASS(THash_Sapphire320)
 public:
  using THash::THash;
  ~THash_Sapphire320() override;

  std::uint8_t* DigestBytes() override;

 protected:
  void DoStart() override;
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  // The closing sequence XORs the cipher bytes into the digest field, which only Start clears.
  void DoFinish() override;

 private:
  void AbsorbRun(const std::uint8_t* data, std::size_t n);
  void AbsorbCounted(std::uint8_t b) {
    ++byteCount_;
    AbsorbRun(&b, 1);
  }

  std::uint64_t byteCount_ = 0;
  std::uint8_t rotor_ = 0, ratchet_ = 0, avalanche_ = 0, lastPlain_ = 0, lastCipher_ = 0;
  std::uint8_t cards_[256] = {};
  std::uint8_t digest_[40] = {};
};

#define CORVANE_SAPPHIRE_SIZE(Name)             \
  class Name : public THash_Sapphire320 {       \
    CORVANE_HASH_CLASS(Name)                    \
   public:                                      \
    using THash_Sapphire320::THash_Sapphire320; \
  };
CORVANE_SAPPHIRE_SIZE(THash_Sapphire288)
CORVANE_SAPPHIRE_SIZE(THash_Sapphire256)
CORVANE_SAPPHIRE_SIZE(THash_Sapphire224)
CORVANE_SAPPHIRE_SIZE(THash_Sapphire192)
CORVANE_SAPPHIRE_SIZE(THash_Sapphire160)
CORVANE_SAPPHIRE_SIZE(THash_Sapphire128)
#undef CORVANE_SAPPHIRE_SIZE

}  // namespace corvane
