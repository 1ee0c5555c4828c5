// The MD4 family: the shared block framework and the compression steps of its members.
//
// Every compression step is spelled out with its own message word, constant and shift.
#include "cipher/hashes/md4_family.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cipher/base/support.h"
#include "cipher/cpu/features.h"
#include "cipher/hashes/sha1_shani.h"

namespace corvane {

namespace {

// The block buffer is written and read in whole aligned 8-byte words, and the final block is
// written in whole 16-byte pieces: a compression's loads then take their bytes straight from
// those stores. A load that needs bytes of several recent stores instead waits until they have
// left for the cache, and so behind everything before them, which would hold every short message
// back until the previous message is done.
inline std::uint64_t LoadWord64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return kLittleEndian ? v : LoadLE64(p);
}
inline void StoreWord64(std::uint8_t* p, std::uint64_t v) {
  if constexpr (kLittleEndian)
    std::memcpy(p, &v, 8);
  else
    StoreLE64(p, v);
}
// The first m bytes at p (1 to 7) as a word, least significant byte first; reads no further.
inline std::uint64_t LoadPartial64(const std::uint8_t* p, std::size_t m) {
  std::uint64_t v = 0;
  std::size_t at = 0;
  if (m & 4) {
    v = LoadLE32(p);
    at = 4;
  }
  if (m & 2) {
    v |= std::uint64_t(LoadLE16(p + at)) << (8 * at);
    at += 2;
  }
  if (m & 1) v |= std::uint64_t(p[at]) << (8 * at);
  return v;
}
// Words lo and hi (least significant byte first) as the 16 bytes at p, in one store where the
// processor has one.
inline void StorePair64(std::uint8_t* p, std::uint64_t lo, std::uint64_t hi) {
#if defined(__SSE2__)
  if constexpr (kLittleEndian) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo)));
    return;
  }
#endif
  StoreWord64(p, lo);
  StoreWord64(p + 8, hi);
}
constexpr std::uint64_t SwapBytes64(std::uint64_t v) {
  return (std::uint64_t(SwapBytes32(std::uint32_t(v))) << 32) | SwapBytes32(std::uint32_t(v >> 32));
}

// Expected digests of the shared 32-byte test input, in digest byte order.
// clang-format off
const std::uint8_t kMD4KnownAnswer[16] = {0x25, 0xEA, 0xBF, 0xCC, 0x8C, 0xC9, 0x6F, 0xD9,
                                          0x2D, 0xCF, 0x7E, 0xBD, 0x7F, 0x87, 0x7C, 0x7C};
const std::uint8_t kMD5KnownAnswer[16] = {0x3E, 0xD8, 0x34, 0x8C, 0xD2, 0xA4, 0x45, 0xD6,
                                          0x75, 0x5D, 0x4B, 0xC9, 0xFE, 0xDC, 0xC2, 0xC6};
const std::uint8_t kRipeMD128KnownAnswer[16] = {0xCF, 0xA0, 0x32, 0xCF, 0xD0, 0x8F, 0x87, 0x3A,
                                                0x78, 0xDF, 0x13, 0xE7, 0xEB, 0xCD, 0x98, 0x0F};
const std::uint8_t kRipeMD160KnownAnswer[20] = {0x19, 0x54, 0xDE, 0xBC, 0x1B, 0x55, 0x35,
                                                0x30, 0x08, 0x1D, 0x9B, 0x80, 0x70, 0xA0,
                                                0xF2, 0x4A, 0x9D, 0xF7, 0x34, 0x04};
const std::uint8_t kRipeMD256KnownAnswer[32] = {
    0xC3, 0xB1, 0xD7, 0xAC, 0xA8, 0x9A, 0x47, 0x7A, 0x38, 0xD3, 0x6D, 0x39, 0xEF, 0x00, 0xFB, 0x45,
    0xFC, 0x4E, 0xC3, 0x1A, 0x71, 0x21, 0xDB, 0x9E, 0x1C, 0x76, 0xC5, 0xDE, 0x99, 0x88, 0x18, 0xC2};
const std::uint8_t kRipeMD320KnownAnswer[40] = {
    0xB7, 0xBD, 0x2C, 0x75, 0xB7, 0x13, 0x50, 0x91, 0xE4, 0x67, 0x09, 0x46, 0xF1, 0x41,
    0x5A, 0x48, 0x45, 0xDF, 0x8E, 0x07, 0xBA, 0x67, 0x4E, 0xA9, 0xFD, 0x66, 0xED, 0x01,
    0xD9, 0x6F, 0x23, 0x20, 0xB5, 0x11, 0x12, 0xC5, 0xA7, 0x41, 0xA6, 0x5C};
const std::uint8_t kSHAKnownAnswer[20] = {0xDC, 0x1F, 0x7D, 0x7C, 0x96, 0xDD, 0xC7, 0xFC, 0x4D, 0x0A,
                                          0xF2, 0xCC, 0x12, 0xE7, 0xF7, 0x66, 0x5B, 0xB1, 0x85, 0xAC};
const std::uint8_t kSHA1KnownAnswer[20] = {0x9A, 0x01, 0x2E, 0x63, 0x96, 0x2A, 0x92, 0xEB, 0xD8, 0x2E,
                                           0xF0, 0xBC, 0x1C, 0xA4, 0x51, 0x6A, 0x08, 0x69, 0x2E, 0x68};

// Shared start values (the RIPEMD-320 ones; their first four words start MD4, MD5 and
// RIPEMD-128, their first five RIPEMD-160, SHA and SHA-1).
const std::uint32_t kSharedStart[10] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                        0xC3D2E1F0u, 0x76543210u, 0xFEDCBA98u, 0x89ABCDEFu,
                                        0x01234567u, 0x3C2D1E0Fu};
// Words 8 and 9 play no part in RIPEMD-256: they start at zero.
const std::uint32_t kRipeMD256Start[10] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                           0x76543210u, 0xFEDCBA98u, 0x89ABCDEFu, 0x01234567u,
                                           0u,          0u};
// clang-format on

}  // namespace

CORVANE_DEFINE_HASH_CLASS(THash_MD4, THash, 16, kMD4KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_MD5, THash_MD4, 16, kMD5KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_RipeMD128, THash_MD4, 16, kRipeMD128KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_RipeMD160, THash_MD4, 20, kRipeMD160KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_RipeMD256, THash_MD4, 32, kRipeMD256KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_RipeMD320, THash_MD4, 40, kRipeMD320KnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_SHA, THash_RipeMD160, 20, kSHAKnownAnswer)
CORVANE_DEFINE_HASH_CLASS(THash_SHA1, THash_SHA, 20, kSHA1KnownAnswer)

// ---------------------------------------------------------------------------------------------
// The shared framework

THash_MD4::~THash_MD4() {
  SecureWipe(ChainingState, sizeof ChainingState);
  SecureWipe(BlockBuffer, sizeof BlockBuffer);
  SecureWipe(&ByteCount, sizeof ByteCount);
}

std::uint8_t* THash_MD4::DigestBytes() { return ChainingState; }

void THash_MD4::StartWith(const std::uint32_t* words, std::size_t count) {
  std::memset(BlockBuffer, 0, sizeof BlockBuffer);
  if (kLittleEndian && count == kStateWords) {
    // In whole 16-byte pieces: a compression that loads the first four words as one piece then
    // takes them straight from this store, instead of waiting until word-sized stores have left
    // for the cache (which would hold the next message back behind the whole previous one).
    std::memcpy(ChainingState, words, 16);
    std::memcpy(ChainingState + 16, words + 4, 16);
    std::memcpy(ChainingState + 32, words + 8, 8);
  } else {
    for (std::size_t i = 0; i < kStateWords; ++i) SetStateWord(i, i < count ? words[i] : 0u);
  }
  ByteCount = 0;
}

void THash_MD4::DoStart() { StartWith(kSharedStart, 10); }

void THash_MD4::DoUpdate(const std::uint8_t* data, std::size_t size) {
  const std::size_t waiting = std::size_t(ByteCount % kBlockSize);
  ByteCount += size;
  // The input is read only at the moment each piece is copied or compressed: when it lies in
  // the chaining state, the bytes after a compression are the state as that compression left it.
  if (waiting > 0) {
    const std::size_t fill = kBlockSize - waiting;
    if (size < fill) {
      FillBuffer(waiting, data, size);
      return;
    }
    FillBuffer(waiting, data, fill);
    CompressBlocks(BlockBuffer, 1);
    data += fill;
    size -= fill;
  }
  if (size >= kBlockSize) {
    const std::size_t blocks = size / kBlockSize;
    CompressBlocks(data, blocks);
    data += blocks * kBlockSize;
    size -= blocks * kBlockSize;
  }
  if (size > 0) FillBuffer(0, data, size);
}

void THash_MD4::FillBuffer(std::size_t pos, const std::uint8_t* data, std::size_t size) {
  std::uint8_t* word = BlockBuffer + (pos & ~std::size_t(7));
  std::size_t at = pos & 7;  // bytes of the first word that are input already
  while (size > 0) {
    const std::size_t take = std::min<std::size_t>(8 - at, size);
    std::uint64_t v = take == 8 ? LoadWord64(data) : LoadPartial64(data, take) << (8 * at);
    if (at > 0) v |= LoadWord64(word) & ((std::uint64_t(1) << (8 * at)) - 1);
    StoreWord64(word, v);
    word += 8;
    data += take;
    size -= take;
    at = 0;
  }
}


// A run of blocks of a member that has no run code of its own: its compression called directly
// (not through the virtual slot, so it is inlined into the loop).
#define CORVANE_COMPRESS_RUN(Class)                                              \
  void Class::CompressBlocks(const std::uint8_t* data, std::size_t blocks) {     \
    for (; blocks > 0; --blocks, data += kBlockSize) Class::CompressBlock(data); \
  }

void THash_MD4::PadAndCompress(std::uint8_t padByte, bool bigEndianLength) {
  const std::size_t waiting = std::size_t(ByteCount % kBlockSize);
  const std::size_t full = waiting / 8, part = waiting % 8;
  // Word j of the final block: the waiting input, the pad byte, zeros. Each 16-byte piece is
  // made from its two words in registers and stored whole (a word array on the stack would be
  // stored word by word and reloaded in pieces).
  auto word = [&](std::size_t j) -> std::uint64_t {
    if (j < full) return LoadWord64(BlockBuffer + 8 * j);
    if (j > full) return 0;
    const std::uint64_t input =
        part ? LoadWord64(BlockBuffer + 8 * j) & ((std::uint64_t(1) << (8 * part)) - 1) : 0;
    return input | (std::uint64_t(padByte) << (8 * part));
  };
  const std::uint64_t bits = ByteCount * 8u;
  const std::uint64_t length = bigEndianLength ? SwapBytes64(bits) : bits;
  std::uint8_t* const b = BlockBuffer;
  StorePair64(b, word(0), word(1));
  StorePair64(b + 16, word(2), word(3));
  StorePair64(b + 32, word(4), word(5));
  if (waiting >= kBlockSize - 8) {  // no room left for the 8-byte length field
    StorePair64(b + 48, word(6), word(7));
    CompressBlocks(b, 1);
    StorePair64(b, 0, 0);
    StorePair64(b + 16, 0, 0);
    StorePair64(b + 32, 0, 0);
  }
  StorePair64(b + 48, waiting >= kBlockSize - 8 ? 0 : word(6), length);
  CompressBlocks(b, 1);
  std::memset(BlockBuffer, 0, kBlockSize);
}

void THash_MD4::DoFinish() { PadAndCompress(0x80, false); }

void THash_RipeMD256::DoStart() { StartWith(kRipeMD256Start, 10); }

void THash_SHA1::DoStart() {
  RotateSchedule = 1;
  StartWith(kSharedStart, 10);
}

void THash_SHA::DoFinish() {
  PadAndCompress(0x80, true);
  // The digest words most significant byte first, in place (all five loaded before any store).
  const std::uint32_t w0 = StateWord(0), w1 = StateWord(1), w2 = StateWord(2), w3 = StateWord(3),
                      w4 = StateWord(4);
  StoreBE32(ChainingState, w0);
  StoreBE32(ChainingState + 4, w1);
  StoreBE32(ChainingState + 8, w2);
  StoreBE32(ChainingState + 12, w3);
  StoreBE32(ChainingState + 16, w4);
}


// ---------------------------------------------------------------------------------------------
// Compression steps

CORVANE_COMPRESS_RUN(THash_RipeMD128)
CORVANE_COMPRESS_RUN(THash_RipeMD160)
CORVANE_COMPRESS_RUN(THash_RipeMD256)
CORVANE_COMPRESS_RUN(THash_RipeMD320)

// The sixteen message words of the block, least significant byte first.
#define LOAD_WORDS(p)                                                                               \
  const std::uint32_t x0 = LoadLE32((p) + 0), x1 = LoadLE32((p) + 4), x2 = LoadLE32((p) + 8),       \
                      x3 = LoadLE32((p) + 12), x4 = LoadLE32((p) + 16), x5 = LoadLE32((p) + 20),    \
                      x6 = LoadLE32((p) + 24), x7 = LoadLE32((p) + 28), x8 = LoadLE32((p) + 32),    \
                      x9 = LoadLE32((p) + 36), x10 = LoadLE32((p) + 40), x11 = LoadLE32((p) + 44),  \
                      x12 = LoadLE32((p) + 48), x13 = LoadLE32((p) + 52), x14 = LoadLE32((p) + 56), \
                      x15 = LoadLE32((p) + 60)
#define X(i) x##i

// Each step adds the message word and constant to a first and the round function last: a and
// the word are known early, the function waits for the word computed by the step before. The
// functions that select bits are written as sums of two disjoint parts, so the part that does
// not involve that latest word is added early as well.
#define MD4_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD4_G(x, y, z) (((x) & (y)) + ((z) & ((x) ^ (y))))
#define MD4_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD4_STEPK(f, a, b, c, d, x, k, s) \
  do {                                    \
    a += (x) + (k);                       \
    a += f(b, c, d);                      \
    a = RotateLeft32(a, s);               \
  } while (0)
#define MD4_STEP(f, a, b, c, d, x, s) MD4_STEPK(f, a, b, c, d, x, 0u, s)

#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  do {                                   \
    a += (x) + (t);                      \
    a += f(b, c, d);                     \
    a = b + RotateLeft32(a, s);          \
  } while (0)

#define RMD_F1(x, y, z) ((x) ^ (y) ^ (z))
#define RMD_F2(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define RMD_F3(x, y, z) (((x) | ~(y)) ^ (z))
#define RMD_F4(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define RMD_F5(x, y, z) ((x) ^ ((y) | ~(z)))
// RIPEMD-128/-256 step: the MD4 step with its constant.
#define RMD4_STEP MD4_STEPK
// RIPEMD-160/-320 step.
#define RMD5_STEP(f, a, b, c, d, e, x, k, s) \
  do {                                       \
    a += (x) + (k);                          \
    a += f(b, c, d);                         \
    a = RotateLeft32(a, s) + e;              \
    c = RotateLeft32(c, 10);                 \
  } while (0)

#define SHA_F1(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define SHA_F2(x, y, z) ((x) ^ (y) ^ (z))
// Majority as a sum of two disjoint parts, so each can be added on its own.
#define SHA_F3(x, y, z) (((x) & (y)) + ((z) & ((x) ^ (y))))
// The word and constant first, the freshly computed a last: a is the step's critical path.
#define SHA_STEP(f, a, b, c, d, e, w, k) \
  do {                                   \
    e += (w) + (k);                      \
    e += f(b, c, d);                     \
    e += RotateLeft32(a, 5);             \
    b = RotateLeft32(b, 30);             \
  } while (0)

namespace {

inline void AddWords(std::uint32_t (&s)[4], std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  s[0] += a;
  s[1] += b;
  s[2] += c;
  s[3] += d;
}

// One block into the four words s (kept in registers by a run of blocks).
[[gnu::always_inline]] inline void Md4Block(std::uint32_t (&s)[4], const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a = s[0], b = s[1], c = s[2], d = s[3];
  MD4_STEP(MD4_F, a, b, c, d, X(0), 3);
  MD4_STEP(MD4_F, d, a, b, c, X(1), 7);
  MD4_STEP(MD4_F, c, d, a, b, X(2), 11);
  MD4_STEP(MD4_F, b, c, d, a, X(3), 19);
  MD4_STEP(MD4_F, a, b, c, d, X(4), 3);
  MD4_STEP(MD4_F, d, a, b, c, X(5), 7);
  MD4_STEP(MD4_F, c, d, a, b, X(6), 11);
  MD4_STEP(MD4_F, b, c, d, a, X(7), 19);
  MD4_STEP(MD4_F, a, b, c, d, X(8), 3);
  MD4_STEP(MD4_F, d, a, b, c, X(9), 7);
  MD4_STEP(MD4_F, c, d, a, b, X(10), 11);
  MD4_STEP(MD4_F, b, c, d, a, X(11), 19);
  MD4_STEP(MD4_F, a, b, c, d, X(12), 3);
  MD4_STEP(MD4_F, d, a, b, c, X(13), 7);
  MD4_STEP(MD4_F, c, d, a, b, X(14), 11);
  MD4_STEP(MD4_F, b, c, d, a, X(15), 19);

  MD4_STEPK(MD4_G, a, b, c, d, X(0), 0x5A827999u, 3);
  MD4_STEPK(MD4_G, d, a, b, c, X(4), 0x5A827999u, 5);
  MD4_STEPK(MD4_G, c, d, a, b, X(8), 0x5A827999u, 9);
  MD4_STEPK(MD4_G, b, c, d, a, X(12), 0x5A827999u, 13);
  MD4_STEPK(MD4_G, a, b, c, d, X(1), 0x5A827999u, 3);
  MD4_STEPK(MD4_G, d, a, b, c, X(5), 0x5A827999u, 5);
  MD4_STEPK(MD4_G, c, d, a, b, X(9), 0x5A827999u, 9);
  MD4_STEPK(MD4_G, b, c, d, a, X(13), 0x5A827999u, 13);
  MD4_STEPK(MD4_G, a, b, c, d, X(2), 0x5A827999u, 3);
  MD4_STEPK(MD4_G, d, a, b, c, X(6), 0x5A827999u, 5);
  MD4_STEPK(MD4_G, c, d, a, b, X(10), 0x5A827999u, 9);
  MD4_STEPK(MD4_G, b, c, d, a, X(14), 0x5A827999u, 13);
  MD4_STEPK(MD4_G, a, b, c, d, X(3), 0x5A827999u, 3);
  MD4_STEPK(MD4_G, d, a, b, c, X(7), 0x5A827999u, 5);
  MD4_STEPK(MD4_G, c, d, a, b, X(11), 0x5A827999u, 9);
  MD4_STEPK(MD4_G, b, c, d, a, X(15), 0x5A827999u, 13);

  MD4_STEPK(MD4_H, a, b, c, d, X(0), 0x6ED9EBA1u, 3);
  MD4_STEPK(MD4_H, d, a, b, c, X(8), 0x6ED9EBA1u, 9);
  MD4_STEPK(MD4_H, c, d, a, b, X(4), 0x6ED9EBA1u, 11);
  MD4_STEPK(MD4_H, b, c, d, a, X(12), 0x6ED9EBA1u, 15);
  MD4_STEPK(MD4_H, a, b, c, d, X(2), 0x6ED9EBA1u, 3);
  MD4_STEPK(MD4_H, d, a, b, c, X(10), 0x6ED9EBA1u, 9);
  MD4_STEPK(MD4_H, c, d, a, b, X(6), 0x6ED9EBA1u, 11);
  MD4_STEPK(MD4_H, b, c, d, a, X(14), 0x6ED9EBA1u, 15);
  MD4_STEPK(MD4_H, a, b, c, d, X(1), 0x6ED9EBA1u, 3);
  MD4_STEPK(MD4_H, d, a, b, c, X(9), 0x6ED9EBA1u, 9);
  MD4_STEPK(MD4_H, c, d, a, b, X(5), 0x6ED9EBA1u, 11);
  MD4_STEPK(MD4_H, b, c, d, a, X(13), 0x6ED9EBA1u, 15);
  MD4_STEPK(MD4_H, a, b, c, d, X(3), 0x6ED9EBA1u, 3);
  MD4_STEPK(MD4_H, d, a, b, c, X(11), 0x6ED9EBA1u, 9);
  MD4_STEPK(MD4_H, c, d, a, b, X(7), 0x6ED9EBA1u, 11);
  MD4_STEPK(MD4_H, b, c, d, a, X(15), 0x6ED9EBA1u, 15);
  AddWords(s, a, b, c, d);
}

}  // namespace

void THash_MD4::CompressBlock(const std::uint8_t* block) { RunBlocks(block, 1, Md4Block); }

void THash_MD4::CompressBlocks(const std::uint8_t* data, std::size_t blocks) {
  // MD4 itself runs its blocks with the words in registers; a member that brings only a
  // CompressBlock of its own (and so a class descriptor of its own) gets it per block.
  if (&Class() == &THash_MD4::StaticClass()) {
    RunBlocks(data, blocks, Md4Block);
    return;
  }
  for (; blocks > 0; --blocks, data += kBlockSize) CompressBlock(data);
}


namespace {

// One block into the four words s (kept in registers by a run of blocks).
[[gnu::always_inline]] inline void Md5Block(std::uint32_t (&s)[4], const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a = s[0], b = s[1], c = s[2], d = s[3];
  MD5_STEP(MD5_F, a, b, c, d, X(0), 0xD76AA478u, 7);
  MD5_STEP(MD5_F, d, a, b, c, X(1), 0xE8C7B756u, 12);
  MD5_STEP(MD5_F, c, d, a, b, X(2), 0x242070DBu, 17);
  MD5_STEP(MD5_F, b, c, d, a, X(3), 0xC1BDCEEEu, 22);
  MD5_STEP(MD5_F, a, b, c, d, X(4), 0xF57C0FAFu, 7);
  MD5_STEP(MD5_F, d, a, b, c, X(5), 0x4787C62Au, 12);
  MD5_STEP(MD5_F, c, d, a, b, X(6), 0xA8304613u, 17);
  MD5_STEP(MD5_F, b, c, d, a, X(7), 0xFD469501u, 22);
  MD5_STEP(MD5_F, a, b, c, d, X(8), 0x698098D8u, 7);
  MD5_STEP(MD5_F, d, a, b, c, X(9), 0x8B44F7AFu, 12);
  MD5_STEP(MD5_F, c, d, a, b, X(10), 0xFFFF5BB1u, 17);
  MD5_STEP(MD5_F, b, c, d, a, X(11), 0x895CD7BEu, 22);
  MD5_STEP(MD5_F, a, b, c, d, X(12), 0x6B901122u, 7);
  MD5_STEP(MD5_F, d, a, b, c, X(13), 0xFD987193u, 12);
  MD5_STEP(MD5_F, c, d, a, b, X(14), 0xA679438Eu, 17);
  MD5_STEP(MD5_F, b, c, d, a, X(15), 0x49B40821u, 22);

  MD5_STEP(MD5_G, a, b, c, d, X(1), 0xF61E2562u, 5);
  MD5_STEP(MD5_G, d, a, b, c, X(6), 0xC040B340u, 9);
  MD5_STEP(MD5_G, c, d, a, b, X(11), 0x265E5A51u, 14);
  MD5_STEP(MD5_G, b, c, d, a, X(0), 0xE9B6C7AAu, 20);
  MD5_STEP(MD5_G, a, b, c, d, X(5), 0xD62F105Du, 5);
  MD5_STEP(MD5_G, d, a, b, c, X(10), 0x02441453u, 9);
  MD5_STEP(MD5_G, c, d, a, b, X(15), 0xD8A1E681u, 14);
  MD5_STEP(MD5_G, b, c, d, a, X(4), 0xE7D3FBC8u, 20);
  MD5_STEP(MD5_G, a, b, c, d, X(9), 0x21E1CDE6u, 5);
  MD5_STEP(MD5_G, d, a, b, c, X(14), 0xC33707D6u, 9);
  MD5_STEP(MD5_G, c, d, a, b, X(3), 0xF4D50D87u, 14);
  MD5_STEP(MD5_G, b, c, d, a, X(8), 0x455A14EDu, 20);
  MD5_STEP(MD5_G, a, b, c, d, X(13), 0xA9E3E905u, 5);
  MD5_STEP(MD5_G, d, a, b, c, X(2), 0xFCEFA3F8u, 9);
  MD5_STEP(MD5_G, c, d, a, b, X(7), 0x676F02D9u, 14);
  MD5_STEP(MD5_G, b, c, d, a, X(12), 0x8D2A4C8Au, 20);

  MD5_STEP(MD5_H, a, b, c, d, X(5), 0xFFFA3942u, 4);
  MD5_STEP(MD5_H, d, a, b, c, X(8), 0x8771F681u, 11);
  MD5_STEP(MD5_H, c, d, a, b, X(11), 0x6D9D6122u, 16);
  MD5_STEP(MD5_H, b, c, d, a, X(14), 0xFDE5380Cu, 23);
  MD5_STEP(MD5_H, a, b, c, d, X(1), 0xA4BEEA44u, 4);
  MD5_STEP(MD5_H, d, a, b, c, X(4), 0x4BDECFA9u, 11);
  MD5_STEP(MD5_H, c, d, a, b, X(7), 0xF6BB4B60u, 16);
  MD5_STEP(MD5_H, b, c, d, a, X(10), 0xBEBFBC70u, 23);
  MD5_STEP(MD5_H, a, b, c, d, X(13), 0x289B7EC6u, 4);
  MD5_STEP(MD5_H, d, a, b, c, X(0), 0xEAA127FAu, 11);
  MD5_STEP(MD5_H, c, d, a, b, X(3), 0xD4EF3085u, 16);
  MD5_STEP(MD5_H, b, c, d, a, X(6), 0x04881D05u, 23);
  MD5_STEP(MD5_H, a, b, c, d, X(9), 0xD9D4D039u, 4);
  MD5_STEP(MD5_H, d, a, b, c, X(12), 0xE6DB99E5u, 11);
  MD5_STEP(MD5_H, c, d, a, b, X(15), 0x1FA27CF8u, 16);
  MD5_STEP(MD5_H, b, c, d, a, X(2), 0xC4AC5665u, 23);

  MD5_STEP(MD5_I, a, b, c, d, X(0), 0xF4292244u, 6);
  MD5_STEP(MD5_I, d, a, b, c, X(7), 0x432AFF97u, 10);
  MD5_STEP(MD5_I, c, d, a, b, X(14), 0xAB9423A7u, 15);
  MD5_STEP(MD5_I, b, c, d, a, X(5), 0xFC93A039u, 21);
  MD5_STEP(MD5_I, a, b, c, d, X(12), 0x655B59C3u, 6);
  MD5_STEP(MD5_I, d, a, b, c, X(3), 0x8F0CCC92u, 10);
  MD5_STEP(MD5_I, c, d, a, b, X(10), 0xFFEFF47Du, 15);
  MD5_STEP(MD5_I, b, c, d, a, X(1), 0x85845DD1u, 21);
  MD5_STEP(MD5_I, a, b, c, d, X(8), 0x6FA87E4Fu, 6);
  MD5_STEP(MD5_I, d, a, b, c, X(15), 0xFE2CE6E0u, 10);
  MD5_STEP(MD5_I, c, d, a, b, X(6), 0xA3014314u, 15);
  MD5_STEP(MD5_I, b, c, d, a, X(13), 0x4E0811A1u, 21);
  MD5_STEP(MD5_I, a, b, c, d, X(4), 0xF7537E82u, 6);
  MD5_STEP(MD5_I, d, a, b, c, X(11), 0xBD3AF235u, 10);
  MD5_STEP(MD5_I, c, d, a, b, X(2), 0x2AD7D2BBu, 15);
  MD5_STEP(MD5_I, b, c, d, a, X(9), 0xEB86D391u, 21);
  AddWords(s, a, b, c, d);
}

}  // namespace

void THash_MD5::CompressBlock(const std::uint8_t* block) { RunBlocks(block, 1, Md5Block); }

void THash_MD5::CompressBlocks(const std::uint8_t* data, std::size_t blocks) { RunBlocks(data, blocks, Md5Block); }

// The rounds of RIPEMD-128 and RIPEMD-256, both lines side by side on the registers a1-d1
// (left line) and a2-d2 (right line) and the words x0-x15 of the caller: the two members
// differ only in how their lines start and meet, and in RIPEMD-256's swaps between rounds.
#define RMD4_ROUND1                                          \
  RMD4_STEP(RMD_F1, a1, b1, c1, d1, X(0), 0x00000000u, 11);  \
  RMD4_STEP(RMD_F4, a2, b2, c2, d2, X(5), 0x50A28BE6u, 8);   \
  RMD4_STEP(RMD_F1, d1, a1, b1, c1, X(1), 0x00000000u, 14);  \
  RMD4_STEP(RMD_F4, d2, a2, b2, c2, X(14), 0x50A28BE6u, 9);  \
  RMD4_STEP(RMD_F1, c1, d1, a1, b1, X(2), 0x00000000u, 15);  \
  RMD4_STEP(RMD_F4, c2, d2, a2, b2, X(7), 0x50A28BE6u, 9);   \
  RMD4_STEP(RMD_F1, b1, c1, d1, a1, X(3), 0x00000000u, 12);  \
  RMD4_STEP(RMD_F4, b2, c2, d2, a2, X(0), 0x50A28BE6u, 11);  \
  RMD4_STEP(RMD_F1, a1, b1, c1, d1, X(4), 0x00000000u, 5);   \
  RMD4_STEP(RMD_F4, a2, b2, c2, d2, X(9), 0x50A28BE6u, 13);  \
  RMD4_STEP(RMD_F1, d1, a1, b1, c1, X(5), 0x00000000u, 8);   \
  RMD4_STEP(RMD_F4, d2, a2, b2, c2, X(2), 0x50A28BE6u, 15);  \
  RMD4_STEP(RMD_F1, c1, d1, a1, b1, X(6), 0x00000000u, 7);   \
  RMD4_STEP(RMD_F4, c2, d2, a2, b2, X(11), 0x50A28BE6u, 15); \
  RMD4_STEP(RMD_F1, b1, c1, d1, a1, X(7), 0x00000000u, 9);   \
  RMD4_STEP(RMD_F4, b2, c2, d2, a2, X(4), 0x50A28BE6u, 5);   \
  RMD4_STEP(RMD_F1, a1, b1, c1, d1, X(8), 0x00000000u, 11);  \
  RMD4_STEP(RMD_F4, a2, b2, c2, d2, X(13), 0x50A28BE6u, 7);  \
  RMD4_STEP(RMD_F1, d1, a1, b1, c1, X(9), 0x00000000u, 13);  \
  RMD4_STEP(RMD_F4, d2, a2, b2, c2, X(6), 0x50A28BE6u, 7);   \
  RMD4_STEP(RMD_F1, c1, d1, a1, b1, X(10), 0x00000000u, 14); \
  RMD4_STEP(RMD_F4, c2, d2, a2, b2, X(15), 0x50A28BE6u, 8);  \
  RMD4_STEP(RMD_F1, b1, c1, d1, a1, X(11), 0x00000000u, 15); \
  RMD4_STEP(RMD_F4, b2, c2, d2, a2, X(8), 0x50A28BE6u, 11);  \
  RMD4_STEP(RMD_F1, a1, b1, c1, d1, X(12), 0x00000000u, 6);  \
  RMD4_STEP(RMD_F4, a2, b2, c2, d2, X(1), 0x50A28BE6u, 14);  \
  RMD4_STEP(RMD_F1, d1, a1, b1, c1, X(13), 0x00000000u, 7);  \
  RMD4_STEP(RMD_F4, d2, a2, b2, c2, X(10), 0x50A28BE6u, 14); \
  RMD4_STEP(RMD_F1, c1, d1, a1, b1, X(14), 0x00000000u, 9);  \
  RMD4_STEP(RMD_F4, c2, d2, a2, b2, X(3), 0x50A28BE6u, 12);  \
  RMD4_STEP(RMD_F1, b1, c1, d1, a1, X(15), 0x00000000u, 8);  \
  RMD4_STEP(RMD_F4, b2, c2, d2, a2, X(12), 0x50A28BE6u, 6)

#define RMD4_ROUND2                                          \
  RMD4_STEP(RMD_F2, a1, b1, c1, d1, X(7), 0x5A827999u, 7);   \
  RMD4_STEP(RMD_F3, a2, b2, c2, d2, X(6), 0x5C4DD124u, 9);   \
  RMD4_STEP(RMD_F2, d1, a1, b1, c1, X(4), 0x5A827999u, 6);   \
  RMD4_STEP(RMD_F3, d2, a2, b2, c2, X(11), 0x5C4DD124u, 13); \
  RMD4_STEP(RMD_F2, c1, d1, a1, b1, X(13), 0x5A827999u, 8);  \
  RMD4_STEP(RMD_F3, c2, d2, a2, b2, X(3), 0x5C4DD124u, 15);  \
  RMD4_STEP(RMD_F2, b1, c1, d1, a1, X(1), 0x5A827999u, 13);  \
  RMD4_STEP(RMD_F3, b2, c2, d2, a2, X(7), 0x5C4DD124u, 7);   \
  RMD4_STEP(RMD_F2, a1, b1, c1, d1, X(10), 0x5A827999u, 11); \
  RMD4_STEP(RMD_F3, a2, b2, c2, d2, X(0), 0x5C4DD124u, 12);  \
  RMD4_STEP(RMD_F2, d1, a1, b1, c1, X(6), 0x5A827999u, 9);   \
  RMD4_STEP(RMD_F3, d2, a2, b2, c2, X(13), 0x5C4DD124u, 8);  \
  RMD4_STEP(RMD_F2, c1, d1, a1, b1, X(15), 0x5A827999u, 7);  \
  RMD4_STEP(RMD_F3, c2, d2, a2, b2, X(5), 0x5C4DD124u, 9);   \
  RMD4_STEP(RMD_F2, b1, c1, d1, a1, X(3), 0x5A827999u, 15);  \
  RMD4_STEP(RMD_F3, b2, c2, d2, a2, X(10), 0x5C4DD124u, 11); \
  RMD4_STEP(RMD_F2, a1, b1, c1, d1, X(12), 0x5A827999u, 7);  \
  RMD4_STEP(RMD_F3, a2, b2, c2, d2, X(14), 0x5C4DD124u, 7);  \
  RMD4_STEP(RMD_F2, d1, a1, b1, c1, X(0), 0x5A827999u, 12);  \
  RMD4_STEP(RMD_F3, d2, a2, b2, c2, X(15), 0x5C4DD124u, 7);  \
  RMD4_STEP(RMD_F2, c1, d1, a1, b1, X(9), 0x5A827999u, 15);  \
  RMD4_STEP(RMD_F3, c2, d2, a2, b2, X(8), 0x5C4DD124u, 12);  \
  RMD4_STEP(RMD_F2, b1, c1, d1, a1, X(5), 0x5A827999u, 9);   \
  RMD4_STEP(RMD_F3, b2, c2, d2, a2, X(12), 0x5C4DD124u, 7);  \
  RMD4_STEP(RMD_F2, a1, b1, c1, d1, X(2), 0x5A827999u, 11);  \
  RMD4_STEP(RMD_F3, a2, b2, c2, d2, X(4), 0x5C4DD124u, 6);   \
  RMD4_STEP(RMD_F2, d1, a1, b1, c1, X(14), 0x5A827999u, 7);  \
  RMD4_STEP(RMD_F3, d2, a2, b2, c2, X(9), 0x5C4DD124u, 15);  \
  RMD4_STEP(RMD_F2, c1, d1, a1, b1, X(11), 0x5A827999u, 13); \
  RMD4_STEP(RMD_F3, c2, d2, a2, b2, X(1), 0x5C4DD124u, 13);  \
  RMD4_STEP(RMD_F2, b1, c1, d1, a1, X(8), 0x5A827999u, 12);  \
  RMD4_STEP(RMD_F3, b2, c2, d2, a2, X(2), 0x5C4DD124u, 11)

#define RMD4_ROUND3                                          \
  RMD4_STEP(RMD_F3, a1, b1, c1, d1, X(3), 0x6ED9EBA1u, 11);  \
  RMD4_STEP(RMD_F2, a2, b2, c2, d2, X(15), 0x6D703EF3u, 9);  \
  RMD4_STEP(RMD_F3, d1, a1, b1, c1, X(10), 0x6ED9EBA1u, 13); \
  RMD4_STEP(RMD_F2, d2, a2, b2, c2, X(5), 0x6D703EF3u, 7);   \
  RMD4_STEP(RMD_F3, c1, d1, a1, b1, X(14), 0x6ED9EBA1u, 6);  \
  RMD4_STEP(RMD_F2, c2, d2, a2, b2, X(1), 0x6D703EF3u, 15);  \
  RMD4_STEP(RMD_F3, b1, c1, d1, a1, X(4), 0x6ED9EBA1u, 7);   \
  RMD4_STEP(RMD_F2, b2, c2, d2, a2, X(3), 0x6D703EF3u, 11);  \
  RMD4_STEP(RMD_F3, a1, b1, c1, d1, X(9), 0x6ED9EBA1u, 14);  \
  RMD4_STEP(RMD_F2, a2, b2, c2, d2, X(7), 0x6D703EF3u, 8);   \
  RMD4_STEP(RMD_F3, d1, a1, b1, c1, X(15), 0x6ED9EBA1u, 9);  \
  RMD4_STEP(RMD_F2, d2, a2, b2, c2, X(14), 0x6D703EF3u, 6);  \
  RMD4_STEP(RMD_F3, c1, d1, a1, b1, X(8), 0x6ED9EBA1u, 13);  \
  RMD4_STEP(RMD_F2, c2, d2, a2, b2, X(6), 0x6D703EF3u, 6);   \
  RMD4_STEP(RMD_F3, b1, c1, d1, a1, X(1), 0x6ED9EBA1u, 15);  \
  RMD4_STEP(RMD_F2, b2, c2, d2, a2, X(9), 0x6D703EF3u, 14);  \
  RMD4_STEP(RMD_F3, a1, b1, c1, d1, X(2), 0x6ED9EBA1u, 14);  \
  RMD4_STEP(RMD_F2, a2, b2, c2, d2, X(11), 0x6D703EF3u, 12); \
  RMD4_STEP(RMD_F3, d1, a1, b1, c1, X(7), 0x6ED9EBA1u, 8);   \
  RMD4_STEP(RMD_F2, d2, a2, b2, c2, X(8), 0x6D703EF3u, 13);  \
  RMD4_STEP(RMD_F3, c1, d1, a1, b1, X(0), 0x6ED9EBA1u, 13);  \
  RMD4_STEP(RMD_F2, c2, d2, a2, b2, X(12), 0x6D703EF3u, 5);  \
  RMD4_STEP(RMD_F3, b1, c1, d1, a1, X(6), 0x6ED9EBA1u, 6);   \
  RMD4_STEP(RMD_F2, b2, c2, d2, a2, X(2), 0x6D703EF3u, 14);  \
  RMD4_STEP(RMD_F3, a1, b1, c1, d1, X(13), 0x6ED9EBA1u, 5);  \
  RMD4_STEP(RMD_F2, a2, b2, c2, d2, X(10), 0x6D703EF3u, 13); \
  RMD4_STEP(RMD_F3, d1, a1, b1, c1, X(11), 0x6ED9EBA1u, 12); \
  RMD4_STEP(RMD_F2, d2, a2, b2, c2, X(0), 0x6D703EF3u, 13);  \
  RMD4_STEP(RMD_F3, c1, d1, a1, b1, X(5), 0x6ED9EBA1u, 7);   \
  RMD4_STEP(RMD_F2, c2, d2, a2, b2, X(4), 0x6D703EF3u, 7);   \
  RMD4_STEP(RMD_F3, b1, c1, d1, a1, X(12), 0x6ED9EBA1u, 5);  \
  RMD4_STEP(RMD_F2, b2, c2, d2, a2, X(13), 0x6D703EF3u, 5)

#define RMD4_ROUND4                                          \
  RMD4_STEP(RMD_F4, a1, b1, c1, d1, X(1), 0x8F1BBCDCu, 11);  \
  RMD4_STEP(RMD_F1, a2, b2, c2, d2, X(8), 0x00000000u, 15);  \
  RMD4_STEP(RMD_F4, d1, a1, b1, c1, X(9), 0x8F1BBCDCu, 12);  \
  RMD4_STEP(RMD_F1, d2, a2, b2, c2, X(6), 0x00000000u, 5);   \
  RMD4_STEP(RMD_F4, c1, d1, a1, b1, X(11), 0x8F1BBCDCu, 14); \
  RMD4_STEP(RMD_F1, c2, d2, a2, b2, X(4), 0x00000000u, 8);   \
  RMD4_STEP(RMD_F4, b1, c1, d1, a1, X(10), 0x8F1BBCDCu, 15); \
  RMD4_STEP(RMD_F1, b2, c2, d2, a2, X(1), 0x00000000u, 11);  \
  RMD4_STEP(RMD_F4, a1, b1, c1, d1, X(0), 0x8F1BBCDCu, 14);  \
  RMD4_STEP(RMD_F1, a2, b2, c2, d2, X(3), 0x00000000u, 14);  \
  RMD4_STEP(RMD_F4, d1, a1, b1, c1, X(8), 0x8F1BBCDCu, 15);  \
  RMD4_STEP(RMD_F1, d2, a2, b2, c2, X(11), 0x00000000u, 14); \
  RMD4_STEP(RMD_F4, c1, d1, a1, b1, X(12), 0x8F1BBCDCu, 9);  \
  RMD4_STEP(RMD_F1, c2, d2, a2, b2, X(15), 0x00000000u, 6);  \
  RMD4_STEP(RMD_F4, b1, c1, d1, a1, X(4), 0x8F1BBCDCu, 8);   \
  RMD4_STEP(RMD_F1, b2, c2, d2, a2, X(0), 0x00000000u, 14);  \
  RMD4_STEP(RMD_F4, a1, b1, c1, d1, X(13), 0x8F1BBCDCu, 9);  \
  RMD4_STEP(RMD_F1, a2, b2, c2, d2, X(5), 0x00000000u, 6);   \
  RMD4_STEP(RMD_F4, d1, a1, b1, c1, X(3), 0x8F1BBCDCu, 14);  \
  RMD4_STEP(RMD_F1, d2, a2, b2, c2, X(12), 0x00000000u, 9);  \
  RMD4_STEP(RMD_F4, c1, d1, a1, b1, X(7), 0x8F1BBCDCu, 5);   \
  RMD4_STEP(RMD_F1, c2, d2, a2, b2, X(2), 0x00000000u, 12);  \
  RMD4_STEP(RMD_F4, b1, c1, d1, a1, X(15), 0x8F1BBCDCu, 6);  \
  RMD4_STEP(RMD_F1, b2, c2, d2, a2, X(13), 0x00000000u, 9);  \
  RMD4_STEP(RMD_F4, a1, b1, c1, d1, X(14), 0x8F1BBCDCu, 8);  \
  RMD4_STEP(RMD_F1, a2, b2, c2, d2, X(9), 0x00000000u, 12);  \
  RMD4_STEP(RMD_F4, d1, a1, b1, c1, X(5), 0x8F1BBCDCu, 6);   \
  RMD4_STEP(RMD_F1, d2, a2, b2, c2, X(7), 0x00000000u, 5);   \
  RMD4_STEP(RMD_F4, c1, d1, a1, b1, X(6), 0x8F1BBCDCu, 5);   \
  RMD4_STEP(RMD_F1, c2, d2, a2, b2, X(10), 0x00000000u, 15); \
  RMD4_STEP(RMD_F4, b1, c1, d1, a1, X(2), 0x8F1BBCDCu, 12);  \
  RMD4_STEP(RMD_F1, b2, c2, d2, a2, X(14), 0x00000000u, 8)

// The rounds of RIPEMD-160 and RIPEMD-320 likewise, on a1-e1 and a2-e2.
#define RMD5_ROUND1                                              \
  RMD5_STEP(RMD_F1, a1, b1, c1, d1, e1, X(0), 0x00000000u, 11);  \
  RMD5_STEP(RMD_F5, a2, b2, c2, d2, e2, X(5), 0x50A28BE6u, 8);   \
  RMD5_STEP(RMD_F1, e1, a1, b1, c1, d1, X(1), 0x00000000u, 14);  \
  RMD5_STEP(RMD_F5, e2, a2, b2, c2, d2, X(14), 0x50A28BE6u, 9);  \
  RMD5_STEP(RMD_F1, d1, e1, a1, b1, c1, X(2), 0x00000000u, 15);  \
  RMD5_STEP(RMD_F5, d2, e2, a2, b2, c2, X(7), 0x50A28BE6u, 9);   \
  RMD5_STEP(RMD_F1, c1, d1, e1, a1, b1, X(3), 0x00000000u, 12);  \
  RMD5_STEP(RMD_F5, c2, d2, e2, a2, b2, X(0), 0x50A28BE6u, 11);  \
  RMD5_STEP(RMD_F1, b1, c1, d1, e1, a1, X(4), 0x00000000u, 5);   \
  RMD5_STEP(RMD_F5, b2, c2, d2, e2, a2, X(9), 0x50A28BE6u, 13);  \
  RMD5_STEP(RMD_F1, a1, b1, c1, d1, e1, X(5), 0x00000000u, 8);   \
  RMD5_STEP(RMD_F5, a2, b2, c2, d2, e2, X(2), 0x50A28BE6u, 15);  \
  RMD5_STEP(RMD_F1, e1, a1, b1, c1, d1, X(6), 0x00000000u, 7);   \
  RMD5_STEP(RMD_F5, e2, a2, b2, c2, d2, X(11), 0x50A28BE6u, 15); \
  RMD5_STEP(RMD_F1, d1, e1, a1, b1, c1, X(7), 0x00000000u, 9);   \
  RMD5_STEP(RMD_F5, d2, e2, a2, b2, c2, X(4), 0x50A28BE6u, 5);   \
  RMD5_STEP(RMD_F1, c1, d1, e1, a1, b1, X(8), 0x00000000u, 11);  \
  RMD5_STEP(RMD_F5, c2, d2, e2, a2, b2, X(13), 0x50A28BE6u, 7);  \
  RMD5_STEP(RMD_F1, b1, c1, d1, e1, a1, X(9), 0x00000000u, 13);  \
  RMD5_STEP(RMD_F5, b2, c2, d2, e2, a2, X(6), 0x50A28BE6u, 7);   \
  RMD5_STEP(RMD_F1, a1, b1, c1, d1, e1, X(10), 0x00000000u, 14); \
  RMD5_STEP(RMD_F5, a2, b2, c2, d2, e2, X(15), 0x50A28BE6u, 8);  \
  RMD5_STEP(RMD_F1, e1, a1, b1, c1, d1, X(11), 0x00000000u, 15); \
  RMD5_STEP(RMD_F5, e2, a2, b2, c2, d2, X(8), 0x50A28BE6u, 11);  \
  RMD5_STEP(RMD_F1, d1, e1, a1, b1, c1, X(12), 0x00000000u, 6);  \
  RMD5_STEP(RMD_F5, d2, e2, a2, b2, c2, X(1), 0x50A28BE6u, 14);  \
  RMD5_STEP(RMD_F1, c1, d1, e1, a1, b1, X(13), 0x00000000u, 7);  \
  RMD5_STEP(RMD_F5, c2, d2, e2, a2, b2, X(10), 0x50A28BE6u, 14); \
  RMD5_STEP(RMD_F1, b1, c1, d1, e1, a1, X(14), 0x00000000u, 9);  \
  RMD5_STEP(RMD_F5, b2, c2, d2, e2, a2, X(3), 0x50A28BE6u, 12);  \
  RMD5_STEP(RMD_F1, a1, b1, c1, d1, e1, X(15), 0x00000000u, 8);  \
  RMD5_STEP(RMD_F5, a2, b2, c2, d2, e2, X(12), 0x50A28BE6u, 6)

#define RMD5_ROUND2                                              \
  RMD5_STEP(RMD_F2, e1, a1, b1, c1, d1, X(7), 0x5A827999u, 7);   \
  RMD5_STEP(RMD_F4, e2, a2, b2, c2, d2, X(6), 0x5C4DD124u, 9);   \
  RMD5_STEP(RMD_F2, d1, e1, a1, b1, c1, X(4), 0x5A827999u, 6);   \
  RMD5_STEP(RMD_F4, d2, e2, a2, b2, c2, X(11), 0x5C4DD124u, 13); \
  RMD5_STEP(RMD_F2, c1, d1, e1, a1, b1, X(13), 0x5A827999u, 8);  \
  RMD5_STEP(RMD_F4, c2, d2, e2, a2, b2, X(3), 0x5C4DD124u, 15);  \
  RMD5_STEP(RMD_F2, b1, c1, d1, e1, a1, X(1), 0x5A827999u, 13);  \
  RMD5_STEP(RMD_F4, b2, c2, d2, e2, a2, X(7), 0x5C4DD124u, 7);   \
  RMD5_STEP(RMD_F2, a1, b1, c1, d1, e1, X(10), 0x5A827999u, 11); \
  RMD5_STEP(RMD_F4, a2, b2, c2, d2, e2, X(0), 0x5C4DD124u, 12);  \
  RMD5_STEP(RMD_F2, e1, a1, b1, c1, d1, X(6), 0x5A827999u, 9);   \
  RMD5_STEP(RMD_F4, e2, a2, b2, c2, d2, X(13), 0x5C4DD124u, 8);  \
  RMD5_STEP(RMD_F2, d1, e1, a1, b1, c1, X(15), 0x5A827999u, 7);  \
  RMD5_STEP(RMD_F4, d2, e2, a2, b2, c2, X(5), 0x5C4DD124u, 9);   \
  RMD5_STEP(RMD_F2, c1, d1, e1, a1, b1, X(3), 0x5A827999u, 15);  \
  RMD5_STEP(RMD_F4, c2, d2, e2, a2, b2, X(10), 0x5C4DD124u, 11); \
  RMD5_STEP(RMD_F2, b1, c1, d1, e1, a1, X(12), 0x5A827999u, 7);  \
  RMD5_STEP(RMD_F4, b2, c2, d2, e2, a2, X(14), 0x5C4DD124u, 7);  \
  RMD5_STEP(RMD_F2, a1, b1, c1, d1, e1, X(0), 0x5A827999u, 12);  \
  RMD5_STEP(RMD_F4, a2, b2, c2, d2, e2, X(15), 0x5C4DD124u, 7);  \
  RMD5_STEP(RMD_F2, e1, a1, b1, c1, d1, X(9), 0x5A827999u, 15);  \
  RMD5_STEP(RMD_F4, e2, a2, b2, c2, d2, X(8), 0x5C4DD124u, 12);  \
  RMD5_STEP(RMD_F2, d1, e1, a1, b1, c1, X(5), 0x5A827999u, 9);   \
  RMD5_STEP(RMD_F4, d2, e2, a2, b2, c2, X(12), 0x5C4DD124u, 7);  \
  RMD5_STEP(RMD_F2, c1, d1, e1, a1, b1, X(2), 0x5A827999u, 11);  \
  RMD5_STEP(RMD_F4, c2, d2, e2, a2, b2, X(4), 0x5C4DD124u, 6);   \
  RMD5_STEP(RMD_F2, b1, c1, d1, e1, a1, X(14), 0x5A827999u, 7);  \
  RMD5_STEP(RMD_F4, b2, c2, d2, e2, a2, X(9), 0x5C4DD124u, 15);  \
  RMD5_STEP(RMD_F2, a1, b1, c1, d1, e1, X(11), 0x5A827999u, 13); \
  RMD5_STEP(RMD_F4, a2, b2, c2, d2, e2, X(1), 0x5C4DD124u, 13);  \
  RMD5_STEP(RMD_F2, e1, a1, b1, c1, d1, X(8), 0x5A827999u, 12);  \
  RMD5_STEP(RMD_F4, e2, a2, b2, c2, d2, X(2), 0x5C4DD124u, 11)

#define RMD5_ROUND3                                              \
  RMD5_STEP(RMD_F3, d1, e1, a1, b1, c1, X(3), 0x6ED9EBA1u, 11);  \
  RMD5_STEP(RMD_F3, d2, e2, a2, b2, c2, X(15), 0x6D703EF3u, 9);  \
  RMD5_STEP(RMD_F3, c1, d1, e1, a1, b1, X(10), 0x6ED9EBA1u, 13); \
  RMD5_STEP(RMD_F3, c2, d2, e2, a2, b2, X(5), 0x6D703EF3u, 7);   \
  RMD5_STEP(RMD_F3, b1, c1, d1, e1, a1, X(14), 0x6ED9EBA1u, 6);  \
  RMD5_STEP(RMD_F3, b2, c2, d2, e2, a2, X(1), 0x6D703EF3u, 15);  \
  RMD5_STEP(RMD_F3, a1, b1, c1, d1, e1, X(4), 0x6ED9EBA1u, 7);   \
  RMD5_STEP(RMD_F3, a2, b2, c2, d2, e2, X(3), 0x6D703EF3u, 11);  \
  RMD5_STEP(RMD_F3, e1, a1, b1, c1, d1, X(9), 0x6ED9EBA1u, 14);  \
  RMD5_STEP(RMD_F3, e2, a2, b2, c2, d2, X(7), 0x6D703EF3u, 8);   \
  RMD5_STEP(RMD_F3, d1, e1, a1, b1, c1, X(15), 0x6ED9EBA1u, 9);  \
  RMD5_STEP(RMD_F3, d2, e2, a2, b2, c2, X(14), 0x6D703EF3u, 6);  \
  RMD5_STEP(RMD_F3, c1, d1, e1, a1, b1, X(8), 0x6ED9EBA1u, 13);  \
  RMD5_STEP(RMD_F3, c2, d2, e2, a2, b2, X(6), 0x6D703EF3u, 6);   \
  RMD5_STEP(RMD_F3, b1, c1, d1, e1, a1, X(1), 0x6ED9EBA1u, 15);  \
  RMD5_STEP(RMD_F3, b2, c2, d2, e2, a2, X(9), 0x6D703EF3u, 14);  \
  RMD5_STEP(RMD_F3, a1, b1, c1, d1, e1, X(2), 0x6ED9EBA1u, 14);  \
  RMD5_STEP(RMD_F3, a2, b2, c2, d2, e2, X(11), 0x6D703EF3u, 12); \
  RMD5_STEP(RMD_F3, e1, a1, b1, c1, d1, X(7), 0x6ED9EBA1u, 8);   \
  RMD5_STEP(RMD_F3, e2, a2, b2, c2, d2, X(8), 0x6D703EF3u, 13);  \
  RMD5_STEP(RMD_F3, d1, e1, a1, b1, c1, X(0), 0x6ED9EBA1u, 13);  \
  RMD5_STEP(RMD_F3, d2, e2, a2, b2, c2, X(12), 0x6D703EF3u, 5);  \
  RMD5_STEP(RMD_F3, c1, d1, e1, a1, b1, X(6), 0x6ED9EBA1u, 6);   \
  RMD5_STEP(RMD_F3, c2, d2, e2, a2, b2, X(2), 0x6D703EF3u, 14);  \
  RMD5_STEP(RMD_F3, b1, c1, d1, e1, a1, X(13), 0x6ED9EBA1u, 5);  \
  RMD5_STEP(RMD_F3, b2, c2, d2, e2, a2, X(10), 0x6D703EF3u, 13); \
  RMD5_STEP(RMD_F3, a1, b1, c1, d1, e1, X(11), 0x6ED9EBA1u, 12); \
  RMD5_STEP(RMD_F3, a2, b2, c2, d2, e2, X(0), 0x6D703EF3u, 13);  \
  RMD5_STEP(RMD_F3, e1, a1, b1, c1, d1, X(5), 0x6ED9EBA1u, 7);   \
  RMD5_STEP(RMD_F3, e2, a2, b2, c2, d2, X(4), 0x6D703EF3u, 7);   \
  RMD5_STEP(RMD_F3, d1, e1, a1, b1, c1, X(12), 0x6ED9EBA1u, 5);  \
  RMD5_STEP(RMD_F3, d2, e2, a2, b2, c2, X(13), 0x6D703EF3u, 5)

#define RMD5_ROUND4                                              \
  RMD5_STEP(RMD_F4, c1, d1, e1, a1, b1, X(1), 0x8F1BBCDCu, 11);  \
  RMD5_STEP(RMD_F2, c2, d2, e2, a2, b2, X(8), 0x7A6D76E9u, 15);  \
  RMD5_STEP(RMD_F4, b1, c1, d1, e1, a1, X(9), 0x8F1BBCDCu, 12);  \
  RMD5_STEP(RMD_F2, b2, c2, d2, e2, a2, X(6), 0x7A6D76E9u, 5);   \
  RMD5_STEP(RMD_F4, a1, b1, c1, d1, e1, X(11), 0x8F1BBCDCu, 14); \
  RMD5_STEP(RMD_F2, a2, b2, c2, d2, e2, X(4), 0x7A6D76E9u, 8);   \
  RMD5_STEP(RMD_F4, e1, a1, b1, c1, d1, X(10), 0x8F1BBCDCu, 15); \
  RMD5_STEP(RMD_F2, e2, a2, b2, c2, d2, X(1), 0x7A6D76E9u, 11);  \
  RMD5_STEP(RMD_F4, d1, e1, a1, b1, c1, X(0), 0x8F1BBCDCu, 14);  \
  RMD5_STEP(RMD_F2, d2, e2, a2, b2, c2, X(3), 0x7A6D76E9u, 14);  \
  RMD5_STEP(RMD_F4, c1, d1, e1, a1, b1, X(8), 0x8F1BBCDCu, 15);  \
  RMD5_STEP(RMD_F2, c2, d2, e2, a2, b2, X(11), 0x7A6D76E9u, 14); \
  RMD5_STEP(RMD_F4, b1, c1, d1, e1, a1, X(12), 0x8F1BBCDCu, 9);  \
  RMD5_STEP(RMD_F2, b2, c2, d2, e2, a2, X(15), 0x7A6D76E9u, 6);  \
  RMD5_STEP(RMD_F4, a1, b1, c1, d1, e1, X(4), 0x8F1BBCDCu, 8);   \
  RMD5_STEP(RMD_F2, a2, b2, c2, d2, e2, X(0), 0x7A6D76E9u, 14);  \
  RMD5_STEP(RMD_F4, e1, a1, b1, c1, d1, X(13), 0x8F1BBCDCu, 9);  \
  RMD5_STEP(RMD_F2, e2, a2, b2, c2, d2, X(5), 0x7A6D76E9u, 6);   \
  RMD5_STEP(RMD_F4, d1, e1, a1, b1, c1, X(3), 0x8F1BBCDCu, 14);  \
  RMD5_STEP(RMD_F2, d2, e2, a2, b2, c2, X(12), 0x7A6D76E9u, 9);  \
  RMD5_STEP(RMD_F4, c1, d1, e1, a1, b1, X(7), 0x8F1BBCDCu, 5);   \
  RMD5_STEP(RMD_F2, c2, d2, e2, a2, b2, X(2), 0x7A6D76E9u, 12);  \
  RMD5_STEP(RMD_F4, b1, c1, d1, e1, a1, X(15), 0x8F1BBCDCu, 6);  \
  RMD5_STEP(RMD_F2, b2, c2, d2, e2, a2, X(13), 0x7A6D76E9u, 9);  \
  RMD5_STEP(RMD_F4, a1, b1, c1, d1, e1, X(14), 0x8F1BBCDCu, 8);  \
  RMD5_STEP(RMD_F2, a2, b2, c2, d2, e2, X(9), 0x7A6D76E9u, 12);  \
  RMD5_STEP(RMD_F4, e1, a1, b1, c1, d1, X(5), 0x8F1BBCDCu, 6);   \
  RMD5_STEP(RMD_F2, e2, a2, b2, c2, d2, X(7), 0x7A6D76E9u, 5);   \
  RMD5_STEP(RMD_F4, d1, e1, a1, b1, c1, X(6), 0x8F1BBCDCu, 5);   \
  RMD5_STEP(RMD_F2, d2, e2, a2, b2, c2, X(10), 0x7A6D76E9u, 15); \
  RMD5_STEP(RMD_F4, c1, d1, e1, a1, b1, X(2), 0x8F1BBCDCu, 12);  \
  RMD5_STEP(RMD_F2, c2, d2, e2, a2, b2, X(14), 0x7A6D76E9u, 8)

#define RMD5_ROUND5                                              \
  RMD5_STEP(RMD_F5, b1, c1, d1, e1, a1, X(4), 0xA953FD4Eu, 9);   \
  RMD5_STEP(RMD_F1, b2, c2, d2, e2, a2, X(12), 0x00000000u, 8);  \
  RMD5_STEP(RMD_F5, a1, b1, c1, d1, e1, X(0), 0xA953FD4Eu, 15);  \
  RMD5_STEP(RMD_F1, a2, b2, c2, d2, e2, X(15), 0x00000000u, 5);  \
  RMD5_STEP(RMD_F5, e1, a1, b1, c1, d1, X(5), 0xA953FD4Eu, 5);   \
  RMD5_STEP(RMD_F1, e2, a2, b2, c2, d2, X(10), 0x00000000u, 12); \
  RMD5_STEP(RMD_F5, d1, e1, a1, b1, c1, X(9), 0xA953FD4Eu, 11);  \
  RMD5_STEP(RMD_F1, d2, e2, a2, b2, c2, X(4), 0x00000000u, 9);   \
  RMD5_STEP(RMD_F5, c1, d1, e1, a1, b1, X(7), 0xA953FD4Eu, 6);   \
  RMD5_STEP(RMD_F1, c2, d2, e2, a2, b2, X(1), 0x00000000u, 12);  \
  RMD5_STEP(RMD_F5, b1, c1, d1, e1, a1, X(12), 0xA953FD4Eu, 8);  \
  RMD5_STEP(RMD_F1, b2, c2, d2, e2, a2, X(5), 0x00000000u, 5);   \
  RMD5_STEP(RMD_F5, a1, b1, c1, d1, e1, X(2), 0xA953FD4Eu, 13);  \
  RMD5_STEP(RMD_F1, a2, b2, c2, d2, e2, X(8), 0x00000000u, 14);  \
  RMD5_STEP(RMD_F5, e1, a1, b1, c1, d1, X(10), 0xA953FD4Eu, 12); \
  RMD5_STEP(RMD_F1, e2, a2, b2, c2, d2, X(7), 0x00000000u, 6);   \
  RMD5_STEP(RMD_F5, d1, e1, a1, b1, c1, X(14), 0xA953FD4Eu, 5);  \
  RMD5_STEP(RMD_F1, d2, e2, a2, b2, c2, X(6), 0x00000000u, 8);   \
  RMD5_STEP(RMD_F5, c1, d1, e1, a1, b1, X(1), 0xA953FD4Eu, 12);  \
  RMD5_STEP(RMD_F1, c2, d2, e2, a2, b2, X(2), 0x00000000u, 13);  \
  RMD5_STEP(RMD_F5, b1, c1, d1, e1, a1, X(3), 0xA953FD4Eu, 13);  \
  RMD5_STEP(RMD_F1, b2, c2, d2, e2, a2, X(13), 0x00000000u, 6);  \
  RMD5_STEP(RMD_F5, a1, b1, c1, d1, e1, X(8), 0xA953FD4Eu, 14);  \
  RMD5_STEP(RMD_F1, a2, b2, c2, d2, e2, X(14), 0x00000000u, 5);  \
  RMD5_STEP(RMD_F5, e1, a1, b1, c1, d1, X(11), 0xA953FD4Eu, 11); \
  RMD5_STEP(RMD_F1, e2, a2, b2, c2, d2, X(0), 0x00000000u, 15);  \
  RMD5_STEP(RMD_F5, d1, e1, a1, b1, c1, X(6), 0xA953FD4Eu, 8);   \
  RMD5_STEP(RMD_F1, d2, e2, a2, b2, c2, X(3), 0x00000000u, 13);  \
  RMD5_STEP(RMD_F5, c1, d1, e1, a1, b1, X(15), 0xA953FD4Eu, 5);  \
  RMD5_STEP(RMD_F1, c2, d2, e2, a2, b2, X(9), 0x00000000u, 11);  \
  RMD5_STEP(RMD_F5, b1, c1, d1, e1, a1, X(13), 0xA953FD4Eu, 6);  \
  RMD5_STEP(RMD_F1, b2, c2, d2, e2, a2, X(11), 0x00000000u, 11)

void THash_RipeMD128::CompressBlock(const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a1 = StateWord(0), b1 = StateWord(1), c1 = StateWord(2), d1 = StateWord(3);
  std::uint32_t a2 = a1, b2 = b1, c2 = c1, d2 = d1;
  RMD4_ROUND1;
  RMD4_ROUND2;
  RMD4_ROUND3;
  RMD4_ROUND4;
  const std::uint32_t t = StateWord(1) + c1 + d2;
  SetStateWord(1, StateWord(2) + d1 + a2);
  SetStateWord(2, StateWord(3) + a1 + b2);
  SetStateWord(3, StateWord(0) + b1 + c2);
  SetStateWord(0, t);
}

void THash_RipeMD160::CompressBlock(const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a1 = StateWord(0), b1 = StateWord(1), c1 = StateWord(2), d1 = StateWord(3), e1 = StateWord(4);
  std::uint32_t a2 = a1, b2 = b1, c2 = c1, d2 = d1, e2 = e1;
  RMD5_ROUND1;
  RMD5_ROUND2;
  RMD5_ROUND3;
  RMD5_ROUND4;
  RMD5_ROUND5;
  const std::uint32_t t = StateWord(1) + c1 + d2;
  SetStateWord(1, StateWord(2) + d1 + e2);
  SetStateWord(2, StateWord(3) + e1 + a2);
  SetStateWord(3, StateWord(4) + a1 + b2);
  SetStateWord(4, StateWord(0) + b1 + c2);
  SetStateWord(0, t);
}

void THash_RipeMD256::CompressBlock(const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a1 = StateWord(0), b1 = StateWord(1), c1 = StateWord(2), d1 = StateWord(3);
  std::uint32_t a2 = StateWord(4), b2 = StateWord(5), c2 = StateWord(6), d2 = StateWord(7);
  RMD4_ROUND1;
  std::swap(a1, a2);
  RMD4_ROUND2;
  std::swap(b1, b2);
  RMD4_ROUND3;
  std::swap(c1, c2);
  RMD4_ROUND4;
  std::swap(d1, d2);
  AddStateWords4(a1, b1, c1, d1);
  SetStateWord(4, StateWord(4) + a2);
  SetStateWord(5, StateWord(5) + b2);
  SetStateWord(6, StateWord(6) + c2);
  SetStateWord(7, StateWord(7) + d2);
}

void THash_RipeMD320::CompressBlock(const std::uint8_t* block) {
  LOAD_WORDS(block);
  std::uint32_t a1 = StateWord(0), b1 = StateWord(1), c1 = StateWord(2), d1 = StateWord(3), e1 = StateWord(4);
  std::uint32_t a2 = StateWord(5), b2 = StateWord(6), c2 = StateWord(7), d2 = StateWord(8), e2 = StateWord(9);
  RMD5_ROUND1;
  std::swap(a1, a2);
  RMD5_ROUND2;
  std::swap(b1, b2);
  RMD5_ROUND3;
  std::swap(c1, c2);
  RMD5_ROUND4;
  std::swap(d1, d2);
  RMD5_ROUND5;
  std::swap(e1, e2);
  AddStateWords5(0, a1, b1, c1, d1, e1);
  AddStateWords5(5, a2, b2, c2, d2, e2);
}

namespace {

// The message words ride in a ring of sixteen: word t (t >= 16) replaces word t - 16 in place,
// one step ahead of its use, so the schedule costs no pass and no store of its own. R is the
// rotation of the schedule: 1 for SHA-1, 0 for SHA.
template <unsigned R>
inline std::uint32_t ShaNext(std::uint32_t (&x)[16], unsigned t) {
  const std::uint32_t v = RotateLeft32(x[(t + 13) & 15] ^ x[(t + 8) & 15] ^ x[(t + 2) & 15] ^ x[t & 15], R);
  x[t & 15] = v;
  return v;
}

template <unsigned R>
inline void ShaCompressPortable(std::uint32_t (&s)[5], const std::uint8_t* block) {
  std::uint32_t x[16];
  for (unsigned t = 0; t < 16; ++t) x[t] = LoadBE32(block + 4 * t);
  std::uint32_t a = s[0], b = s[1], c = s[2], d = s[3], e = s[4];
  SHA_STEP(SHA_F1, a, b, c, d, e, x[0], 0x5A827999u);
  SHA_STEP(SHA_F1, e, a, b, c, d, x[1], 0x5A827999u);
  SHA_STEP(SHA_F1, d, e, a, b, c, x[2], 0x5A827999u);
  SHA_STEP(SHA_F1, c, d, e, a, b, x[3], 0x5A827999u);
  SHA_STEP(SHA_F1, b, c, d, e, a, x[4], 0x5A827999u);
  SHA_STEP(SHA_F1, a, b, c, d, e, x[5], 0x5A827999u);
  SHA_STEP(SHA_F1, e, a, b, c, d, x[6], 0x5A827999u);
  SHA_STEP(SHA_F1, d, e, a, b, c, x[7], 0x5A827999u);
  SHA_STEP(SHA_F1, c, d, e, a, b, x[8], 0x5A827999u);
  SHA_STEP(SHA_F1, b, c, d, e, a, x[9], 0x5A827999u);
  SHA_STEP(SHA_F1, a, b, c, d, e, x[10], 0x5A827999u);
  SHA_STEP(SHA_F1, e, a, b, c, d, x[11], 0x5A827999u);
  SHA_STEP(SHA_F1, d, e, a, b, c, x[12], 0x5A827999u);
  SHA_STEP(SHA_F1, c, d, e, a, b, x[13], 0x5A827999u);
  SHA_STEP(SHA_F1, b, c, d, e, a, x[14], 0x5A827999u);
  SHA_STEP(SHA_F1, a, b, c, d, e, x[15], 0x5A827999u);
  SHA_STEP(SHA_F1, e, a, b, c, d, ShaNext<R>(x, 16), 0x5A827999u);
  SHA_STEP(SHA_F1, d, e, a, b, c, ShaNext<R>(x, 17), 0x5A827999u);
  SHA_STEP(SHA_F1, c, d, e, a, b, ShaNext<R>(x, 18), 0x5A827999u);
  SHA_STEP(SHA_F1, b, c, d, e, a, ShaNext<R>(x, 19), 0x5A827999u);

  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 20), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 21), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 22), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 23), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 24), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 25), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 26), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 27), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 28), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 29), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 30), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 31), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 32), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 33), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 34), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 35), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 36), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 37), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 38), 0x6ED9EBA1u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 39), 0x6ED9EBA1u);

  SHA_STEP(SHA_F3, a, b, c, d, e, ShaNext<R>(x, 40), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, e, a, b, c, d, ShaNext<R>(x, 41), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, d, e, a, b, c, ShaNext<R>(x, 42), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, c, d, e, a, b, ShaNext<R>(x, 43), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, b, c, d, e, a, ShaNext<R>(x, 44), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, a, b, c, d, e, ShaNext<R>(x, 45), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, e, a, b, c, d, ShaNext<R>(x, 46), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, d, e, a, b, c, ShaNext<R>(x, 47), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, c, d, e, a, b, ShaNext<R>(x, 48), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, b, c, d, e, a, ShaNext<R>(x, 49), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, a, b, c, d, e, ShaNext<R>(x, 50), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, e, a, b, c, d, ShaNext<R>(x, 51), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, d, e, a, b, c, ShaNext<R>(x, 52), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, c, d, e, a, b, ShaNext<R>(x, 53), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, b, c, d, e, a, ShaNext<R>(x, 54), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, a, b, c, d, e, ShaNext<R>(x, 55), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, e, a, b, c, d, ShaNext<R>(x, 56), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, d, e, a, b, c, ShaNext<R>(x, 57), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, c, d, e, a, b, ShaNext<R>(x, 58), 0x8F1BBCDCu);
  SHA_STEP(SHA_F3, b, c, d, e, a, ShaNext<R>(x, 59), 0x8F1BBCDCu);

  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 60), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 61), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 62), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 63), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 64), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 65), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 66), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 67), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 68), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 69), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 70), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 71), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 72), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 73), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 74), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, a, b, c, d, e, ShaNext<R>(x, 75), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, e, a, b, c, d, ShaNext<R>(x, 76), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, d, e, a, b, c, ShaNext<R>(x, 77), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, c, d, e, a, b, ShaNext<R>(x, 78), 0xCA62C1D6u);
  SHA_STEP(SHA_F2, b, c, d, e, a, ShaNext<R>(x, 79), 0xCA62C1D6u);
  s[0] += a;
  s[1] += b;
  s[2] += c;
  s[3] += d;
  s[4] += e;
}

// Whole blocks into words 0-4 of the state's byte view, with the portable steps (a function of
// its own, so that the processor's path does not pay for this one's frame).
template <unsigned R>
[[gnu::noinline]] void ShaCompressPortableBlocks(std::uint8_t* state, const std::uint8_t* data,
                                                 std::size_t blocks) {
  std::uint32_t s[5];
  for (std::size_t i = 0; i < 5; ++i) s[i] = LoadLE32(state + 4 * i);
  for (; blocks > 0; --blocks, data += 64) ShaCompressPortable<R>(s, data);
  for (std::size_t i = 0; i < 5; ++i) StoreLE32(state + 4 * i, s[i]);
}

}  // namespace

void THash_SHA::CompressBlock(const std::uint8_t* block) { CompressShaBlocks(block, 1); }

void THash_SHA::CompressBlocks(const std::uint8_t* data, std::size_t blocks) { CompressShaBlocks(data, blocks); }

void THash_SHA::CompressShaBlocks(const std::uint8_t* data, std::size_t blocks) {
#if defined(CORVANE_X86_KERNELS)
  if (CpuUses(kCpuSha)) {
    if (RotateSchedule != 0)
      sha_ni::Compress<true>(ChainingState, data, blocks);
    else
      sha_ni::Compress<false>(ChainingState, data, blocks);
    return;
  }
#endif
  if (RotateSchedule != 0)
    ShaCompressPortableBlocks<1>(ChainingState, data, blocks);
  else
    ShaCompressPortableBlocks<0>(ChainingState, data, blocks);
}

}  // namespace corvane
