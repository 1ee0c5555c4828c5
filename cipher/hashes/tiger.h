// Tiger (Anderson and Biham, the first published version: padding byte 0x01) on the MD4
// family's block framework: 64-byte blocks, three 64-bit chaining words, 192-bit digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/hashes/md4_family.h"

namespace corvane {

class THash_Tiger : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_Tiger)
 public:
  using THash_MD4::THash_MD4;

  // The number of passes of the compression. Start keeps a value of 3 to 32 and replaces any
  // other (as after construction) by 3; extra passes follow the published scheme. A value set
  // here takes effect at the next Start.
  std::int32_t Passes() const { return passes_; }
  void SetPasses(std::int32_t passes) { passes_ = passes; }

 protected:
  void DoStart() override;
  void DoFinish() override;  // 0x01 padding, little-endian bit length
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;

 private:
  std::int32_t passes_ = 0;
  std::int32_t runPasses_ = 3;  // the pass count this run started with
};

// The Tiger S-boxes T1..T4.
const std::uint64_t (&TigerSBoxes())[4][256];

}  // namespace corvane
