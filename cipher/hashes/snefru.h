// Snefru-256 in the library's own form: Merkle's standard S-boxes, rotation table and pass
// structure over 32-byte blocks, with little-endian words, a final step on the processed words
// and a padding without a marker byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/base/hash.h"

namespace corvane {

// The Snefru passes over a 16-word working block (level passes of four rounds of 16 steps, each
// round followed by the rotation of every word). Shared by the hash and its tests.
void SnefruPasses(std::uint32_t (&w)[16], int level);
// Merkle's standard S-boxes: 16 boxes of 256 words, boxes 2p and 2p+1 serve pass p.
const std::uint32_t (&SnefruSBoxes())[16][256];

class THash_Snefru : public THash {
  CORVANE_HASH_CLASS(THash_Snefru)
 public:
  using THash::THash;
  ~THash_Snefru() override;

  std::uint8_t* DigestBytes() override;

 protected:
  void DoStart() override;
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoFinish() override;

 private:
  void Compress(const std::uint8_t* block);

  std::int32_t level_ = 8;
  std::uint64_t byteCount_ = 0;
  std::uint32_t w_[16] = {};  // W0..W7 the chaining value (the digest), W8..W15 the input
  std::uint8_t buffer_[32] = {};
};

}  // namespace corvane
