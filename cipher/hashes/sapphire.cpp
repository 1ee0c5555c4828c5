// The Sapphire II hashes: the card shuffle of the Sapphire II encryption step absorbs the data;
// Finish runs a closing sequence that depends on the digest size and on the length, and the
// digest is the cipher output of the last N closing bytes.
#include "cipher/hashes/sapphire.h"

#include <cstring>

#include "cipher/base/support.h"

namespace corvane {

namespace {

// clang-format off
constexpr std::uint8_t kKnownAnswer320[40] = {
    0xD8, 0xED, 0xA5, 0x74, 0x99, 0x48, 0xAC, 0x0B, 0x00, 0x90, 0xCD, 0x87, 0x61, 0xF2,
    0x18, 0xDB, 0xA4, 0x1D, 0xCB, 0x73, 0xE4, 0x33, 0x99, 0xDD, 0x37, 0x12, 0x06, 0x93,
    0x97, 0x33, 0x95, 0x00, 0x4A, 0xCF, 0x86, 0xDB, 0x23, 0x6D, 0xE7, 0x6B};
constexpr std::uint8_t kKnownAnswer288[36] = {
    0x40, 0xF6, 0x5A, 0x37, 0xD8, 0xCB, 0x11, 0x65, 0xDC, 0xFB, 0xDE, 0x63, 0x2B, 0x2C, 0xBE, 0x9C, 0x2B, 0xB7,
    0xF3, 0xED, 0x22, 0xD1, 0xEB, 0xEF, 0x0F, 0xA1, 0x88, 0xED, 0x23, 0xF0, 0x7F, 0x9C, 0x7E, 0x61, 0x37, 0x40};
constexpr std::uint8_t kKnownAnswer256[32] = {
    0xE7, 0xC8, 0x2B, 0x6D, 0x25, 0x8A, 0xFD, 0xE0, 0x34, 0x42, 0x93, 0xA3, 0xE2, 0xE5, 0x28, 0x96,
    0xA5, 0x46, 0x50, 0x6B, 0x13, 0x93, 0x86, 0x1B, 0x40, 0xC6, 0x93, 0x4B, 0x51, 0xFA, 0x66, 0xDD};
constexpr std::uint8_t kKnownAnswer224[28] = {
    0x8F, 0x3E, 0xC5, 0x57, 0x92, 0x31, 0x6C, 0xDF, 0xCA, 0x40, 0x18, 0x3A, 0x86, 0x08,
    0x08, 0x99, 0x34, 0xFD, 0xEB, 0x21, 0xAB, 0xA4, 0x52, 0x0F, 0x40, 0x17, 0xD3, 0xD0};
constexpr std::uint8_t kKnownAnswer192[24] = {
    0x95, 0x41, 0x3F, 0xE0, 0x2B, 0x52, 0x7E, 0x50, 0xB5, 0xFF, 0x57, 0xEB,
    0x76, 0x3D, 0x32, 0x51, 0x29, 0xEB, 0x79, 0x6F, 0x4A, 0x64, 0xFB, 0x17};
constexpr std::uint8_t kKnownAnswer160[20] = {
    0x73, 0xD9, 0x1A, 0xCE, 0xB1, 0x75, 0xFD, 0x04, 0x90, 0x7A,
    0x97, 0x41, 0x3C, 0x20, 0x0F, 0x53, 0x2C, 0x22, 0xB3, 0x8C};
constexpr std::uint8_t kKnownAnswer128[16] = {
    0x47, 0xAE, 0x16, 0x13, 0xC9, 0x3A, 0x94, 0x2D, 0x26, 0x74, 0x8D, 0x62, 0x43, 0x26, 0x88, 0xD8};
// clang-format on

}  // namespace

CORVANE_DEFINE_HASH_CLASS(THash_Sapphire320, THash, 40, kKnownAnswer320)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire288, THash_Sapphire320, 36, kKnownAnswer288)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire256, THash_Sapphire320, 32, kKnownAnswer256)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire224, THash_Sapphire320, 28, kKnownAnswer224)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire192, THash_Sapphire320, 24, kKnownAnswer192)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire160, THash_Sapphire320, 20, kKnownAnswer160)
CORVANE_DEFINE_HASH_CLASS(THash_Sapphire128, THash_Sapphire320, 16, kKnownAnswer128)

THash_Sapphire320::~THash_Sapphire320() {
  SecureWipe(cards_, sizeof(cards_));
  SecureWipe(digest_, sizeof(digest_));
  rotor_ = ratchet_ = avalanche_ = lastPlain_ = lastCipher_ = 0;
  byteCount_ = 0;
}

std::uint8_t* THash_Sapphire320::DigestBytes() { return digest_; }

void THash_Sapphire320::DoStart() {
  SecureWipe(digest_, sizeof(digest_));
  byteCount_ = 0;
  rotor_ = 1;
  ratchet_ = 3;
  avalanche_ = 5;
  lastPlain_ = 7;
  lastCipher_ = 11;
  for (int i = 0; i < 256; ++i) cards_[i] = std::uint8_t(255 - i);
}

// Sapphire II encryption steps over n bytes; all index arithmetic wraps at 256 (the indices are
// bytes). The five indices are worked on as locals: a store into the cards could otherwise be
// a store into them, and every step would write them back and read them again.
void THash_Sapphire320::AbsorbRun(const std::uint8_t* data, std::size_t n) {
  std::uint8_t rotor = rotor_, ratchet = ratchet_, avalanche = avalanche_, lastPlain = lastPlain_,
               lastCipher = lastCipher_;
  std::uint8_t* const cards = cards_;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t b = data[i];
    ratchet = std::uint8_t(ratchet + cards[rotor]);
    rotor = std::uint8_t(rotor + 1);
    const std::uint8_t t = cards[lastCipher];
    cards[lastCipher] = cards[ratchet];
    cards[ratchet] = cards[lastPlain];
    cards[lastPlain] = cards[rotor];
    cards[rotor] = t;
    avalanche = std::uint8_t(avalanche + cards[t]);
    const std::uint8_t k = std::uint8_t(cards[lastPlain] + cards[lastCipher] + cards[avalanche]);
    lastCipher = std::uint8_t(b ^ cards[std::uint8_t(cards[ratchet] + cards[rotor])] ^ cards[cards[k]]);
    lastPlain = b;
  }
  rotor_ = rotor;
  ratchet_ = ratchet;
  avalanche_ = avalanche;
  lastPlain_ = lastPlain;
  lastCipher_ = lastCipher;
}

void THash_Sapphire320::DoUpdate(const std::uint8_t* data, std::size_t size) {
  byteCount_ += size;
  AbsorbRun(data, size);
}

void THash_Sapphire320::DoFinish() {
  const std::size_t n = std::size_t(DigestSize());
  // A running byte that starts at the digest size, XORed with 255 down to 0 in turn.
  std::uint8_t x = std::uint8_t(n);
  for (int i = 255; i >= 0; --i) {
    x = std::uint8_t(x ^ i);
    AbsorbCounted(x);
  }
  std::uint8_t closing[40] = {0x80, 2, 0, std::uint8_t(n), 1, 3, 5, 7, 11};
  StoreLE64(closing + 9, byteCount_ * 8);
  for (std::size_t i = 0; i < n; ++i) {
    AbsorbCounted(closing[i]);
    digest_[i] ^= lastCipher_;
  }
  SecureWipe(closing, sizeof(closing));
}

}  // namespace corvane
