// HAVAL (version 1) with 128- to 256-bit digests over 128-byte blocks, with 3, 4 or 5 passes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/base/hash.h"

namespace corvane {

class THash_Haval256 : public THash {
  CORVANE_HASH_CLASS(THash_Haval256)
 public:
  using THash::THash;
  ~THash_Haval256() override;

  std::uint8_t* DigestBytes() override;

  // The pass count of the compression. Start keeps a value of 3, 4 or 5; any other value (as
  // after construction) is replaced by the default for the digest size: 3 up to 160 bits, 4 up
  // to 224 bits, 5 above. A value set here takes effect at the next Start.
  std::int32_t Passes() const { return passes_; }
  void SetPasses(std::int32_t passes) { passes_ = passes; }

 protected:
  void DoStart() override;
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoFinish() override;

 private:
  using CompressFn = void (*)(std::uint32_t* state, const std::uint8_t* block);

  std::uint64_t byteCount_ = 0;
  std::uint8_t buffer_[128] = {};
  std::uint32_t state_[8] = {};  // D0..D7; the digest is their little-endian byte view
  std::int32_t passes_ = 0;
  std::int32_t runPasses_ = 0;  // the pass count this run started with (compression and trailer)
  CompressFn compress_ = nullptr;
};

class THash_Haval224 : public THash_Haval256 {
  CORVANE_HASH_CLASS(THash_Haval224)
 public:
  using THash_Haval256::THash_Haval256;
};

class THash_Haval192 : public THash_Haval256 {
  CORVANE_HASH_CLASS(THash_Haval192)
 public:
  using THash_Haval256::THash_Haval256;
};

class THash_Haval160 : public THash_Haval256 {
  CORVANE_HASH_CLASS(THash_Haval160)
 public:
  using THash_Haval256::THash_Haval256;
};

class THash_Haval128 : public THash_Haval256 {
  CORVANE_HASH_CLASS(THash_Haval128)
 public:
  using THash_Haval256::THash_Haval256;
};

}  // namespace corvane
