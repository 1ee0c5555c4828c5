// The TEA pair of block ciphers.
#include "cipher/tea.h"

#include <algorithm>
#include <cstring>

#include "cipher/support.h"

namespace corvane {

namespace {

constexpr std::uint8_t kTeaKnownAnswer[32] = {
    0xB7, 0xB8, 0xAA, 0xBB, 0x26, 0x4B, 0x06, 0xF9, 0x70, 0x86, 0xB0, 0xE4, 0x56, 0x04, 0x29, 0xCC,
    0xBF, 0x55, 0xEA, 0x4E, 0xEF, 0x59, 0x26, 0x18, 0x19, 0xB0, 0x03, 0x7C, 0x29, 0x8C, 0xE2, 0x77};

constexpr std::uint8_t kTeanKnownAnswer[32] = {
    0xCD, 0x7E, 0xBB, 0xA2, 0x92, 0x1A, 0x4B, 0x3B, 0xE2, 0x9E, 0x62, 0xCF, 0xF7, 0x1D, 0xA5, 0xDF,
    0x63, 0x33, 0x94, 0x29, 0xE2, 0x36, 0x7C, 0x66, 0x3F, 0xF8, 0x1A, 0xF9, 0x02, 0x78, 0xBF, 0xA1};

// The library's TEA half-round: (((v << 4) + ka) ^ v) + sum, then XOR ((v >> 5) + kb).
inline std::uint32_t TeaTerm(std::uint32_t v, std::uint32_t sum, std::uint32_t ka, std::uint32_t kb) {
  return ((((v << 4) + ka) ^ v) + sum) ^ ((v >> 5) + kb);
}

// The library's extended-TEA half-round: ((v << 4) ^ (v >> 5)) + (v ^ sum) + key word.
inline std::uint32_t TeanTerm(std::uint32_t v, std::uint32_t sum, std::uint32_t k) {
  return ((v << 4) ^ (v >> 5)) + (v ^ sum) + k;
}

}  // namespace

void TCipher_TEA::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
  if (size > 0) std::memcpy(Schedule(), key, std::size_t(size));
  rounds_ = std::clamp(rounds_, std::int32_t(16), std::int32_t(32));
  StartVector(iv);
}

void TCipher_TEA::LoadKey(std::uint32_t (&k)[4]) {
  const std::uint8_t* s = Schedule();
  for (int i = 0; i < 4; ++i) k[i] = LoadLE32(s + 4 * i);
}

void TCipher_TEA::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4), sum = 0;
  for (std::int32_t i = 0; i < rounds_; ++i) {
    sum += kDelta;
    y += TeaTerm(z, sum, k[0], k[1]);
    z += TeaTerm(y, sum, k[2], k[3]);
  }
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

void TCipher_TEA::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4);
  std::uint32_t sum = kDelta * std::uint32_t(rounds_);
  for (std::int32_t i = 0; i < rounds_; ++i) {
    z -= TeaTerm(y, sum, k[2], k[3]);
    y -= TeaTerm(z, sum, k[0], k[1]);
    sum -= kDelta;
  }
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

void TCipher_TEAN::EncryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4), sum = 0;
  for (std::int32_t i = 0; i < rounds_; ++i) {
    y += TeanTerm(z, sum, k[sum & 3]);
    sum += kDelta;
    z += TeanTerm(y, sum, k[(sum >> 11) & 3]);
  }
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

void TCipher_TEAN::DecryptBlock(std::uint8_t* block) {
  std::uint32_t k[4];
  LoadKey(k);
  std::uint32_t y = LoadLE32(block), z = LoadLE32(block + 4);
  std::uint32_t sum = kDelta * std::uint32_t(rounds_);
  for (std::int32_t i = 0; i < rounds_; ++i) {
    z -= TeanTerm(y, sum, k[(sum >> 11) & 3]);
    sum -= kDelta;
    y -= TeanTerm(z, sum, k[sum & 3]);
  }
  StoreLE32(block, y);
  StoreLE32(block + 4, z);
}

CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEA, TCipher, 8, 16, 32, kTeaKnownAnswer)
CORVANE_DEFINE_CIPHER_CLASS(TCipher_TEAN, TCipher_TEA, 8, 16, 32, kTeanKnownAnswer)

}  // namespace corvane
