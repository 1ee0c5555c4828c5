// Square. Blocks, keys and digests are four little-endian words; byte i of a word counts from
// the least significant. Cipher schedule buffer: 72 words, EK0..EK8 then DK0..DK8.
#include "cipher/ciphers/square.h"

#include <cstring>

#include "cipher/ciphers/shark.h"  // the field GF(2^8) mod 0x1F5 and the S-box
#include "cipher/base/support.h"

namespace corvane {

// Working memory of a key expansion and a compression; the callers wipe it once when done.
struct SquareScratch {
  std::uint32_t k[4], next[4];  // K(r-1), K(r)
  std::uint32_t m[4], key[4];   // the hash's block and key words
  std::uint32_t w[1][4];        // the hash's state: one block for Crypt
  std::uint32_t rk[4 * 9];      // the hash's round keys EK0..EK8
};

namespace {

// cmCTS encryption of the shared test input under the key "TCipher_Square", no IV.
// clang-format off
constexpr std::uint8_t kSquareKnownAnswer[32] = {
    0x43, 0x9c, 0xa6, 0xc4, 0x67, 0xe8, 0x2e, 0x47, 0x22, 0x95, 0x66, 0x85, 0x06, 0x39, 0x6a, 0xc9,
    0x18, 0x21, 0x20, 0xf7, 0x44, 0x36, 0xf1, 0x61, 0x7d, 0x14, 0x90, 0xb1, 0xa9, 0x68, 0x56, 0xc7};

// The Square digest of the shared test input.
constexpr std::uint8_t kSquareHashKnownAnswer[16] = {
    0x06, 0x0d, 0xe4, 0xc7, 0x73, 0xb1, 0x53, 0xeb, 0x32, 0x99, 0x1d, 0xe3, 0xbb, 0xe5, 0xcd, 0xdf};
// clang-format on

constexpr int kRounds = 8;
constexpr std::size_t kKeyWords = 4 * (kRounds + 1);  // one direction's round keys
constexpr std::size_t kEncKeys = 0, kDecKeys = kKeyWords;

constexpr SharkSquareSBoxes kSBoxes = MakeSharkSquareSBoxes();

struct Tables {
  std::uint32_t t[4][256];
};

// Word whose bytes (least significant first) are coefficient k times box[x].
constexpr Tables MakeTables(const std::uint8_t (&coeff)[4][4], const std::array<std::uint8_t, 256>& box) {
  Tables r{};
  for (int t = 0; t < 4; ++t)
    for (unsigned x = 0; x < 256; ++x) {
      std::uint32_t w = 0;
      for (int k = 0; k < 4; ++k) w |= std::uint32_t(Gf1F5Multiply(coeff[t][k], box[x])) << (8 * k);
      r.t[t][x] = w;
    }
  return r;
}

constexpr std::uint8_t kEncCoeff[4][4] = {{2, 1, 1, 3}, {3, 2, 1, 1}, {1, 3, 2, 1}, {1, 1, 3, 2}};
constexpr std::uint8_t kDecCoeff[4][4] = {
    {0x0e, 0x09, 0x0d, 0x0b}, {0x0b, 0x0e, 0x09, 0x0d}, {0x0d, 0x0b, 0x0e, 0x09}, {0x09, 0x0d, 0x0b, 0x0e}};

constexpr Tables kEnc = MakeTables(kEncCoeff, kSBoxes.forward);
constexpr Tables kDec = MakeTables(kDecCoeff, kSBoxes.inverse);

constexpr std::array<std::uint32_t, 256> MakeKeyTable() {
  std::array<std::uint32_t, 256> r{};
  for (unsigned x = 0; x < 256; ++x) {
    const auto b = std::uint8_t(x);
    r[x] = std::uint32_t(Gf1F5Multiply(2, b)) | (std::uint32_t(b) << 8) | (std::uint32_t(b) << 16) |
           (std::uint32_t(Gf1F5Multiply(3, b)) << 24);
  }
  return r;
}
constexpr std::array<std::uint32_t, 256> kKeyTable = MakeKeyTable();

inline unsigned Byte(std::uint32_t w, int i) { return (w >> (8 * i)) & 0xFFu; }

inline std::uint32_t Theta(std::uint32_t w) {
  return kKeyTable[Byte(w, 0)] ^ RotateLeft32(kKeyTable[Byte(w, 1)], 8) ^ RotateLeft32(kKeyTable[Byte(w, 2)], 16) ^
         RotateLeft32(kKeyTable[Byte(w, 3)], 24);
}

// The round keys from the key words key[0..3]: ek gets EK0..EK8; dk (if given) DK0..DK8.
void ExpandKey(const std::uint32_t (&key)[4], std::uint32_t* ek, std::uint32_t* dk, SquareScratch& s) {
  std::uint32_t(&k)[4] = s.k;
  std::uint32_t(&next)[4] = s.next;
  for (int j = 0; j < 4; ++j) k[j] = key[j];
  for (int r = 1; r <= kRounds; ++r) {
    next[0] = k[0] ^ RotateRight32(k[3], 8) ^ (1u << (r - 1));
    for (int j = 1; j < 4; ++j) next[j] = k[j] ^ next[j - 1];
    for (int j = 0; j < 4; ++j) {
      if (dk != nullptr && r > 1) dk[4 * (kRounds - (r - 1)) + j] = k[j];  // K(r-1) untransformed
      ek[4 * (r - 1) + j] = Theta(k[j]);
      k[j] = next[j];
    }
  }
  for (int j = 0; j < 4; ++j) {
    ek[4 * kRounds + j] = k[j];  // K(8) untransformed
    if (dk != nullptr) {
      dk[j] = k[j];
      dk[4 * kRounds + j] = ek[j];
    }
  }
}

// One output word of a round: the four table words of byte i of every state word, XORed as a
// tree (two independent XORs, then one) and with the round key word.
[[gnu::always_inline]] inline std::uint32_t RoundWord(const Tables& tab, const std::uint32_t (&a)[4], int i,
                                                      std::uint32_t k) {
  return ((tab.t[0][Byte(a[0], i)] ^ tab.t[1][Byte(a[1], i)]) ^
          (tab.t[2][Byte(a[2], i)] ^ tab.t[3][Byte(a[3], i)])) ^
         k;
}

// The cipher on N blocks of four words in place with round keys rk[0..35]; the blocks' rounds
// are independent, so their table lookups overlap.
template <int N>
[[gnu::always_inline]] inline void Crypt(const Tables& tab, const std::array<std::uint8_t, 256>& box,
                                         std::uint32_t (&w)[N][4], const std::uint32_t* rk) {
  std::uint32_t a[N][4];
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < 4; ++i) a[j][i] = w[j][i] ^ rk[i];
#pragma GCC unroll 8
  for (int r = 1; r < kRounds; ++r) {
    const std::uint32_t* k = rk + 4 * r;
#pragma GCC unroll 4
    for (int j = 0; j < N; ++j) {
      const std::uint32_t b0 = RoundWord(tab, a[j], 0, k[0]), b1 = RoundWord(tab, a[j], 1, k[1]);
      const std::uint32_t b2 = RoundWord(tab, a[j], 2, k[2]), b3 = RoundWord(tab, a[j], 3, k[3]);
      a[j][0] = b0, a[j][1] = b1, a[j][2] = b2, a[j][3] = b3;
    }
  }
  const std::uint32_t* k = rk + 4 * kRounds;
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j)
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i)
      w[j][i] = ((std::uint32_t(box[Byte(a[j][0], i)]) | (std::uint32_t(box[Byte(a[j][1], i)]) << 8)) |
                 ((std::uint32_t(box[Byte(a[j][2], i)]) << 16) | (std::uint32_t(box[Byte(a[j][3], i)]) << 24))) ^
                k[i];
}

template <int N>
[[gnu::always_inline]] inline void CryptBlocks(const Tables& tab, const std::array<std::uint8_t, 256>& box,
                                               std::uint8_t* p, const std::uint32_t* rk) {
  std::uint32_t w[N][4];
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < 4; ++i) w[j][i] = LoadLE32(p + 16 * j + 4 * i);
  Crypt<N>(tab, box, w, rk);
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j)
    for (int i = 0; i < 4; ++i) StoreLE32(p + 16 * j + 4 * i, w[j][i]);
}

// Two blocks at a time: eight state words and the round's temporaries fit the registers.
constexpr int kLanes = 2;

constexpr std::uint32_t kHashStart[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

}  // namespace

const std::array<std::uint32_t, 256>& SquareKeyTable() { return kKeyTable; }
const std::uint32_t (&SquareEncryptionTables())[4][256] { return kEnc.t; }
const std::uint32_t (&SquareDecryptionTables())[4][256] { return kDec.t; }

// ---- TCipher_Square ----

void TCipher_Square::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  std::uint8_t* s = Schedule();
  if (size > 0) std::memcpy(s, key, std::size_t(size));  // the rest of the buffer is zero
  SquareScratch scratch;
  for (int i = 0; i < 4; ++i) scratch.key[i] = LoadLE32(s + 4 * i);
  std::uint32_t* words = ScheduleAs<std::uint32_t>();
  ExpandKey(scratch.key, words + kEncKeys, words + kDecKeys, scratch);
  SecureWipe(&scratch, sizeof scratch);
}

void TCipher_Square::EncryptBlock(std::uint8_t* block) {
  CryptBlocks<1>(kEnc, kSBoxes.forward, block, ScheduleAs<std::uint32_t>() + kEncKeys);
}

void TCipher_Square::DecryptBlock(std::uint8_t* block) {
  CryptBlocks<1>(kDec, kSBoxes.inverse, block, ScheduleAs<std::uint32_t>() + kDecKeys);
}

void TCipher_Square::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint32_t* rk = ScheduleAs<std::uint32_t>() + kEncKeys;
  ForBlockGroups<kLanes>(blocks, n, 16,
                         [rk](auto lanes, std::uint8_t* p) { CryptBlocks<lanes>(kEnc, kSBoxes.forward, p, rk); });
}

void TCipher_Square::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint32_t* rk = ScheduleAs<std::uint32_t>() + kDecKeys;
  ForBlockGroups<kLanes>(blocks, n, 16,
                         [rk](auto lanes, std::uint8_t* p) { CryptBlocks<lanes>(kDec, kSBoxes.inverse, p, rk); });
}

// The serial modes on the block as four words in registers.
bool TCipher_Square::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                  std::uint8_t* f, std::uint8_t* s) {
  const std::uint32_t* rk = ScheduleAs<std::uint32_t>() + kEncKeys;
  return ChainEncrypt<ChainBlockLE128>(
      mode, source, dest, n, f, s, [rk](ChainBlockLE128::Block v) __attribute__((always_inline)) {
        std::uint32_t w[1][4] = {{v.w0, v.w1, v.w2, v.w3}};
        Crypt<1>(kEnc, kSBoxes.forward, w, rk);
        return ChainBlockLE128::Block{w[0][0], w[0][1], w[0][2], w[0][3]};
      });
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_Square, TCipher, 16, 16, 288, kSquareKnownAnswer)

// ---- THash_Square ----

THash_Square::~THash_Square() {
  SecureWipe(buffer_, sizeof buffer_);
  SecureWipe(digest_, sizeof digest_);
  SecureWipe(&count_, sizeof count_);
}

void THash_Square::DoStart() {
  SecureWipe(buffer_, sizeof buffer_);
  for (int i = 0; i < 4; ++i) StoreLE32(digest_ + 4 * i, kHashStart[i]);
  count_ = 0;
}

// The digest becomes Square(digest, block) XOR block. The block may be the digest itself: it is
// read in full before the digest changes.
void THash_Square::Compress(const std::uint8_t* block, SquareScratch& s) {
  for (int i = 0; i < 4; ++i) {
    s.m[i] = LoadLE32(block + 4 * i);
    s.key[i] = LoadLE32(digest_ + 4 * i);
    s.w[0][i] = s.m[i];
  }
  ExpandKey(s.key, s.rk, nullptr, s);
  Crypt<1>(kEnc, kSBoxes.forward, s.w, s.rk);
  for (int i = 0; i < 4; ++i) StoreLE32(digest_ + 4 * i, s.w[0][i] ^ s.m[i]);
}

void THash_Square::DoUpdate(const std::uint8_t* data, std::size_t size) {
  const std::size_t fill = count_ & 15u;
  count_ += std::uint32_t(size);
  if (fill != 0 && size < 16 - fill) {
    std::memcpy(buffer_ + fill, data, size);
    return;
  }
  SquareScratch scratch;
  if (fill != 0) {
    const std::size_t need = 16 - fill;
    std::memcpy(buffer_ + fill, data, need);
    Compress(buffer_, scratch);
    data += need;
    size -= need;
  }
  for (; size >= 16; data += 16, size -= 16) Compress(data, scratch);
  if (size > 0) std::memcpy(buffer_, data, size);
  SecureWipe(&scratch, sizeof scratch);
}

void THash_Square::DoFinish() {
  SquareScratch scratch;
  std::size_t pos = count_ & 15u;
  buffer_[pos++] = 0x80;
  if (pos > 8) {
    std::memset(buffer_ + pos, 0, 16 - pos);
    Compress(buffer_, scratch);
    pos = 0;
  }
  std::memset(buffer_ + pos, 0, 16 - pos);
  // The bit count modulo 2^32 as a signed 32-bit value, widened with its sign.
  const auto bits = std::int64_t(std::int32_t(count_ * 8u));
  StoreLE64(buffer_ + 8, std::uint64_t(bits));
  Compress(buffer_, scratch);
  SecureWipe(buffer_, sizeof buffer_);
  SecureWipe(&scratch, sizeof scratch);
}

CORVANE_DEFINE_HASH_CLASS(THash_Square, THash, 16, kSquareHashKnownAnswer)

}  // namespace corvane
