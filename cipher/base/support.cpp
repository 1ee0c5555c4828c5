#include "cipher/base/support.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace corvane {

void SecureWipe(void* data, std::size_t size, std::uint8_t value) {
  if (data == nullptr || size == 0) return;
  std::memset(data, value, size);
  // The barrier claims to read the memory, so the fill stays even when the memory is freed or
  // goes out of scope right afterwards.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

void SecureWipeThrice(void* data, std::size_t size, std::uint8_t finalValue) {
  SecureWipe(data, size, 0xAA);
  SecureWipe(data, size, 0x55);
  SecureWipe(data, size, finalValue);
}

std::uint32_t RandomFill(std::uint32_t seed, void* buffer, std::ptrdiff_t size) {
  if (buffer == nullptr || size <= 0) return seed;
  auto* p = static_cast<std::uint8_t*>(buffer);
  std::uint32_t state = seed;
  for (std::ptrdiff_t i = 0; i < size; ++i) {
    state ^= p[i];
    state = state * 134775813u + 1u;
    p[i] = std::uint8_t(state >> 24);
  }
  return state;
}

std::uint32_t TimeSeed() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  const std::uint32_t sinceMidnight = std::uint32_t(ms % (24LL * 60 * 60 * 1000));
  const std::uint64_t counter =
      std::uint64_t(duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
  return sinceMidnight ^ std::uint32_t(counter) ^ std::uint32_t(counter >> 32);
}

void SwapBytes32Buffer(const void* source, void* dest, std::size_t count) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  auto* d = static_cast<std::uint8_t*>(dest);
  for (std::size_t i = count; i-- > 0;) {
    std::uint8_t w[4];
    std::memcpy(w, s + 4 * i, 4);
    d[4 * i] = w[3];
    d[4 * i + 1] = w[2];
    d[4 * i + 2] = w[1];
    d[4 * i + 3] = w[0];
  }
}

std::uint32_t ReverseBits32(std::uint32_t v) {
  std::uint32_t r = 0;
  for (int i = 0; i < 32; ++i) {
    r = (r << 1) | (v & 1u);
    v >>= 1;
  }
  return r;
}

int CompareMemory(const void* a, const void* b, std::size_t size) {
  if (std::ptrdiff_t(size) <= 0) return 0;  // a negative count passed as a size: nothing
  const auto* x = static_cast<const std::uint8_t*>(a);
  const auto* y = static_cast<const std::uint8_t*>(b);
  for (std::size_t i = 0; i < size; ++i)
    if (x[i] != y[i]) return int(x[i]) - int(y[i]);
  return 0;
}

void XorInto(const void* i1, const void* i2, std::size_t size, void* dest) {
  const auto* a = static_cast<const std::uint8_t*>(i1);
  const auto* b = static_cast<const std::uint8_t*>(i2);
  auto* d = static_cast<std::uint8_t*>(dest);
  if (std::ptrdiff_t(size) <= 0) return;  // a negative count passed as a size: nothing
  // From the end: the trailing bytes first, then whole words downwards.
  std::size_t n = size;
  while (n % 4 != 0) {
    --n;
    d[n] = std::uint8_t(a[n] ^ b[n]);
  }
  while (n > 0) {
    n -= 4;
    StoreLE32(d + n, LoadLE32(a + n) ^ LoadLE32(b + n));
  }
}

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
  std::array<std::uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[i] = std::uint16_t(c);
  }
  return t;
}
constexpr std::array<std::uint32_t, 256> MakeCrc32Table() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr auto kCrc16 = MakeCrc16Table();
constexpr auto kCrc32 = MakeCrc32Table();

// Slicing tables: entry [k][i] is the CRC of byte i followed by k zero bytes, so N bytes are
// taken per step with the same result as the byte-wise update.
template <std::size_t N, class T>
constexpr std::array<std::array<T, 256>, N> MakeSlices(const std::array<T, 256>& base) {
  std::array<std::array<T, 256>, N> t{};
  t[0] = base;
  for (std::size_t k = 1; k < N; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = T((t[k - 1][i] >> 8) ^ base[t[k - 1][i] & 0xFF]);
  return t;
}
constexpr auto kCrc16Slices = MakeSlices<8>(kCrc16);
constexpr auto kCrc32Slices = MakeSlices<16>(kCrc32);
static_assert(kCrc16[1] == 0xC0C1 && kCrc16[128] == 0xA001);
static_assert(kCrc32[1] == 0x77073096u);

// CRC-16 with polynomial 0x1021 in the shift-in form (the byte enters at the bottom of the
// register): entry [k][v] is v times x^(8(k+2)) modulo the polynomial, so [0] is the class's
// table (the byte v shifted out of the high byte through eight steps).
constexpr std::array<std::array<std::uint16_t, 256>, 8> MakeCcittSlices() {
  std::array<std::array<std::uint16_t, 256>, 8> t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int k = 0; k < 8; ++k) c = (c & 0x8000u) ? ((c << 1) ^ 0x1021u) & 0xFFFFu : (c << 1) & 0xFFFFu;
    t[0][i] = std::uint16_t(c);
  }
  for (std::size_t k = 1; k < 8; ++k)
    for (unsigned i = 0; i < 256; ++i) {
      const unsigned v = t[k - 1][i];
      t[k][i] = std::uint16_t(((v << 8) & 0xFFFFu) ^ t[0][v >> 8]);
    }
  return t;
}
constexpr auto kCcittSlices = MakeCcittSlices();
static_assert(kCcittSlices[0][1] == 0x1021 && kCcittSlices[0][2] == 0x2042 && kCcittSlices[0][3] == 0x3063);

// ---- byte-wise and slicing updates (the portable paths) -------------------------------------

std::uint32_t Crc32Bytes(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) crc = (crc >> 8) ^ kCrc32[(crc ^ p[i]) & 0xFF];
  return crc;
}
std::uint16_t Crc16Bytes(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) crc = std::uint16_t((crc >> 8) ^ kCrc16[(crc ^ p[i]) & 0xFF]);
  return crc;
}
std::uint16_t CcittBytes(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    crc = std::uint16_t(((unsigned(crc) << 8) | p[i]) ^ kCcittSlices[0][crc >> 8]);
  return crc;
}

// Sixteen bytes a step: the register meets the first four, the other twelve are looked up off
// the dependency chain.
std::uint32_t Crc32Slicing(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  const auto& t = kCrc32Slices;
  for (; n >= 16; p += 16, n -= 16) {
    const std::uint32_t w0 = LoadLE32(p) ^ crc, w1 = LoadLE32(p + 4), w2 = LoadLE32(p + 8), w3 = LoadLE32(p + 12);
    crc = (t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24]) ^
          (t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24]) ^
          (t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24]) ^
          (t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24]);
  }
  return Crc32Bytes(crc, p, n);
}

std::uint16_t Crc16Slicing(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  const auto& t = kCrc16Slices;
  for (; n >= 8; p += 8, n -= 8) {
    const std::uint32_t lo = LoadLE32(p) ^ crc, hi = LoadLE32(p + 4);
    crc = std::uint16_t((t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24]) ^
                        (t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24]));
  }
  return Crc16Bytes(crc, p, n);
}

// After eight bytes b0..b7 the shift-in register is crc x^64 + b0 x^56 + ... + b7 reduced: the
// register's two bytes and b0..b5 through the tables, b6 b7 as they are.
std::uint16_t CcittSlicing(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  const auto& t = kCcittSlices;
  for (; n >= 8; p += 8, n -= 8) {
    crc = std::uint16_t((t[7][crc >> 8] ^ t[6][crc & 0xFF]) ^
                        (t[5][p[0]] ^ t[4][p[1]] ^ t[3][p[2]] ^ t[2][p[3]]) ^
                        (t[1][p[4]] ^ t[0][p[5]] ^ ((unsigned(p[6]) << 8) | p[7])));
  }
  return CcittBytes(crc, p, n);
}

// Five braids: the data is taken as 8-byte words, word j of every 40 bytes belonging to braid
// j mod 5, and each braid runs its own register, so five table chains run side by side. A braid's
// register is always aimed at its next word 40 bytes on: its tables take each byte of a word on
// over the zero bytes up to that word. The last five words fold the braids into one.
constexpr std::size_t kBraids = 5;
constexpr std::size_t kBraidBlock = kBraids * 8;
template <class T>
using Tables8 = std::array<std::array<T, 256>, 8>;

// Reflected CRCs (the register is XORed into a word's first bytes): [k][v] is byte v at place k
// of a word followed by the zero bytes up to the braid's next word.
template <class T>
constexpr Tables8<T> MakeReflectedBraid(const std::array<T, 256>& base) {
  Tables8<T> t{};
  for (std::size_t k = 0; k < 8; ++k)
    for (std::size_t v = 0; v < 256; ++v) {
      T r = base[v];
      for (std::size_t z = 0; z < (7 - k) + (kBraids - 1) * 8; ++z) r = T((r >> 8) ^ base[r & 0xFF]);
      t[k][v] = r;
    }
  return t;
}
constexpr auto kCrc32Braid = MakeReflectedBraid(kCrc32);
constexpr auto kCrc16Braid = MakeReflectedBraid(kCrc16);

// A word's eight bytes, least significant first, through eight tables, XORed as a tree; [7] goes
// with the first byte.
template <class T, std::size_t N>
inline T EightLookups(const std::array<std::array<T, 256>, N>& t, std::uint64_t w, bool firstIsLast) {
  auto at = [&](std::size_t k) -> std::size_t { return firstIsLast ? 7 - k : k; };
  return T(((t[at(0)][w & 0xFF] ^ t[at(1)][(w >> 8) & 0xFF]) ^ (t[at(2)][(w >> 16) & 0xFF] ^ t[at(3)][(w >> 24) & 0xFF])) ^
           ((t[at(4)][(w >> 32) & 0xFF] ^ t[at(5)][(w >> 40) & 0xFF]) ^ (t[at(6)][(w >> 48) & 0xFF] ^ t[at(7)][w >> 56])));
}

template <class T, const Tables8<T>& Braid, const auto& Slices, T (*Rest)(T, const std::uint8_t*, std::size_t)>
T ReflectedBraided(T crc, const std::uint8_t* p, std::size_t n) {
  if (n < 4 * kBraidBlock) return Rest(crc, p, n);
  const std::size_t blocks = n / kBraidBlock;
  T c0 = crc, c1 = 0, c2 = 0, c3 = 0, c4 = 0;
  for (std::size_t b = 0; b + 1 < blocks; ++b, p += kBraidBlock) {
    const std::uint64_t w0 = LoadLE64(p) ^ c0, w1 = LoadLE64(p + 8) ^ c1, w2 = LoadLE64(p + 16) ^ c2,
                        w3 = LoadLE64(p + 24) ^ c3, w4 = LoadLE64(p + 32) ^ c4;
    c0 = EightLookups(Braid, w0, false);
    c1 = EightLookups(Braid, w1, false);
    c2 = EightLookups(Braid, w2, false);
    c3 = EightLookups(Braid, w3, false);
    c4 = EightLookups(Braid, w4, false);
  }
  // The register after a word from a zero register: slice [k] is a byte followed by k zeros.
  T r = EightLookups(Slices, LoadLE64(p) ^ c0, true);
  r = EightLookups(Slices, LoadLE64(p + 8) ^ c1 ^ r, true);
  r = EightLookups(Slices, LoadLE64(p + 16) ^ c2 ^ r, true);
  r = EightLookups(Slices, LoadLE64(p + 24) ^ c3 ^ r, true);
  r = EightLookups(Slices, LoadLE64(p + 32) ^ c4 ^ r, true);
  return Rest(r, p + kBraidBlock, n - blocks * kBraidBlock);
}

std::uint32_t Crc32Braided(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  return ReflectedBraided<std::uint32_t, kCrc32Braid, kCrc32Slices, Crc32Slicing>(crc, p, n);
}
std::uint16_t Crc16Braided(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  return ReflectedBraided<std::uint16_t, kCrc16Braid, kCrc16Slices, Crc16Slicing>(crc, p, n);
}

// The shift-in form keeps the register in front of the data: after a word W the register is
// (r x^64 + W) mod P. A braid's register is taken on over the 32 bytes of the other braids as
// well: [m][v] is v x^(8 (m + 32)) mod P, m = 9 and 8 for the register's bytes, 7 down to 0 for the
// word's bytes, first byte first.
constexpr std::array<std::array<std::uint16_t, 256>, 10> MakeCcittBraid() {
  std::array<std::array<std::uint16_t, 256>, 10> t{};
  for (unsigned v = 0; v < 256; ++v) {
    unsigned r = v;
    for (std::size_t m = 0; m < 42; ++m) {
      if (m >= 32) t[m - 32][v] = std::uint16_t(r);
      r = ((r << 8) & 0xFFFFu) ^ kCcittSlices[0][r >> 8];
    }
  }
  return t;
}
constexpr auto kCcittBraid = MakeCcittBraid();

inline std::uint16_t CcittBraidWord(std::uint16_t r, const std::uint8_t* p) {
  const auto& t = kCcittBraid;
  return std::uint16_t(((t[9][r >> 8] ^ t[8][r & 0xFF]) ^ (t[7][p[0]] ^ t[6][p[1]])) ^
                       ((t[5][p[2]] ^ t[4][p[3]]) ^ (t[3][p[4]] ^ t[2][p[5]])) ^ (t[1][p[6]] ^ t[0][p[7]]));
}

std::uint16_t CcittBraided(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  if (n < 4 * kBraidBlock) return CcittSlicing(crc, p, n);
  const std::size_t blocks = n / kBraidBlock;
  std::uint16_t c0 = crc, c1 = 0, c2 = 0, c3 = 0, c4 = 0;
  for (std::size_t b = 0; b + 1 < blocks; ++b, p += kBraidBlock) {
    c0 = CcittBraidWord(c0, p);
    c1 = CcittBraidWord(c1, p + 8);
    c2 = CcittBraidWord(c2, p + 16);
    c3 = CcittBraidWord(c3, p + 24);
    c4 = CcittBraidWord(c4, p + 32);
  }
  // The last five words one after the other, each braid's register joining before its word.
  std::uint16_t r = CcittSlicing(c0, p, 8);
  r = CcittSlicing(std::uint16_t(r ^ c1), p + 8, 8);
  r = CcittSlicing(std::uint16_t(r ^ c2), p + 16, 8);
  r = CcittSlicing(std::uint16_t(r ^ c3), p + 24, 8);
  r = CcittSlicing(std::uint16_t(r ^ c4), p + 32, 8);
  return CcittSlicing(r, p + kBraidBlock, n - blocks * kBraidBlock);
}

// ---- carry-less multiply folding ------------------------------------------------------------
//
// The data is taken 16 bytes at a time as a 128-bit polynomial A and folded forward: the
// accumulator times x^128 (or x^512 with four accumulators) is replaced by its two 64-bit halves
// times constants x^n mod P, which keeps it congruent to the data so far modulo P. What is left
// is a 16-byte remainder whose CRC, taken with the byte-wise table from a zero register, is the
// CRC of everything folded. So the result is the table's, bit for bit, whatever the polynomial.

// x^n mod p, p given with its top bit (degree deg), in the natural bit order (bit d is x^d).
constexpr std::uint64_t XPowMod(unsigned n, std::uint64_t p, unsigned deg) {
  std::uint64_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if ((r >> deg) & 1) r ^= p;
  }
  return r;
}
constexpr std::uint64_t Reflect64(std::uint64_t v) {
  std::uint64_t r = 0;
  for (int i = 0; i < 64; ++i)
    if ((v >> i) & 1) r |= std::uint64_t(1) << (63 - i);
  return r;
}

// The constants for one fold distance of d bits, low lane first. Reflected data (bit 0 of the
// first byte is the highest term): bit m of a 128-bit lane is x^(127-m), and a product of two
// reflected 64-bit lanes lands one place off, hence x^(n-1). Natural data: bit m is x^m.
struct FoldPair {
  std::uint64_t lo, hi;
};
constexpr FoldPair ReflectedFold(unsigned d, std::uint64_t p, unsigned deg) {
  return {Reflect64(XPowMod(d + 63, p, deg)), Reflect64(XPowMod(d - 1, p, deg))};
}
constexpr FoldPair NaturalFold(unsigned d, std::uint64_t p, unsigned deg) {
  return {XPowMod(d, p, deg), XPowMod(d + 64, p, deg)};
}
struct FoldConstants {
  FoldPair by512, by128;
};
constexpr FoldConstants kCrc32Fold{ReflectedFold(512, 0x104C11DB7u, 32), ReflectedFold(128, 0x104C11DB7u, 32)};
constexpr FoldConstants kCrc16Fold{ReflectedFold(512, 0x18005u, 16), ReflectedFold(128, 0x18005u, 16)};
constexpr FoldConstants kCcittFold{NaturalFold(512, 0x11021u, 16), NaturalFold(128, 0x11021u, 16)};

#if defined(__x86_64__) || defined(__i386__)
#define CORVANE_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

CORVANE_CLMUL_TARGET inline __m128i FoldLoad(const std::uint8_t* p, bool natural) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return natural ? _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)) : x;
}

CORVANE_CLMUL_TARGET inline __m128i Fold(__m128i acc, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(acc, k, 0x00), _mm_clmulepi64_si128(acc, k, 0x11));
}

// Folds blocks (at least one) 16-byte blocks at p, with init XORed into the first, and gives
// the remainder's 16 bytes in data order at out.
template <bool Natural>
CORVANE_CLMUL_TARGET void FoldBlocks(const std::uint8_t* p, std::size_t blocks, __m128i init,
                                     const FoldConstants& c, std::uint8_t* out) {
  const __m128i k128 = _mm_set_epi64x(std::int64_t(c.by128.hi), std::int64_t(c.by128.lo));
  __m128i x;
  if (blocks >= 8) {
    const __m128i k512 = _mm_set_epi64x(std::int64_t(c.by512.hi), std::int64_t(c.by512.lo));
    __m128i x0 = _mm_xor_si128(FoldLoad(p, Natural), init), x1 = FoldLoad(p + 16, Natural);
    __m128i x2 = FoldLoad(p + 32, Natural), x3 = FoldLoad(p + 48, Natural);
    p += 64;
    blocks -= 4;
    for (; blocks >= 4; p += 64, blocks -= 4) {
      x0 = _mm_xor_si128(Fold(x0, k512), FoldLoad(p, Natural));
      x1 = _mm_xor_si128(Fold(x1, k512), FoldLoad(p + 16, Natural));
      x2 = _mm_xor_si128(Fold(x2, k512), FoldLoad(p + 32, Natural));
      x3 = _mm_xor_si128(Fold(x3, k512), FoldLoad(p + 48, Natural));
    }
    x = _mm_xor_si128(Fold(x0, k128), x1);
    x = _mm_xor_si128(Fold(x, k128), x2);
    x = _mm_xor_si128(Fold(x, k128), x3);
  } else {
    x = _mm_xor_si128(FoldLoad(p, Natural), init);
    p += 16;
    --blocks;
  }
  for (; blocks > 0; p += 16, --blocks) x = _mm_xor_si128(Fold(x, k128), FoldLoad(p, Natural));
  if (Natural) x = _mm_shuffle_epi8(x, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), x);
}

constexpr std::size_t kFoldMinimum = 64;  // below this the tables are as fast

// Reflected CRCs: the register enters as the first bytes of the data.
CORVANE_CLMUL_TARGET std::uint32_t Crc32Folded(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  std::uint8_t rest[16];
  FoldBlocks<false>(p, n / 16, _mm_cvtsi32_si128(int(crc)), kCrc32Fold, rest);
  return Crc32Bytes(Crc32Bytes(0, rest, 16), p + (n & ~std::size_t(15)), n & 15);
}
CORVANE_CLMUL_TARGET std::uint16_t Crc16Folded(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  std::uint8_t rest[16];
  FoldBlocks<false>(p, n / 16, _mm_cvtsi32_si128(crc), kCrc16Fold, rest);
  return Crc16Bytes(Crc16Bytes(0, rest, 16), p + (n & ~std::size_t(15)), n & 15);
}
// The shift-in form: the register stands before the data, so it is folded once over the first
// block (times x^128) and added to it.
CORVANE_CLMUL_TARGET std::uint16_t CcittFolded(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  std::uint8_t rest[16];
  const __m128i k128 = _mm_set_epi64x(std::int64_t(kCcittFold.by128.hi), std::int64_t(kCcittFold.by128.lo));
  const __m128i init = _mm_clmulepi64_si128(_mm_cvtsi32_si128(crc), k128, 0x00);
  FoldBlocks<true>(p, n / 16, init, kCcittFold, rest);
  return CcittBytes(CcittBytes(0, rest, 16), p + (n & ~std::size_t(15)), n & 15);
}
#define CORVANE_HAVE_CLMUL 1
#endif

constexpr std::uint8_t kSharedTestInput[32] = {
    0x30, 0x44, 0xed, 0x6e, 0x45, 0xa4, 0x96, 0xf5, 0xf6, 0x35, 0xa2, 0xeb, 0x3d, 0x1a, 0x5d, 0xd6,
    0xcb, 0x1d, 0x09, 0x82, 0x2d, 0xbd, 0xf5, 0x60, 0xc2, 0xb8, 0x58, 0xa1, 0x91, 0xf9, 0x81, 0xb1};

std::int32_t ProbeCpuFamily() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) return std::int32_t((a >> 8) & 0xF);
  return 4;
#else
  return 6;
#endif
}

}  // namespace

const std::uint16_t* Crc16Table() { return kCrc16.data(); }
const std::uint32_t* Crc32Table() { return kCrc32.data(); }

namespace {
// The folded path for long inputs where the processor can take it, else the sliced tables.
template <class R>
using CrcPath = R (*)(R, const std::uint8_t*, std::size_t);
template <class R>
R UpdateCrc(R crc, const void* data, std::ptrdiff_t len, [[maybe_unused]] CrcPath<R> folded, CrcPath<R> sliced) {
  if (data == nullptr || len <= 0) return crc;
  const auto* p = static_cast<const std::uint8_t*>(data);
#if defined(CORVANE_HAVE_CLMUL)
  if (std::size_t(len) >= kFoldMinimum && CpuUses(kCpuPclmul)) return folded(crc, p, std::size_t(len));
#endif
  return sliced(crc, p, std::size_t(len));
}
#if !defined(CORVANE_HAVE_CLMUL)
constexpr std::nullptr_t Crc16Folded = nullptr, Crc32Folded = nullptr, CcittFolded = nullptr;
#endif
}  // namespace

std::uint16_t Crc16Update(std::uint16_t crc, const void* data, std::ptrdiff_t len) {
  return UpdateCrc<std::uint16_t>(crc, data, len, Crc16Folded, Crc16Braided);
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::ptrdiff_t len) {
  return UpdateCrc<std::uint32_t>(crc, data, len, Crc32Folded, Crc32Braided);
}

std::uint16_t Crc16CcittUpdate(std::uint16_t crc, const void* data, std::ptrdiff_t len) {
  return UpdateCrc<std::uint16_t>(crc, data, len, CcittFolded, CcittBraided);
}

const std::uint16_t* Crc16CcittTable() { return kCcittSlices[0].data(); }

std::span<const std::uint8_t, 32> SharedTestInput() { return std::span<const std::uint8_t, 32>(kSharedTestInput); }

std::int32_t CpuFamily() {
  static const std::int32_t family = ProbeCpuFamily();
  return family;
}

namespace {
unsigned ProbeCpuFeatures() {
  unsigned features = 0;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  const bool ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1, pclmul = (c >> 1) & 1;
  if (!ssse3 || !sse41) return 0;
  if (pclmul) features |= kCpuPclmul;
  if (__get_cpuid_max(0, nullptr) >= 7 && __get_cpuid_count(7, 0, &a, &b, &c, &d) && ((b >> 29) & 1))
    features |= kCpuSha;
#endif
  return features;
}

}  // namespace

unsigned CpuFeaturesDetected() {
  static const unsigned detected = ProbeCpuFeatures();
  return detected;
}

unsigned detail::ProbeCpuFeaturesInUse() {
  // Only the first question of all stores the detected set; a narrowing that came first stays.
  unsigned expected = kCpuUnprobed;
  const unsigned detected = CpuFeaturesDetected();
  if (cpuFeaturesInUse.compare_exchange_strong(expected, detected, std::memory_order_relaxed)) return detected;
  return expected;
}

unsigned SetCpuFeaturesEnabled(unsigned mask) {
  const unsigned before = CpuFeaturesEnabled();
  detail::cpuFeaturesInUse.store(mask & CpuFeaturesDetected(), std::memory_order_relaxed);
  return before;
}

std::uint8_t Latin1Upper(std::uint8_t c) {
  if (c >= 'a' && c <= 'z') return std::uint8_t(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return std::uint8_t(c - 32);
  return c;
}

std::uint8_t Latin1Lower(std::uint8_t c) {
  if (c >= 'A' && c <= 'Z') return std::uint8_t(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return std::uint8_t(c + 32);
  return c;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Latin1Upper(std::uint8_t(a[i])) != Latin1Upper(std::uint8_t(b[i]))) return false;
  return true;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (auto& ch : r) ch = char(Latin1Upper(std::uint8_t(ch)));
  return r;
}

std::string_view Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::uint8_t(s[b]) <= 0x20) ++b;
  while (e > b && std::uint8_t(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

}  // namespace corvane
