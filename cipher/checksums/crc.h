// The CRC table updates of the checksum classes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The CRC table updates (a length of 0 or less, or no data, gives crc back). Each gives the
// byte-wise table's result; long inputs are folded with carry-less multiplies where the
// processor has them (kCpuPclmul), otherwise taken several bytes a step through sliced tables.
std::uint16_t Crc16Update(std::uint16_t crc, const void* data, std::ptrdiff_t len);
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::ptrdiff_t len);
// CRC-16 with polynomial 0x1021 in the shift-in form: per byte b,
// crc = ((crc << 8) | b) ^ Crc16CcittTable()[crc >> 8], truncated to 16 bits.
std::uint16_t Crc16CcittUpdate(std::uint16_t crc, const void* data, std::ptrdiff_t len);
const std::uint16_t* Crc16Table();       // reflected 0xA001 (CRC-16/ARC)
const std::uint32_t* Crc32Table();       // reflected 0xEDB88320
const std::uint16_t* Crc16CcittTable();  // entry i: byte i shifted out of the high byte, 0x1021

}  // namespace corvane
