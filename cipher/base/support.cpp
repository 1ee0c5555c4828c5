#include "cipher/base/support.h"

#include <chrono>
#include <cstring>

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

constexpr std::uint8_t kSharedTestInput[32] = {0x30, 0x44, 0xed, 0x6e, 0x45, 0xa4, 0x96, 0xf5, 0xf6, 0x35, 0xa2,
                                               0xeb, 0x3d, 0x1a, 0x5d, 0xd6, 0xcb, 0x1d, 0x09, 0x82, 0x2d, 0xbd,
                                               0xf5, 0x60, 0xc2, 0xb8, 0x58, 0xa1, 0x91, 0xf9, 0x81, 0xb1};

}  // namespace

std::span<const std::uint8_t, 32> SharedTestInput() { return std::span<const std::uint8_t, 32>(kSharedTestInput); }

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
