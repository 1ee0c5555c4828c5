#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cipher/base/support.h"
#include "cipher/cpu/features.h"

using namespace corvane;


TEST(SupportTest, RandomFill) {
  std::uint8_t b = 0;
  EXPECT_EQ(RandomFill(0, &b, 1), 1u);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(RandomFill(1234, &b, 0), 1234u);
  EXPECT_EQ(RandomFill(1234, nullptr, 5), 1234u);
  // The old contents are mixed in: the same seed over the same buffer twice gives other bytes.
  std::uint8_t buf[16] = {};
  RandomFill(77, buf, sizeof buf);
  std::uint8_t first[16];
  std::memcpy(first, buf, sizeof buf);
  RandomFill(77, buf, sizeof buf);
  EXPECT_NE(std::memcmp(first, buf, sizeof buf), 0);
  // One step by hand: state = (seed ^ byte) * 134775813 + 1, byte = top 8 bits.
  std::uint8_t one = 0x5A;
  const std::uint32_t state = RandomFill(0x01020304u, &one, 1);
  EXPECT_EQ(state, (0x01020304u ^ 0x5Au) * 134775813u + 1u);
  EXPECT_EQ(one, std::uint8_t(state >> 24));
}

TEST(SupportTest, BitAndByteHelpers) {
  EXPECT_EQ(ReverseBits32(1), 0x80000000u);
  EXPECT_EQ(ReverseBits32(0x12345678u), 0x1E6A2C48u);
  const std::uint8_t bytes[4] = {1, 2, 3, 4};
  std::uint32_t w;
  std::memcpy(&w, bytes, 4);
  const std::uint32_t swapped = SwapBytes32(w);
  std::uint8_t out[4];
  std::memcpy(out, &swapped, 4);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[3], 1);
  EXPECT_EQ(RotateLeft32(0x80000001u, 1), 3u);
  EXPECT_EQ(RotateRight32(3u, 1), 0x80000001u);
  EXPECT_EQ(RotateLeft32(0xABCDEF01u, 32), 0xABCDEF01u);

  std::uint8_t words[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  SwapBytes32Buffer(words, words, 3);
  const std::uint8_t expect[12] = {4, 3, 2, 1, 8, 7, 6, 5, 12, 11, 10, 9};
  EXPECT_EQ(std::memcmp(words, expect, 12), 0);
}

TEST(SupportTest, CompareAndXor) {
  const std::uint8_t a[3] = {5, 1, 9}, b[3] = {5, 0xFF, 0};
  EXPECT_EQ(CompareMemory(a, b, 3), -254);
  EXPECT_EQ(CompareMemory(a, b, 1), 0);
  EXPECT_EQ(CompareMemory(a, b, 0), 0);

  for (std::size_t size : {0u, 1u, 3u, 4u, 7u, 8u, 13u}) {
    std::vector<std::uint8_t> x(size), y(size), expect(size);
    for (std::size_t i = 0; i < size; ++i) {
      x[i] = std::uint8_t(i * 37 + 1);
      y[i] = std::uint8_t(i * 91 + 7);
      expect[i] = std::uint8_t(x[i] ^ y[i]);
    }
    XorInto(x.data(), y.data(), size, x.data());  // dest is the first input
    EXPECT_EQ(x, expect) << "size " << size;
  }
}

TEST(SupportTest, SharedTestInputAndText) {
  const auto input = SharedTestInput();
  EXPECT_EQ(input[0], 0x30);
  EXPECT_EQ(input[31], 0xB1);
  EXPECT_TRUE(SameText("Caf\xE9", "CAF\xC9"));
  EXPECT_FALSE(SameText("\xD7", "\xF7"));  // multiplication and division signs are not a case pair
  EXPECT_EQ(Trim(" \t\r\nabc \x01"), "abc");
  EXPECT_GE(CpuFamily(), 3);
}

TEST(SupportTest, SecureWipe) {
  std::uint8_t secret[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SecureWipeThrice(secret, sizeof secret, 0);
  for (auto b : secret) EXPECT_EQ(b, 0);
}
