#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/base/support.h"
#include "cipher/cpu/features.h"
#include "cipher/checksums/crc.h"
#include "cpu_paths.h"

using namespace corvane;

namespace {
std::vector<std::uint64_t> ReadTable(const std::string& name) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/" + name);
  std::vector<std::uint64_t> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("#", 0) == 0) continue;
    std::istringstream words(line);
    std::string w;
    while (words >> w) values.push_back(std::stoull(w, nullptr, 16));
  }
  return values;
}
}  // namespace

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

TEST(SupportTest, CrcTablesAndUpdates) {
  const auto crc32 = ReadTable("crc32-table.txt");
  const auto crc16 = ReadTable("crc16-arc-table.txt");
  ASSERT_EQ(crc32.size(), 256u);
  ASSERT_EQ(crc16.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(Crc32Table()[i], crc32[i]) << i;
    EXPECT_EQ(Crc16Table()[i], crc16[i]) << i;
  }
  const auto input = SharedTestInput();
  EXPECT_EQ(Crc32Update(0xFFFFFFFFu, input.data(), 32) ^ 0xFFFFFFFFu, 0x311FEE58u);
  const char* check = "123456789";
  EXPECT_EQ(Crc32Update(0xFFFFFFFFu, check, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
  EXPECT_EQ(Crc16Update(0, check, 9), 0xBB3D);
  EXPECT_EQ(Crc16Update(0x1234, nullptr, 9), 0x1234);
  EXPECT_EQ(Crc32Update(0x1234, check, 0), 0x1234u);
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

// Every path (folded with carry-less multiplies, sliced tables) gives the byte-wise table's
// result at every length and alignment, across the fold sizes and with every tail length.
TEST(SupportTest, CrcUpdatesAgreeWithTheBytewiseDefinitionAtEveryLengthOnEveryPath) {
  std::vector<std::uint8_t> data(1100);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 151 + 7 + (i >> 8));
  const std::uint16_t* ccitt = Crc16CcittTable();
  EXPECT_GT(cpu_paths::Masks().size(), 0u);
  cpu_paths::ForEachPath([&] {
    for (std::size_t offset : {0, 3}) {
      const std::uint8_t* p = data.data() + offset;
      std::uint32_t c32 = 0x12345678u;
      std::uint16_t c16 = 0xBEEF, cc = 0x1D0F;
      for (std::size_t len = 0; len + offset <= data.size(); ++len) {
        ASSERT_EQ(Crc32Update(0x12345678u, p, std::ptrdiff_t(len)), c32) << len;
        ASSERT_EQ(Crc16Update(0xBEEF, p, std::ptrdiff_t(len)), c16) << len;
        ASSERT_EQ(Crc16CcittUpdate(0x1D0F, p, std::ptrdiff_t(len)), cc) << len;
        if (len + offset == data.size()) break;
        c32 = (c32 >> 8) ^ Crc32Table()[(c32 ^ p[len]) & 0xFF];
        c16 = std::uint16_t((c16 >> 8) ^ Crc16Table()[(c16 ^ p[len]) & 0xFF]);
        cc = std::uint16_t(((unsigned(cc) << 8) | p[len]) ^ ccitt[cc >> 8]);
      }
    }
    EXPECT_EQ(Crc32Update(0x1234, data.data(), -5), 0x1234u);
    EXPECT_EQ(Crc16CcittUpdate(0x1234, nullptr, 100), 0x1234);
  });
}
