// The checksum classes. Every Update computes on a local copy of the register and stores it when
// done, so an input that is the register itself (the digest fed back) is read as it stood when
// the call began.
#include "cipher/checksums/checksums.h"

#include <bit>
#include <cstring>

#include "cipher/base/support.h"
#include "cipher/checksums/crc.h"

namespace corvane {

static_assert(std::endian::native == std::endian::little,
              "the digest is the register's bytes, least significant first");

namespace {

constexpr std::uint8_t kKnownAnswerXor16[2] = {0x79, 0xE8};
constexpr std::uint8_t kKnownAnswerXor32[4] = {0x8D, 0xAD, 0x89, 0x7F};
constexpr std::uint8_t kKnownAnswerCrc32[4] = {0x58, 0xEE, 0x1F, 0x31};
constexpr std::uint8_t kKnownAnswerCcitt[2] = {0xB0, 0xD1};
constexpr std::uint8_t kKnownAnswerCrc16[2] = {0xED, 0x75};

constexpr std::uint16_t RotateLeft16(std::uint16_t v, unsigned s) {
  return std::uint16_t((unsigned(v) << s) | (unsigned(v) >> (16 - s)));
}

// The table routines take signed lengths: feed them in pieces that always fit.
template <class Register, class Routine>
Register UpdateInPieces(Register crc, const std::uint8_t* data, std::size_t size, Routine routine) {
  constexpr std::size_t kPiece = std::size_t(1) << 30;
  for (std::size_t done = 0; done < size; done += kPiece) {
    const std::size_t n = size - done < kPiece ? size - done : kPiece;
    crc = routine(crc, data + done, std::ptrdiff_t(n));
  }
  return crc;
}

// XORs the bytes at p into 64 lanes: lane j gets every byte whose position is j modulo 64.
// Both XOR checksums rotate by 5 per step, which comes back to where it started after 16 (XOR-16,
// per byte) or 32 steps (XOR-32, per 16-bit word), so every byte whose position agrees modulo
// 16 or 64 ends up rotated alike and can be XORed together first.
void XorLanes(const std::uint8_t* p, std::size_t n, std::uint8_t (&lanes)[64]) {
  std::uint64_t acc[8] = {};
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64)
    for (std::size_t k = 0; k < 8; ++k) {
      std::uint64_t v;
      std::memcpy(&v, p + i + 8 * k, 8);
      acc[k] ^= v;
    }
  std::memcpy(lanes, acc, sizeof lanes);
  for (; i < n; ++i) lanes[i % 64] ^= p[i];
}

constexpr std::size_t kLaneMinimum = 64;  // below this the step per byte is as fast

}  // namespace

CORVANE_DEFINE_HASH_CLASS(THash_XOR16, TChecksum, 2, kKnownAnswerXor16)
CORVANE_DEFINE_HASH_CLASS(THash_XOR32, TChecksum, 4, kKnownAnswerXor32)
CORVANE_DEFINE_HASH_CLASS(THash_CRC32, THash_XOR32, 4, kKnownAnswerCrc32)
CORVANE_DEFINE_HASH_CLASS(THash_CRC16_CCITT, THash_XOR16, 2, kKnownAnswerCcitt)
CORVANE_DEFINE_HASH_CLASS(Thash_CRC16_Standard, THash_XOR16, 2, kKnownAnswerCrc16)

void THash_XOR16::DoUpdate(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = crc_;
  if (size < kLaneMinimum) {
    for (std::size_t i = 0; i < size; ++i) crc = std::uint16_t(RotateLeft16(crc, 5) ^ data[i]);
    crc_ = crc;
    return;
  }
  // Byte i of n is rotated by 5 (n - 1 - i) in the end, the register by 5 n (modulo 16).
  std::uint8_t lanes[64];
  XorLanes(data, size, lanes);
  crc = RotateLeft16(crc, unsigned(5 * (size % 16)) % 16);
  for (std::size_t j = 0; j < 16; ++j) {
    const unsigned lane = unsigned(lanes[j] ^ lanes[j + 16] ^ lanes[j + 32] ^ lanes[j + 48]);
    crc ^= RotateLeft16(std::uint16_t(lane), unsigned(5 * ((size + 15 - j) % 16)) % 16);
  }
  crc_ = crc;
}

void THash_XOR32::DoUpdate(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = crc_;
  if (size & 1) {
    crc ^= data[0];
    ++data;
    --size;
  }
  if (size < kLaneMinimum) {
    for (; size >= 2; data += 2, size -= 2) crc = RotateLeft32(crc, 5) ^ LoadLE16(data);
    crc_ = crc;
    return;
  }
  // Word k of m is rotated by 5 (m - 1 - k) in the end, the register by 5 m (modulo 32).
  std::uint8_t lanes[64];
  XorLanes(data, size, lanes);
  const std::size_t m = size / 2;
  crc = RotateLeft32(crc, unsigned(5 * (m % 32)));
  for (std::size_t j = 0; j < 32; ++j)
    crc ^= RotateLeft32(LoadLE16(lanes + 2 * j), unsigned(5 * ((m + 31 - j) % 32)));
  crc_ = crc;
}

void THash_CRC32::DoStart() { crc_ = 0xFFFFFFFFu; }
void THash_CRC32::DoFinish() { crc_ = ~crc_; }

void THash_CRC32::DoUpdate(const std::uint8_t* data, std::size_t size) {
  crc_ = UpdateInPieces(crc_, data, size, Crc32Update);
}

void THash_CRC16_CCITT::DoStart() { crc_ = 0xFFFF; }

void THash_CRC16_CCITT::DoUpdate(const std::uint8_t* data, std::size_t size) {
  crc_ = UpdateInPieces(crc_, data, size, Crc16CcittUpdate);
}

void Thash_CRC16_Standard::DoUpdate(const std::uint8_t* data, std::size_t size) {
  crc_ = UpdateInPieces(crc_, data, size, Crc16Update);
}

}  // namespace corvane
