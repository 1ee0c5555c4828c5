// The TEA pair of block ciphers.
#include "cipher/ciphers/tea.h"

#include <algorithm>
#include <cstring>

#include "cipher/base/support.h"
#include "cipher/ciphers/tea_cycles.h"
#include "cipher/ciphers/tea_lanes.h"
#include "cipher/cpu/lanes.h"

namespace corvane {

namespace {

constexpr std::uint8_t kTeaKnownAnswer[32] = {0xB7, 0xB8, 0xAA, 0xBB, 0x26, 0x4B, 0x06, 0xF9, 0x70, 0x86, 0xB0,
                                              0xE4, 0x56, 0x04, 0x29, 0xCC, 0xBF, 0x55, 0xEA, 0x4E, 0xEF, 0x59,
                                              0x26, 0x18, 0x19, 0xB0, 0x03, 0x7C, 0x29, 0x8C, 0xE2, 0x77};

constexpr std::uint8_t kTeanKnownAnswer[32] = {0xCD, 0x7E, 0xBB, 0xA2, 0x92, 0x1A, 0x4B, 0x3B, 0xE2, 0x9E, 0x62,
                                               0xCF, 0xF7, 0x1D, 0xA5, 0xDF, 0x63, 0x33, 0x94, 0x29, 0xE2, 0x36,
                                               0x7C, 0x66, 0x3F, 0xF8, 0x1A, 0xF9, 0x02, 0x78, 0xBF, 0xA1};

using tea_rounds::Cycles;
static_assert(tea_rounds::kDelta == TCipher_TEA::kDelta);

template <bool Extended, bool Encrypt>
void CycleBlock(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* block) {
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4);
  Cycles<Extended, Encrypt>(y, z, k, rounds, [](std::uint32_t v) { return v; });
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

// The serial modes on the block as one little-endian 64-bit value (y in the low half) in a register.
template <bool Extended>
bool ChainCycles(const std::uint32_t (&k)[4], std::int32_t rounds, TCipherMode mode, const std::uint8_t* source,
                 std::uint8_t* dest, std::size_t n, std::uint8_t* f, std::uint8_t* s) {
  return ChainEncrypt<ChainBlockLE64>(
      mode, source, dest, n, f, s, [&k, rounds ](std::uint64_t v) __attribute__((always_inline)) {
        std::uint32_t y = std::uint32_t(v), z = std::uint32_t(v >> 32);
        Cycles<Extended, true>(y, z, k, rounds, [](std::uint32_t w) { return w; });
        return (std::uint64_t(z) << 32) | y;
      });
}

// n blocks: whole groups in the widest lanes in use, the rest one block at a time.
template <bool Extended, bool Encrypt>
void CycleBlocks(const std::uint32_t (&k)[4], std::int32_t rounds, std::uint8_t* p, std::size_t n) {
  const std::size_t done = InWidestLanes(
      n, tea_lanes::kGroup128, tea_lanes::kGroup256,
      [&k, rounds, p](std::size_t first, std::size_t count) {
        return tea_lanes::Cycle256<Extended, Encrypt>(k, rounds, p + 8 * first, count);
      },
      [&k, rounds, p](std::size_t first, std::size_t count) {
        return tea_lanes::Cycle128<Extended, Encrypt>(k, rounds, p + 8 * first, count);
      });
  p += 8 * done, n -= done;
  for (; n != 0; --n, p += 8) CycleBlock<Extended, Encrypt>(k, rounds, p);
}

}  // namespace

void TCipher_TEA::ScheduleKey(const std::uint8_t* key, std::int32_t size) {
  if (size > 0) std::memcpy(Schedule(), key, std::size_t(size));
  rounds_ = std::clamp(rounds_, std::int32_t(16), std::int32_t(32));
}

void TCipher_TEA::LoadKey(std::uint32_t (&k)[4]) {
  const std::uint8_t* s = Schedule();
  for (int i = 0; i < 4; ++i) k[i] = LoadLE32(s + 4 * i);
}

void TCipher_TEA::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<false, true>(k, rounds_, block);
}

void TCipher_TEA::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<false, false>(k, rounds_, block);
}

void TCipher_TEA::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<false, true>(k, rounds_, blocks, n);
}

void TCipher_TEA::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<false, false>(k, rounds_, blocks, n);
}

bool TCipher_TEA::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                               std::uint8_t* f, std::uint8_t* s) {
  std::uint32_t k[4];
  LoadKey(k);
  return ChainCycles<false>(k, rounds_, mode, source, dest, n, f, s);
}

void TCipher_TEAN::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<true, true>(k, rounds_, block);
}

void TCipher_TEAN::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlock<true, false>(k, rounds_, block);
}

void TCipher_TEAN::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<true, true>(k, rounds_, blocks, n);
}

void TCipher_TEAN::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  std::uint32_t k[4];
  LoadKey(k);
  CycleBlocks<true, false>(k, rounds_, blocks, n);
}

bool TCipher_TEAN::EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                                std::uint8_t* f, std::uint8_t* s) {
  std::uint32_t k[4];
  LoadKey(k);
  return ChainCycles<true>(k, rounds_, mode, source, dest, n, f, s);
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEA, TCipher, 8, 16, 32, kTeaKnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEAN, TCipher_TEA, 8, 16, 32, kTeanKnownAnswer)

}  // namespace corvane
