// Short checksums that run through the hash interface: XOR-16, XOR-32, CRC-16 (ARC and the
// CCITT shift-in form) and CRC-32. The register is the whole state and, in memory order, the
// digest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cipher/base/hash.h"
#include "cipher/base/support.h"

namespace corvane {

// A checksum whose whole state is one register: zero at Start, wiped on destruction, and the
// digest is its bytes in memory order.
template <class Register>
class TChecksumRegister : public TChecksum {
 public:
  using TChecksum::TChecksum;
  ~TChecksumRegister() override { SecureWipe(&crc_, sizeof(crc_)); }

  std::uint8_t* DigestBytes() override { return reinterpret_cast<std::uint8_t*>(&crc_); }

 protected:
  void DoStart() override { crc_ = 0; }

  Register crc_ = 0;
};

class THash_XOR16 : public TChecksumRegister<std::uint16_t> {
  CORVANE_HASH_CLASS(THash_XOR16)
 public:
  using TChecksumRegister::TChecksumRegister;

 protected:
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
};

class THash_XOR32 : public TChecksumRegister<std::uint32_t> {
  CORVANE_HASH_CLASS(THash_XOR32)
 public:
  using TChecksumRegister::TChecksumRegister;

 protected:
  // An odd length takes its first byte alone, so the result depends on how data of odd length
  // is split into calls.
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
};

// CRC-32 of IEEE 802.3 (reflected 0xEDB88320, initial 0xFFFFFFFF, final complement).
class THash_CRC32 : public THash_XOR32 {
  CORVANE_HASH_CLASS(THash_CRC32)
 public:
  using THash_XOR32::THash_XOR32;

 protected:
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoStart() override;
  // Complements the register in place (a second Finish without Start undoes the first).
  void DoFinish() override;
};

// CRC-16 with polynomial 0x1021 and initial value 0xFFFF in the shift-in form: each byte enters
// at the bottom of the register, and no zero bytes are appended.
class THash_CRC16_CCITT : public THash_XOR16 {
  CORVANE_HASH_CLASS(THash_CRC16_CCITT)
 public:
  using THash_XOR16::THash_XOR16;

 protected:
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
  void DoStart() override;
};

// CRC-16/ARC (reflected 0xA001, initial 0, no final complement).
class Thash_CRC16_Standard : public THash_XOR16 {
  CORVANE_HASH_CLASS(Thash_CRC16_Standard)
 public:
  using THash_XOR16::THash_XOR16;

 protected:
  void DoUpdate(const std::uint8_t* data, std::size_t size) override;
};

// The CCITT table is Crc16CcittTable() (cipher/checksums/crc.h): entry i is the byte i shifted from the
// high byte of a zero register through eight steps of polynomial 0x1021, most significant bit
// first.

}  // namespace corvane
