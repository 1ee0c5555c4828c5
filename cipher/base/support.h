// Small routines shared by the hashes and ciphers: secure wiping, the random fill used by the
// Erase action, rotations, byte swaps, byte-order loads and stores, buffer compare and XOR, the
// shared 32-byte test input, and Latin-1 text helpers.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// Overwrites memory in a way the optimiser cannot drop.
void SecureWipe(void* data, std::size_t size, std::uint8_t value = 0);
// The fixed wipe of secrets: 0xAA, then 0x55, then the final value.
void SecureWipeThrice(void* data, std::size_t size, std::uint8_t finalValue = 0);
inline void SecureWipe(std::string& s, std::uint8_t value = 0) { SecureWipe(s.data(), s.size(), value); }

// RandomFill: linear congruential state mixed with the old bytes; gives the state after the
// last byte. A null buffer or a size of 0 or less changes nothing and gives the seed back.
std::uint32_t RandomFill(std::uint32_t seed, void* buffer, std::ptrdiff_t size);
// Milliseconds since UTC midnight XORed with both halves of a high-resolution counter.
std::uint32_t TimeSeed();

constexpr std::uint32_t RotateLeft32(std::uint32_t v, unsigned s) {
  s &= 31;
  return s ? (v << s) | (v >> (32 - s)) : v;
}
constexpr std::uint32_t RotateRight32(std::uint32_t v, unsigned s) {
  s &= 31;
  return s ? (v >> s) | (v << (32 - s)) : v;
}
constexpr std::uint64_t RotateLeft64(std::uint64_t v, unsigned s) {
  s &= 63;
  return s ? (v << s) | (v >> (64 - s)) : v;
}
constexpr std::uint32_t SwapBytes32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}
// Byte-swaps count 32-bit words from source to dest, last word first (source may equal dest).
void SwapBytes32Buffer(const void* source, void* dest, std::size_t count);
std::uint32_t ReverseBits32(std::uint32_t v);
// 0 when equal (or size 0), else the first differing byte of a minus that of b (unsigned bytes).
int CompareMemory(const void* a, const void* b, std::size_t size);  // size 0 or less: 0
// dest[i] = i1[i] ^ i2[i]; dest may be i1 or i2.
void XorInto(const void* i1, const void* i2, std::size_t size, void* dest);  // 0 or less: nothing

// The library's 32-byte test input; every known answer refers to it.
std::span<const std::uint8_t, 32> SharedTestInput();
// Byte-order loads and stores, unaligned-safe. On a little-endian machine they are one word copy
// (and one byte swap for big-endian order); elsewhere the words are assembled from bytes. (GCC
// otherwise turns pairs of byte-wise stores into long shift chains.)
inline constexpr bool kLittleEndian = std::endian::native == std::endian::little;

inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  if constexpr (kLittleEndian) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
  }
}
inline std::uint32_t LoadBE32(const std::uint8_t* p) {
  if constexpr (kLittleEndian) {
    return SwapBytes32(LoadLE32(p));
  } else {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
  }
}
inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (kLittleEndian) {
    std::memcpy(p, &v, 4);
  } else {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
  }
}
inline void StoreBE32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (kLittleEndian) {
    StoreLE32(p, SwapBytes32(v));
  } else {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
  }
}
inline std::uint64_t LoadLE64(const std::uint8_t* p) {
  return std::uint64_t(LoadLE32(p)) | (std::uint64_t(LoadLE32(p + 4)) << 32);
}
inline void StoreLE64(std::uint8_t* p, std::uint64_t v) {
  StoreLE32(p, std::uint32_t(v));
  StoreLE32(p + 4, std::uint32_t(v >> 32));
}
inline std::uint16_t LoadLE16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint16_t LoadBE16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
inline void StoreLE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void StoreBE16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v >> 8);
  p[1] = std::uint8_t(v);
}

// Latin-1 text helpers: the library's texts are 8-bit bytes; case folding covers ASCII and the
// Latin-1 letters (0xC0-0xDE except 0xD7 fold to 0xE0-0xFE).
std::uint8_t Latin1Upper(std::uint8_t c);
std::uint8_t Latin1Lower(std::uint8_t c);
bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
// Removes leading and trailing blanks and control characters (bytes <= 0x20).
std::string_view Trim(std::string_view s);

}  // namespace corvane
