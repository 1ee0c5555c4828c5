// CRC folding with carry-less multiplies: the entries of the kernel in crc_pclmul.cpp, which exists
// where the build has it (x86: CORVANE_X86_KERNELS) and is called only where the processor has
// the instruction (kCpuPclmul).
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::crc_pclmul {

// Folds the whole 16-byte blocks at p (blocks of them, at least one), the register crc taken in,
// and gives the remainder's 16 bytes in data order at rest: their CRC, taken byte-wise from a zero
// register, is the CRC of the blocks from crc. CRC-32 and CRC-16/ARC (reflected), CRC-16 CCITT
// (the shift-in form, polynomial 0x1021).
void FoldCrc32(std::uint32_t crc, const std::uint8_t* p, std::size_t blocks, std::uint8_t* rest);
void FoldCrc16(std::uint16_t crc, const std::uint8_t* p, std::size_t blocks, std::uint8_t* rest);
void FoldCcitt(std::uint16_t crc, const std::uint8_t* p, std::size_t blocks, std::uint8_t* rest);

}  // namespace corvane::crc_pclmul
