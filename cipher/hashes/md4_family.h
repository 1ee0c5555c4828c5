// The MD4 family: MD4, MD5, RIPEMD-128/-160/-256/-320, SHA (FIPS 180) and SHA-1 (FIPS 180-1).
//
// All members share one block framework defined on THash_MD4: a 64-byte block buffer, a byte
// counter and a chaining state of ten 32-bit words (byte view: each word least significant byte
// first, word 0 first). A member supplies its compression step (CompressBlock) and, where it
// needs them, its own start values, digest size or final step. Other families that share this
// framework (Tiger) derive from THash_MD4 and reuse its buffer, counter and update step.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cipher/base/hash.h"
#include "cipher/base/support.h"

namespace corvane {

class THash_MD4 : public THash {
  CORVANE_HASH_CLASS(THash_MD4)
 public:
  explicit THash_MD4(TProtection* chained = nullptr) : THash(chained) {}
  ~THash_MD4() override;

  // The byte view of the chaining state; the digest is its first DigestSize() bytes. Between
  // Start and Finish it is the live state: bytes written there change the chaining value.
  std::uint8_t* DigestBytes() override;

 protected:
  void DoStart() override;  // the shared start values (words 0-9)
  // Takes size more bytes. The input is read piece by piece as it is copied or compressed, so
  // an input that lies in this object's own chaining state is read as it stands at that moment.
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoFinish() override;  // 0x80 padding, little-endian bit length

  // Compresses the 64 bytes at block (any alignment) into the chaining state.
  virtual void CompressBlock(const std::uint8_t* block);
  // Compresses blocks whole blocks in order; every compression of the framework goes through
  // here. Update hands over runs of blocks straight from the caller's data (never from the
  // object's own state, which is shorter than a block). The default calls CompressBlock for
  // each; a member may keep its words in registers across them.
  virtual void CompressBlocks(const std::uint8_t* data, std::size_t blocks);

  // Copies size bytes of input to the block buffer from position pos (pos + size <= 64), in
  // whole 8-byte words; in the last word the bytes after the input become zero.
  void FillBuffer(std::size_t pos, const std::uint8_t* data, std::size_t size);
  // Resets the buffer and the counter and loads count start words (the others become 0).
  void StartWith(const std::uint32_t* words, std::size_t count);
  // Pads with padByte and zeros, appends the bit length (64 bits, least or most significant
  // byte first), compresses the last block or blocks and zeroes the buffer.
  void PadAndCompress(std::uint8_t padByte, bool bigEndianLength);

  // Word access to the state's byte view (inline: they sit inside every compression step).
  // On little-endian hosts a word is copied as it stands: byte-wise stores get merged into
  // shift chains and wide stores that the next block's loads then wait for.
  std::uint32_t StateWord(std::size_t i) const {
    if constexpr (std::endian::native == std::endian::little) {
      std::uint32_t v;
      std::memcpy(&v, ChainingState + 4 * i, 4);
      return v;
    } else {
      return LoadLE32(ChainingState + 4 * i);
    }
  }
  void SetStateWord(std::size_t i, std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little)
      std::memcpy(ChainingState + 4 * i, &v, 4);
    else
      StoreLE32(ChainingState + 4 * i, v);
  }
  // Runs blocks through a four-word compression with the words loaded once and stored once.
  template <class Block>
  void RunBlocks(const std::uint8_t* data, std::size_t blocks, Block block) {
    std::uint32_t s[4] = {StateWord(0), StateWord(1), StateWord(2), StateWord(3)};
    for (; blocks > 0; --blocks, data += kBlockSize) block(s, data);
    for (std::size_t i = 0; i < 4; ++i) SetStateWord(i, s[i]);
  }
  void AddStateWords4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
    SetStateWord(0, StateWord(0) + a);
    SetStateWord(1, StateWord(1) + b);
    SetStateWord(2, StateWord(2) + c);
    SetStateWord(3, StateWord(3) + d);
  }
  void AddStateWords5(std::size_t first, std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t e) {
    SetStateWord(first + 0, StateWord(first + 0) + a);
    SetStateWord(first + 1, StateWord(first + 1) + b);
    SetStateWord(first + 2, StateWord(first + 2) + c);
    SetStateWord(first + 3, StateWord(first + 3) + d);
    SetStateWord(first + 4, StateWord(first + 4) + e);
  }

  static constexpr std::size_t kBlockSize = 64;
  static constexpr std::size_t kStateWords = 10;

  // Bytes given to Update since the last Start. Carried in 64 bits, so the length field is the
  // published one for inputs of any practical size.
  std::uint64_t ByteCount = 0;
  // The first (ByteCount mod 64) bytes are input that does not yet fill a block; Start and
  // Finish leave all 64 bytes zero.
  std::uint8_t BlockBuffer[kBlockSize] = {};
  // Ten 32-bit words, each least significant byte first.
  alignas(8) std::uint8_t ChainingState[kStateWords * 4] = {};
};

class THash_MD5 : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_MD5)
 public:
  explicit THash_MD5(TProtection* chained = nullptr) : THash_MD4(chained) {}

 protected:
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;
};

class THash_RipeMD128 : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_RipeMD128)
 public:
  explicit THash_RipeMD128(TProtection* chained = nullptr) : THash_MD4(chained) {}

 protected:
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;
};

class THash_RipeMD160 : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_RipeMD160)
 public:
  explicit THash_RipeMD160(TProtection* chained = nullptr) : THash_MD4(chained) {}

 protected:
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;
};

class THash_RipeMD256 : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_RipeMD256)
 public:
  explicit THash_RipeMD256(TProtection* chained = nullptr) : THash_MD4(chained) {}

 protected:
  void DoStart() override;  // the RIPEMD-256 start values (words 0-7)
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;
};

class THash_RipeMD320 : public THash_MD4 {
  CORVANE_HASH_CLASS(THash_RipeMD320)
 public:
  explicit THash_RipeMD320(TProtection* chained = nullptr) : THash_MD4(chained) {}

 protected:
  void CompressBlock(const std::uint8_t* block) override;
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;
};

// SHA (FIPS 180). Takes only its 20-byte digest size from RIPEMD-160; the compression and the
// final step are its own. Finish leaves words 0-4 of the state most significant byte first, so
// the byte view is the published digest; hashing continues from those words taken as numbers.
class THash_SHA : public THash_RipeMD160 {
  CORVANE_HASH_CLASS(THash_SHA)
 public:
  explicit THash_SHA(TProtection* chained = nullptr) : THash_RipeMD160(chained) {}

 protected:
  void DoFinish() override;  // 0x80 padding, big-endian bit length, digest words turned around
  void CompressBlock(const std::uint8_t* block) override;
  // With the processor's SHA instructions where present (kCpuSha), else portable code.
  void CompressBlocks(const std::uint8_t* data, std::size_t blocks) override;

  void CompressShaBlocks(const std::uint8_t* data, std::size_t blocks);

  // 1 selects the SHA-1 message schedule (one-bit rotation), 0 the SHA schedule. Only the
  // Start of THash_SHA1 writes it; nothing clears it.
  std::uint8_t RotateSchedule = 0;
};

// SHA-1 (FIPS 180-1): SHA with the rotated message schedule.
class THash_SHA1 : public THash_SHA {
  CORVANE_HASH_CLASS(THash_SHA1)
 public:
  explicit THash_SHA1(TProtection* chained = nullptr) : THash_SHA(chained) {}

 protected:
  void DoStart() override;
};

}  // namespace corvane
