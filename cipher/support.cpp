#include "cipher/support.h"

#include <array>
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
  volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) p[i] = value;
  // Keep the stores even if the memory is freed right afterwards.
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

// Slicing-by-8 tables: entry [k][i] is the CRC of byte i followed by k zero bytes, so eight
// bytes are taken per step with the same result as the byte-wise update.
template <class T, std::size_t N>
constexpr std::array<std::array<T, 256>, 8> MakeSlices(const std::array<T, N>& base) {
  std::array<std::array<T, 256>, 8> t{};
  t[0] = base;
  for (std::size_t k = 1; k < 8; ++k)
    for (std::size_t i = 0; i < 256; ++i) t[k][i] = T((t[k - 1][i] >> 8) ^ base[t[k - 1][i] & 0xFF]);
  return t;
}
constexpr auto kCrc16Slices = MakeSlices(kCrc16);
constexpr auto kCrc32Slices = MakeSlices(kCrc32);
static_assert(kCrc16[1] == 0xC0C1 && kCrc16[128] == 0xA001);
static_assert(kCrc32[1] == 0x77073096u);

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

std::uint16_t Crc16Update(std::uint16_t crc, const void* data, std::ptrdiff_t len) {
  if (data == nullptr || len <= 0) return crc;
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::ptrdiff_t i = 0;
  for (; i + 8 <= len; i += 8) {
    const std::uint32_t lo = LoadLE32(p + i) ^ crc;
    const std::uint32_t hi = LoadLE32(p + i + 4);
    const auto& t = kCrc16Slices;
    crc = std::uint16_t(t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
                        t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24]);
  }
  for (; i < len; ++i) crc = std::uint16_t((crc >> 8) ^ kCrc16[(crc ^ p[i]) & 0xFF]);
  return crc;
}

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::ptrdiff_t len) {
  if (data == nullptr || len <= 0) return crc;
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::ptrdiff_t i = 0;
  for (; i + 8 <= len; i += 8) {
    const std::uint32_t lo = LoadLE32(p + i) ^ crc;
    const std::uint32_t hi = LoadLE32(p + i + 4);
    const auto& t = kCrc32Slices;
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
          t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; i < len; ++i) crc = (crc >> 8) ^ kCrc32[(crc ^ p[i]) & 0xFF];
  return crc;
}

std::span<const std::uint8_t, 32> SharedTestInput() { return std::span<const std::uint8_t, 32>(kSharedTestInput); }

std::int32_t CpuFamily() {
  static const std::int32_t family = ProbeCpuFamily();
  return family;
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
