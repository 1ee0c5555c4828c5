// SCOP: key expansion into a 48-byte generator (four 32-bit state words driven by polynomial
// steps on their 16-bit halves), the table V of 384 words filled from it, and the additive
// keystream over 128-byte units.
#include "cipher/ciphers/scop.h"

#include <algorithm>
#include <cstring>

#include "cipher/base/support.h"

namespace corvane {

namespace {

// Computed by this implementation from the class-name key rule.
// clang-format off
constexpr std::uint8_t kScopKnownAnswer[32] = {
    0xe5, 0x5e, 0x66, 0x1b, 0x87, 0xec, 0x81, 0x7d, 0xc9, 0xbb, 0x1e, 0x37, 0xb2, 0xb0, 0xf1, 0xe7,
    0xda, 0x1a, 0x1c, 0x82, 0xa7, 0x2b, 0x8b, 0x96, 0x1e, 0x97, 0x64, 0x34, 0xe8, 0x55, 0xa9, 0x72};
// clang-format on

// The generator: bytes 0..47 are its coefficients, bytes 32..47 also its state X0..X3 (four
// little-endian words), so the coefficients of the last polynomials change with the state.
class ScopGenerator {
 public:
  ScopGenerator(const std::uint8_t* key, std::int32_t size) { TCipher_SCOP::ExpandKey(key, size, b_); }
  ~ScopGenerator() { SecureWipe(b_, sizeof b_); }
  ScopGenerator(const ScopGenerator&) = delete;
  ScopGenerator& operator=(const ScopGenerator&) = delete;

  // One step: yields O0..O3 and moves the state.
  void Step(std::uint32_t out[4]) {
    std::uint32_t t[4];
    for (std::size_t h = 0; h < 4; ++h) {
      const std::uint32_t state = LoadLE32(b_ + 32 + 4 * h);
      // Powers of 16-bit values taken in 32-bit unsigned arithmetic (mod 2^32).
      const std::uint32_t x = state >> 16, x2 = x * x, x3 = x2 * x, x4 = x2 * x2;
      const std::uint32_t y = state & 0xFFFFu, y2 = y * y, y3 = y2 * y, y4 = y2 * y2;
      const std::uint8_t* c = b_ + 8 * h;
      const std::uint32_t a = std::uint32_t(c[0]) * x4 + std::uint32_t(c[1]) * x3 + std::uint32_t(c[2]) * x2 +
                              std::uint32_t(c[3]) * x + 1u;
      const std::uint32_t bv = std::uint32_t(c[4]) * y4 + std::uint32_t(c[9]) * y3 + std::uint32_t(c[14]) * y2 +
                               std::uint32_t(c[19]) * y + 1u;
      out[h] = (a << 16) | (bv & 0xFFFFu);
      t[h] = (a & 0xFFFF0000u) | (bv >> 16);
    }
    StoreLE32(b_ + 32, (t[3] << 16) | (t[0] >> 16));
    StoreLE32(b_ + 36, (t[0] << 16) | (t[1] >> 16));
    StoreLE32(b_ + 40, (t[1] << 16) | (t[2] >> 16));
    StoreLE32(b_ + 44, (t[2] << 16) | (t[3] >> 16));
    SecureWipe(t, sizeof t);
  }

 private:
  std::uint8_t b_[48] = {};
};

}  // namespace

void TCipher_SCOP::ExpandKey(const std::uint8_t* key, std::int32_t size, std::uint8_t out[48]) {
  const std::uint8_t zero = 0;
  if (size <= 0) {
    key = &zero;
    size = 1;
  }
  const std::size_t s = std::size_t(std::min<std::int32_t>(size, 48));
  std::memset(out, 0, 48);
  std::memcpy(out, key, s);
  for (std::size_t n = s; n < 48; ++n) out[n] = std::uint8_t(out[n - s] + out[n - s + 1]);
  std::uint8_t counter = 1;
  for (std::size_t n = 0; n < 32; ++n)
    if (out[n] == 0) out[n] = counter++;
}

void TCipher_SCOP::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  std::uint32_t* state = ScheduleAs<std::uint32_t>();
  std::uint32_t* v = state + kTable;
  ScopGenerator gen(key, size);
  std::uint32_t out[4];
  for (int n = 0; n < 8; ++n) gen.Step(out);
  for (std::size_t r = 0; r < 12; ++r) {
    for (std::size_t n = 0; n < 8; ++n) {
      gen.Step(out);
      std::memcpy(v + 32 * r + 4 * n, out, sizeof out);
    }
    gen.Step(out);
  }
  gen.Step(out);
  const std::uint32_t w = out[3];
  v[w & 0x7F] |= 1u;
  state[kIndexI] = w >> 24;
  state[kIndexJ] = (w >> 16) & 0xFFu;
  state[kT3] = w >> 8;
  SecureWipe(out, sizeof out);
}

void TCipher_SCOP::InitDone() {
  std::uint32_t* state = ScheduleAs<std::uint32_t>();
  std::memcpy(state + kStateWords, state, kStateWords * sizeof(std::uint32_t));
}

void TCipher_SCOP::ChainReset() {
  std::uint32_t* state = ScheduleAs<std::uint32_t>();
  std::memcpy(state, state + kStateWords, kStateWords * sizeof(std::uint32_t));
}

template <bool Encrypt>
void TCipher_SCOP::ProcessUnit(std::uint8_t* block) {
  std::uint32_t* state = ScheduleAs<std::uint32_t>();
  std::uint32_t* v = state + kTable;
  // The unit starts from i, j and t3 as Init left them; only V carries over between units.
  std::uint32_t i = state[kIndexI] & 0xFFu, j = state[kIndexJ] & 0xFFu, t3 = state[kT3];
  for (std::size_t n = 0; n < 32; ++n) {
    const std::uint32_t t1 = v[128 + j];
    j = (j + (t3 & 0xFFu)) & 0xFFu;
    const std::uint32_t a = v[i];
    const std::uint32_t b = v[128 + j];
    i = (i + 1) & 0xFFu;
    t3 = a + b;
    v[128 + j] = t3;
    j = (j + (b & 0xFFu)) & 0xFFu;
    std::uint8_t* p = block + 4 * n;
    StoreLE32(p, Encrypt ? LoadLE32(p) + (b + t1) : LoadLE32(p) - (b + t1));
  }
}

void TCipher_SCOP::EncryptBlock(std::uint8_t* block) { ProcessUnit<true>(block); }
void TCipher_SCOP::DecryptBlock(std::uint8_t* block) { ProcessUnit<false>(block); }

CORVANE_DEFINE_CIPHER_CLASS(TCipher_SCOP, TCipher, 128, 48, 3104, kScopKnownAnswer)

}  // namespace corvane
