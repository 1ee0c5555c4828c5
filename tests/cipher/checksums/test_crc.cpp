// The CRC table updates: the tables against published ones, the check values, and every path
// (folded, braided, sliced, byte-wise) against the byte-wise definition.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/base/support.h"
#include "cipher/checksums/crc.h"
#include "cipher/cpu_paths.h"

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

TEST(CrcTest, TablesAndUpdates) {
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

// Every path (folded with carry-less multiplies, sliced tables) gives the byte-wise table's
// result at every length and alignment, across the fold sizes and with every tail length.
TEST(CrcTest, UpdatesAgreeWithTheBytewiseDefinitionAtEveryLengthOnEveryPath) {
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
