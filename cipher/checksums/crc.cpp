// The CRC table updates: byte-wise tables, sliced and braided tables for longer inputs, and
// carry-less multiply folding (crc_pclmul.cpp) for long inputs where the processor has it.
#include "cipher/checksums/crc.h"

#include <array>

#include "cipher/base/support.h"
#include "cipher/checksums/crc_pclmul.h"
#include "cipher/cpu/features.h"

namespace corvane {

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
    crc = std::uint16_t((t[7][crc >> 8] ^ t[6][crc & 0xFF]) ^ (t[5][p[0]] ^ t[4][p[1]] ^ t[3][p[2]] ^ t[2][p[3]]) ^
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
  return T(((t[at(0)][w & 0xFF] ^ t[at(1)][(w >> 8) & 0xFF]) ^
            (t[at(2)][(w >> 16) & 0xFF] ^ t[at(3)][(w >> 24) & 0xFF])) ^
           ((t[at(4)][(w >> 32) & 0xFF] ^ t[at(5)][(w >> 40) & 0xFF]) ^
            (t[at(6)][(w >> 48) & 0xFF] ^ t[at(7)][w >> 56])));
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

#if defined(CORVANE_X86_KERNELS)
// The folded paths (crc_pclmul.cpp), with the byte tables of this file for what is left.
constexpr std::size_t kFoldMinimum = 64;  // below this the tables are as fast

std::uint32_t Crc32Folded(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
  return crc_pclmul::Crc32(crc, p, n, kCrc32.data());
}
std::uint16_t Crc16Folded(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  return crc_pclmul::Crc16(crc, p, n, kCrc16.data());
}
std::uint16_t CcittFolded(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
  return crc_pclmul::Ccitt(crc, p, n, kCcittSlices[0].data());
}
#endif

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
#if defined(CORVANE_X86_KERNELS)
  if (std::size_t(len) >= kFoldMinimum && CpuUses(kCpuPclmul)) return folded(crc, p, std::size_t(len));
#endif
  return sliced(crc, p, std::size_t(len));
}
#if !defined(CORVANE_X86_KERNELS)
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

}  // namespace corvane
