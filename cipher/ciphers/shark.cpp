// Shark. A block is one 64-bit integer read little-endian from its 8 bytes; byte t of it counts
// from the most significant (t = 0). Schedule buffer: 14 64-bit words (low half first), the
// encryption round keys EK0..EK6 then the decryption round keys DK0..DK6.
#include "cipher/ciphers/shark.h"

#include "cipher/base/support.h"

namespace corvane {

namespace {

// cmCTS encryption of the shared test input under the key "TCipher_Shark", no IV.
// clang-format off
constexpr std::uint8_t kSharkKnownAnswer[32] = {
    0xd9, 0x65, 0x21, 0xaa, 0xc0, 0xc3, 0x84, 0x60, 0x9d, 0xce, 0x1f, 0x8b, 0xfb, 0xab, 0x18, 0x3f,
    0xa1, 0x21, 0xac, 0xf8, 0x53, 0x49, 0xc0, 0x6f, 0x27, 0x3a, 0x89, 0x15, 0xd3, 0x7a, 0xe9, 0x0b};
// clang-format on

constexpr int kRounds = 6;
constexpr std::size_t kEncKeys = 0, kDecKeys = kRounds + 1;

constexpr std::uint8_t kG[8][8] = {
    {0xce, 0x95, 0x57, 0x82, 0x8a, 0x19, 0xb0, 0x01}, {0xe7, 0xfe, 0x05, 0xd2, 0x52, 0xc1, 0x88, 0xf1},
    {0xb9, 0xda, 0x4d, 0xd1, 0x9e, 0x17, 0x83, 0x86}, {0xd0, 0x9d, 0x26, 0x2c, 0x5d, 0x9f, 0x6d, 0x75},
    {0x52, 0xa9, 0x07, 0x6c, 0xb9, 0x8f, 0x70, 0x17}, {0x87, 0x28, 0x3a, 0x5a, 0xf4, 0x33, 0x0b, 0x6c},
    {0x74, 0x51, 0x15, 0xcf, 0x09, 0xa4, 0x62, 0x09}, {0x0b, 0x31, 0x7f, 0x86, 0xbe, 0x05, 0x83, 0x34}};

constexpr std::uint8_t kM[8][8] = {
    {0xe7, 0x30, 0x90, 0x85, 0xd0, 0x4b, 0x91, 0x41}, {0x53, 0x95, 0x9b, 0xa5, 0x96, 0xbc, 0xa1, 0x68},
    {0x02, 0x45, 0xf7, 0x65, 0x5c, 0x1f, 0xb6, 0x52}, {0xa2, 0xca, 0x22, 0x94, 0x44, 0x63, 0x2a, 0xa2},
    {0xfc, 0x67, 0x8e, 0x10, 0x29, 0x75, 0x85, 0x71}, {0x24, 0x45, 0xa2, 0xcf, 0x2f, 0x22, 0xc1, 0x0e},
    {0xa1, 0xf1, 0x71, 0x40, 0x91, 0x27, 0x18, 0xa5}, {0x56, 0xf4, 0xaf, 0x32, 0xd2, 0xa4, 0xdc, 0x71}};

constexpr SharkSquareSBoxes kSBoxes = MakeSharkSquareSBoxes();

struct Tables {
  std::uint64_t t[8][256];
};

// Column t of the matrix times box[x], row 0 in the most significant byte.
constexpr Tables MakeTables(const std::uint8_t (&matrix)[8][8], const std::array<std::uint8_t, 256>& box) {
  Tables r{};
  for (int t = 0; t < 8; ++t)
    for (unsigned x = 0; x < 256; ++x) {
      std::uint64_t w = 0;
      for (int row = 0; row < 8; ++row)
        w |= std::uint64_t(Gf1F5Multiply(matrix[row][t], box[x])) << (8 * (7 - row));
      r.t[t][x] = w;
    }
  return r;
}

constexpr Tables kEnc = MakeTables(kG, kSBoxes.forward);
constexpr Tables kDec = MakeTables(kM, kSBoxes.inverse);

inline unsigned Byte(std::uint64_t x, int t) { return unsigned(x >> (8 * (7 - t))) & 0xFFu; }

inline std::uint64_t Round(const Tables& tab, std::uint64_t x) {
  return tab.t[0][Byte(x, 0)] ^ tab.t[1][Byte(x, 1)] ^ tab.t[2][Byte(x, 2)] ^ tab.t[3][Byte(x, 3)] ^
         tab.t[4][Byte(x, 4)] ^ tab.t[5][Byte(x, 5)] ^ tab.t[6][Byte(x, 6)] ^ tab.t[7][Byte(x, 7)];
}

inline std::uint64_t Substitute(const std::array<std::uint8_t, 256>& box, std::uint64_t x) {
  std::uint64_t r = 0;
#pragma GCC unroll 8
  for (int i = 0; i < 64; i += 8) r |= std::uint64_t(box[(x >> i) & 0xFFu]) << i;
  return r;
}

// The cipher on one 64-bit integer with round keys key(0..6).
template <class Key>
inline std::uint64_t Crypt(const Tables& tab, const std::array<std::uint8_t, 256>& box, std::uint64_t x, Key key) {
#pragma GCC unroll 8
  for (int r = 0; r < kRounds - 1; ++r) x = Round(tab, x ^ key(r));
  return Substitute(box, x ^ key(kRounds - 1)) ^ key(kRounds);
}

// The cipher on N independent 64-bit integers at once (their table lookups overlap), with round
// keys key(0..6).
template <int N, class Key>
[[gnu::always_inline]] inline void CryptLanes(const Tables& tab, const std::array<std::uint8_t, 256>& box,
                                              std::uint64_t (&x)[N], Key key) {
#pragma GCC unroll 8
  for (int r = 0; r < kRounds - 1; ++r) {
    const std::uint64_t k = key(r);
#pragma GCC unroll 4
    for (int j = 0; j < N; ++j) {
      const std::uint64_t v = x[j] ^ k;
      // XORed as a tree: four independent pairs, then two, then one.
      x[j] = ((tab.t[0][Byte(v, 0)] ^ tab.t[1][Byte(v, 1)]) ^ (tab.t[2][Byte(v, 2)] ^ tab.t[3][Byte(v, 3)])) ^
             ((tab.t[4][Byte(v, 4)] ^ tab.t[5][Byte(v, 5)]) ^ (tab.t[6][Byte(v, 6)] ^ tab.t[7][Byte(v, 7)]));
    }
  }
  const std::uint64_t k5 = key(kRounds - 1), k6 = key(kRounds);
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j) x[j] = Substitute(box, x[j] ^ k5) ^ k6;
}

template <int N>
[[gnu::always_inline]] inline void CryptBlocks(const Tables& tab, const std::array<std::uint8_t, 256>& box,
                                               std::uint8_t* p, const std::uint8_t* keys) {
  // The round keys in registers for the whole run of blocks.
  std::uint64_t k[kRounds + 1];
  for (int i = 0; i <= kRounds; ++i) k[i] = LoadLE64(keys + 8 * std::size_t(i));
  std::uint64_t x[N];
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j) x[j] = LoadLE64(p + 8 * j);
  CryptLanes<N>(tab, box, x, [&k](int r) { return k[r]; });
#pragma GCC unroll 4
  for (int j = 0; j < N; ++j) StoreLE64(p + 8 * j, x[j]);
}

// Four blocks at a time.
constexpr int kLanes = 4;

// M times the bytes of w (most significant first).
std::uint64_t Transform(std::uint64_t w) {
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i) {
    std::uint8_t v = 0;
    for (int j = 0; j < 8; ++j) v ^= Gf1F5Multiply(kM[i][j], std::uint8_t(Byte(w, j)));
    r |= std::uint64_t(v) << (8 * (7 - i));
  }
  return r;
}

// The round keys of one direction, read from the schedule buffer as they are needed.
struct ScheduleKeys {
  const std::uint8_t* base;
  std::uint64_t operator()(int i) const { return LoadLE64(base + 8 * std::size_t(i)); }
};

}  // namespace

const std::uint8_t (&SharkG())[8][8] { return kG; }
const std::uint8_t (&SharkM())[8][8] { return kM; }
const std::array<std::uint8_t, 256>& SharkSBox() { return kSBoxes.forward; }
const std::array<std::uint8_t, 256>& SharkInverseSBox() { return kSBoxes.inverse; }
const std::uint64_t (&SharkEncryptionTables())[8][256] { return kEnc.t; }
const std::uint64_t (&SharkDecryptionTables())[8][256] { return kDec.t; }

void TCipher_Shark::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  std::uint8_t z[16] = {};
  for (std::int32_t i = 0; i < size; ++i) z[i] = key[i];

  // Provisional round keys: the first seven entries of E0, the last one transformed.
  std::uint64_t a[kRounds + 1];
  for (int i = 0; i <= kRounds; ++i) a[i] = kEnc.t[0][i];
  a[kRounds] = Transform(a[kRounds]);

  // Key words: the key bytes taken cyclically from z[1], eight per word, first byte on top.
  std::uint64_t k[kRounds + 1] = {};
  for (int i = 0, pos = 1; i <= kRounds; ++i)
    for (int b = 0; b < 8; ++b, pos = (pos + 1) & 15) k[i] = (k[i] << 8) | z[pos];

  // The round keys: the key words encrypted in cipher feedback under the provisional keys.
  std::uint64_t rk[kRounds + 1];
  std::uint64_t feedback = 0;
  for (int i = 0; i <= kRounds; ++i) {
    rk[i] = k[i] ^ Crypt(kEnc, kSBoxes.forward, feedback, [&a](int r) { return a[r]; });
    feedback = rk[i];
  }

  std::uint8_t* s = Schedule();
  for (int i = 0; i < kRounds; ++i) StoreLE64(s + 8 * (kEncKeys + std::size_t(i)), rk[i]);
  StoreLE64(s + 8 * (kEncKeys + kRounds), Transform(rk[kRounds]));
  StoreLE64(s + 8 * kDecKeys, Transform(rk[kRounds]));
  for (int i = 1; i < kRounds; ++i) StoreLE64(s + 8 * (kDecKeys + std::size_t(i)), Transform(rk[kRounds - i]));
  StoreLE64(s + 8 * (kDecKeys + kRounds), rk[0]);

  SecureWipe(z, sizeof z);
  SecureWipe(a, sizeof a);
  SecureWipe(k, sizeof k);
  SecureWipe(rk, sizeof rk);
  SecureWipe(&feedback, sizeof feedback);
}

void TCipher_Shark::EncryptBlock(std::uint8_t* block) {
  StoreLE64(block, Crypt(kEnc, kSBoxes.forward, LoadLE64(block), ScheduleKeys{Schedule() + 8 * kEncKeys}));
}

void TCipher_Shark::DecryptBlock(std::uint8_t* block) {
  StoreLE64(block, Crypt(kDec, kSBoxes.inverse, LoadLE64(block), ScheduleKeys{Schedule() + 8 * kDecKeys}));
}

void TCipher_Shark::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint8_t* keys = Schedule() + 8 * kEncKeys;
  ForBlockGroups<kLanes>(
      blocks, n, 8, [keys](auto lanes, std::uint8_t* p) { CryptBlocks<lanes>(kEnc, kSBoxes.forward, p, keys); });
}

void TCipher_Shark::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  const std::uint8_t* keys = Schedule() + 8 * kDecKeys;
  ForBlockGroups<kLanes>(
      blocks, n, 8, [keys](auto lanes, std::uint8_t* p) { CryptBlocks<lanes>(kDec, kSBoxes.inverse, p, keys); });
}

// The serial modes on the block as one 64-bit value in a register, the round keys in registers.
bool TCipher_Shark::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                 std::uint8_t* f, std::uint8_t* s) {
  const std::uint8_t* keys = Schedule() + 8 * kEncKeys;
  std::uint64_t k[kRounds + 1];
  for (int i = 0; i <= kRounds; ++i) k[i] = LoadLE64(keys + 8 * std::size_t(i));
  return ChainEncrypt<ChainBlockLE64>(
      mode, source, dest, n, f, s, [&k](std::uint64_t v) __attribute__((always_inline)) {
        std::uint64_t x[1] = {v};
        CryptLanes<1>(kEnc, kSBoxes.forward, x, [&k](int r) { return k[r]; });
        return x[0];
      });
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_Shark, TCipher, 8, 16, 112, kSharkKnownAnswer)

}  // namespace corvane
