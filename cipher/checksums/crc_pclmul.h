// CRC folding with carry-less multiplies: the entries of the kernel in crc_pclmul.cpp, which exists
// where the build has it (x86: CORVANE_X86_KERNELS) and is called only where the processor has
// the instruction (kCpuPclmul).
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::crc_pclmul {

// The CRC of the n bytes at p (n at least 16) from the register crc: the whole 16-byte blocks
// folded, their remainder and the tail taken byte-wise with the caller's byte table (the same
// result as the table alone). CRC-32 and CRC-16/ARC (reflected), CRC-16 CCITT (the shift-in form,
// polynomial 0x1021, table entry i: byte i shifted out of the high byte).
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* p, std::size_t n, const std::uint32_t* table);
std::uint16_t Crc16(std::uint16_t crc, const std::uint8_t* p, std::size_t n, const std::uint16_t* table);
std::uint16_t Ccitt(std::uint16_t crc, const std::uint8_t* p, std::size_t n, const std::uint16_t* table);

}  // namespace corvane::crc_pclmul
