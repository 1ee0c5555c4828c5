// The checksum classes. Every Update computes on a local copy of the register and stores it when
// done, so an input that is the register itself (the digest fed back) is read as it stood when
// the call began.
#include "cipher/checksums.h"

#include <bit>

#include "cipher/support.h"

namespace corvane {

static_assert(std::endian::native == std::endian::little,
              "the digest is the register's bytes, least significant first");

namespace {

constexpr std::uint8_t kKnownAnswerXor16[2] = {0x79, 0xE8};
constexpr std::uint8_t kKnownAnswerXor32[4] = {0x8D, 0xAD, 0x89, 0x7F};
constexpr std::uint8_t kKnownAnswerCrc32[4] = {0x58, 0xEE, 0x1F, 0x31};
constexpr std::uint8_t kKnownAnswerCcitt[2] = {0xB0, 0xD1};
constexpr std::uint8_t kKnownAnswerCrc16[2] = {0xED, 0x75};

constexpr std::uint16_t kCcittTable[256] = {
    0x0000u, 0x1021u, 0x2042u, 0x3063u, 0x4084u, 0x50A5u, 0x60C6u, 0x70E7u,
    0x8108u, 0x9129u, 0xA14Au, 0xB16Bu, 0xC18Cu, 0xD1ADu, 0xE1CEu, 0xF1EFu,
    0x1231u, 0x0210u, 0x3273u, 0x2252u, 0x52B5u, 0x4294u, 0x72F7u, 0x62D6u,
    0x9339u, 0x8318u, 0xB37Bu, 0xA35Au, 0xD3BDu, 0xC39Cu, 0xF3FFu, 0xE3DEu,
    0x2462u, 0x3443u, 0x0420u, 0x1401u, 0x64E6u, 0x74C7u, 0x44A4u, 0x5485u,
    0xA56Au, 0xB54Bu, 0x8528u, 0x9509u, 0xE5EEu, 0xF5CFu, 0xC5ACu, 0xD58Du,
    0x3653u, 0x2672u, 0x1611u, 0x0630u, 0x76D7u, 0x66F6u, 0x5695u, 0x46B4u,
    0xB75Bu, 0xA77Au, 0x9719u, 0x8738u, 0xF7DFu, 0xE7FEu, 0xD79Du, 0xC7BCu,
    0x48C4u, 0x58E5u, 0x6886u, 0x78A7u, 0x0840u, 0x1861u, 0x2802u, 0x3823u,
    0xC9CCu, 0xD9EDu, 0xE98Eu, 0xF9AFu, 0x8948u, 0x9969u, 0xA90Au, 0xB92Bu,
    0x5AF5u, 0x4AD4u, 0x7AB7u, 0x6A96u, 0x1A71u, 0x0A50u, 0x3A33u, 0x2A12u,
    0xDBFDu, 0xCBDCu, 0xFBBFu, 0xEB9Eu, 0x9B79u, 0x8B58u, 0xBB3Bu, 0xAB1Au,
    0x6CA6u, 0x7C87u, 0x4CE4u, 0x5CC5u, 0x2C22u, 0x3C03u, 0x0C60u, 0x1C41u,
    0xEDAEu, 0xFD8Fu, 0xCDECu, 0xDDCDu, 0xAD2Au, 0xBD0Bu, 0x8D68u, 0x9D49u,
    0x7E97u, 0x6EB6u, 0x5ED5u, 0x4EF4u, 0x3E13u, 0x2E32u, 0x1E51u, 0x0E70u,
    0xFF9Fu, 0xEFBEu, 0xDFDDu, 0xCFFCu, 0xBF1Bu, 0xAF3Au, 0x9F59u, 0x8F78u,
    0x9188u, 0x81A9u, 0xB1CAu, 0xA1EBu, 0xD10Cu, 0xC12Du, 0xF14Eu, 0xE16Fu,
    0x1080u, 0x00A1u, 0x30C2u, 0x20E3u, 0x5004u, 0x4025u, 0x7046u, 0x6067u,
    0x83B9u, 0x9398u, 0xA3FBu, 0xB3DAu, 0xC33Du, 0xD31Cu, 0xE37Fu, 0xF35Eu,
    0x02B1u, 0x1290u, 0x22F3u, 0x32D2u, 0x4235u, 0x5214u, 0x6277u, 0x7256u,
    0xB5EAu, 0xA5CBu, 0x95A8u, 0x8589u, 0xF56Eu, 0xE54Fu, 0xD52Cu, 0xC50Du,
    0x34E2u, 0x24C3u, 0x14A0u, 0x0481u, 0x7466u, 0x6447u, 0x5424u, 0x4405u,
    0xA7DBu, 0xB7FAu, 0x8799u, 0x97B8u, 0xE75Fu, 0xF77Eu, 0xC71Du, 0xD73Cu,
    0x26D3u, 0x36F2u, 0x0691u, 0x16B0u, 0x6657u, 0x7676u, 0x4615u, 0x5634u,
    0xD94Cu, 0xC96Du, 0xF90Eu, 0xE92Fu, 0x99C8u, 0x89E9u, 0xB98Au, 0xA9ABu,
    0x5844u, 0x4865u, 0x7806u, 0x6827u, 0x18C0u, 0x08E1u, 0x3882u, 0x28A3u,
    0xCB7Du, 0xDB5Cu, 0xEB3Fu, 0xFB1Eu, 0x8BF9u, 0x9BD8u, 0xABBBu, 0xBB9Au,
    0x4A75u, 0x5A54u, 0x6A37u, 0x7A16u, 0x0AF1u, 0x1AD0u, 0x2AB3u, 0x3A92u,
    0xFD2Eu, 0xED0Fu, 0xDD6Cu, 0xCD4Du, 0xBDAAu, 0xAD8Bu, 0x9DE8u, 0x8DC9u,
    0x7C26u, 0x6C07u, 0x5C64u, 0x4C45u, 0x3CA2u, 0x2C83u, 0x1CE0u, 0x0CC1u,
    0xEF1Fu, 0xFF3Eu, 0xCF5Du, 0xDF7Cu, 0xAF9Bu, 0xBFBAu, 0x8FD9u, 0x9FF8u,
    0x6E17u, 0x7E36u, 0x4E55u, 0x5E74u, 0x2E93u, 0x3EB2u, 0x0ED1u, 0x1EF0u,
};

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

}  // namespace

const std::uint16_t* Crc16CcittTable() { return kCcittTable; }

CORVANE_DEFINE_HASH_CLASS(THash_XOR16, TChecksum, 2, kKnownAnswerXor16)
CORVANE_DEFINE_HASH_CLASS(THash_XOR32, TChecksum, 4, kKnownAnswerXor32)
CORVANE_DEFINE_HASH_CLASS(THash_CRC32, THash_XOR32, 4, kKnownAnswerCrc32)
CORVANE_DEFINE_HASH_CLASS(THash_CRC16_CCITT, THash_XOR16, 2, kKnownAnswerCcitt)
CORVANE_DEFINE_HASH_CLASS(Thash_CRC16_Standard, THash_XOR16, 2, kKnownAnswerCrc16)

void THash_XOR16::Update(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || NoBytes(size)) return;
  std::uint16_t crc = crc_;
  for (std::size_t i = 0; i < size; ++i) crc = std::uint16_t(RotateLeft16(crc, 5) ^ data[i]);
  crc_ = crc;
}

void THash_XOR32::Update(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || NoBytes(size)) return;
  std::uint32_t crc = crc_;
  if (size & 1) {
    crc ^= data[0];
    ++data;
    --size;
  }
  for (; size >= 2; data += 2, size -= 2) crc = RotateLeft32(crc, 5) ^ LoadLE16(data);
  crc_ = crc;
}

void THash_CRC32::DoStart() { crc_ = 0xFFFFFFFFu; }
void THash_CRC32::DoFinish() { crc_ = ~crc_; }

void THash_CRC32::Update(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || NoBytes(size)) return;
  crc_ = UpdateInPieces(crc_, data, size, Crc32Update);
}

void THash_CRC16_CCITT::DoStart() { crc_ = 0xFFFF; }

void THash_CRC16_CCITT::Update(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || NoBytes(size)) return;
  std::uint16_t crc = crc_;
  for (std::size_t i = 0; i < size; ++i)
    crc = std::uint16_t(((unsigned(crc) << 8) | data[i]) ^ kCcittTable[crc >> 8]);
  crc_ = crc;
}

void Thash_CRC16_Standard::Update(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || NoBytes(size)) return;
  crc_ = UpdateInPieces(crc_, data, size, Crc16Update);
}

}  // namespace corvane
