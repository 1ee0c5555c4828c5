// The checksums: known answers, empty input, the check values over "123456789", CRC-32 against
// Crypto++ and RHash, both CRC-16 forms against bit-by-bit polynomial division, the XOR rules per
// call, the final step of CRC-32, and the keystream.
#include <gtest/gtest.h>
#include <rhash.h>

#include <cryptopp/crc.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/checksums/checksums.h"
#include "cipher/checksums/crc.h"
#include "cipher/cpu_paths.h"
#include "cipher/periphery_hash_testing.h"

namespace {

using namespace corvane;
using periphery::Bytes;
using periphery::Hex;

const HashClassInfo* const kChecksumClasses[] = {
    &THash_XOR16::StaticClass(), &THash_XOR32::StaticClass(), &THash_CRC16_CCITT::StaticClass(),
    &Thash_CRC16_Standard::StaticClass(), &THash_CRC32::StaticClass()};

// CRC-16/ARC bit by bit: reflected polynomial 0xA001, initial 0.
std::uint16_t BitwiseCrc16Arc(const Bytes& msg) {
  std::uint16_t crc = 0;
  for (std::uint8_t b : msg) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
  }
  return crc;
}

// The shift-in CCITT form bit by bit: each message bit enters at the bottom of the register,
// most significant bit first, and the bit shifted out at the top decides the 0x1021 feedback.
std::uint16_t BitwiseCrc16ShiftIn(const Bytes& msg) {
  std::uint16_t crc = 0xFFFF;
  for (std::uint8_t b : msg) {
    for (int i = 7; i >= 0; --i) {
      const bool top = (crc & 0x8000) != 0;
      crc = std::uint16_t((crc << 1) | ((b >> i) & 1));
      if (top) crc ^= 0x1021;
    }
  }
  return crc;
}

std::uint16_t Register16(THash& h) { return LoadLE16(h.DigestBytes()); }
std::uint32_t Register32(THash& h) { return LoadLE32(h.DigestBytes()); }

TEST(Checksums, KnownAnswersOverSharedTestInput) {
  periphery::ExpectKnownAnswer(THash_XOR16::StaticClass(), "79E8");
  periphery::ExpectKnownAnswer(THash_XOR32::StaticClass(), "8DAD897F");
  periphery::ExpectKnownAnswer(THash_CRC32::StaticClass(), "58EE1F31");
  periphery::ExpectKnownAnswer(THash_CRC16_CCITT::StaticClass(), "B0D1");
  periphery::ExpectKnownAnswer(Thash_CRC16_Standard::StaticClass(), "ED75");
}

TEST(Checksums, EmptyInputAndCheckValues) {
  struct Case {
    const HashClassInfo* cls;
    const char* empty;
    const char* check;  // over the nine ASCII digits 1 to 9, digest byte order
  };
  const Case cases[] = {
      {&THash_CRC32::StaticClass(), "00000000", "2639F4CB"},   // 0xCBF43926
      {&Thash_CRC16_Standard::StaticClass(), "0000", "3DBB"},  // 0xBB3D
      {&THash_CRC16_CCITT::StaticClass(), "FFFF", "9DA6"},     // 0xA69D, not 0x29B1
      {&THash_XOR16::StaticClass(), "0000", nullptr},         {&THash_XOR32::StaticClass(), "00000000", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cls->name);
    EXPECT_EQ(Hex(periphery::Digest(*c.cls, {})), c.empty);
    if (c.check) {
      EXPECT_EQ(Hex(periphery::Digest(*c.cls, periphery::Text("123456789"))), c.check);
    }
  }
}

TEST(Checksums, Crc32AgreesWithCryptoppAndRhash) {
  rhash_library_init();
  auto h = Make<THash_CRC32>();
  cpu_paths::ForEachPath([&] {
    std::mt19937 gen(99);
    for (int i = 0; i < 60; ++i) {
      const std::size_t n = i < 10 ? std::size_t(i) : gen() % 20000;
      const Bytes msg = periphery::RandomBytes(std::uint32_t(i), n);
      periphery::Digest(*h, msg);
      const std::uint32_t ours = Register32(*h);
      std::uint8_t rh[4];
      rhash_msg(RHASH_CRC32, msg.data(), msg.size(), rh);
      ASSERT_EQ(ours, LoadBE32(rh)) << "length " << n;
      CryptoPP::CRC32 crc;
      std::uint8_t cp[4];
      crc.CalculateDigest(cp, msg.data(), msg.size());
      ASSERT_EQ(Hex(periphery::DigestOf(*h)), Hex(cp, 4)) << "length " << n;
    }
  });
}

TEST(Checksums, Crc16FormsAgreeWithBitwiseDivision) {
  auto arc = Make<Thash_CRC16_Standard>();
  auto ccitt = Make<THash_CRC16_CCITT>();
  for (std::size_t n = 0; n < 300; n += 7) {
    const Bytes msg = periphery::RandomBytes(std::uint32_t(n), n);
    periphery::Digest(*arc, msg);
    periphery::Digest(*ccitt, msg);
    ASSERT_EQ(Register16(*arc), BitwiseCrc16Arc(msg)) << "length " << n;
    ASSERT_EQ(Register16(*ccitt), BitwiseCrc16ShiftIn(msg)) << "length " << n;
  }
}

TEST(Checksums, CcittTableMatchesThePublishedTable) {
  const std::uint16_t* table = Crc16CcittTable();
  EXPECT_EQ(table[1], 0x1021);
  EXPECT_EQ(table[2], 0x2042);
  EXPECT_EQ(table[3], 0x3063);
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/crc16-ccitt-table.txt");
  ASSERT_TRUE(in) << "tests/data/crc16-ccitt-table.txt missing";
  std::vector<unsigned long> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    while (words >> word) values.push_back(std::stoul(word, nullptr, 16));
  }
  ASSERT_EQ(values.size(), 256u);
  for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(table[i], values[i]) << i;
}

TEST(Checksums, XorRulesPerCall) {
  // XOR-16: per byte, rotate left by 5 over 16 bits, then XOR the byte into the low byte.
  EXPECT_EQ(Hex(periphery::Digest(THash_XOR16::StaticClass(), {0x01, 0x02})), "2200");  // 0x0022
  EXPECT_EQ(Hex(periphery::Digest(THash_XOR16::StaticClass(), {0x80, 0x00, 0x00})),
            "0200");  // bit 12 wraps to bit 1

  // XOR-32, one byte X: X and three zero bytes.
  EXPECT_EQ(Hex(periphery::Digest(THash_XOR32::StaticClass(), {0xA7})), "A7000000");
  // Pairs rotate over 32 bits: 0xFFFF rotated left by 30 after six more pairs.
  EXPECT_EQ(Hex(periphery::Digest(THash_XOR32::StaticClass(), {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})),
            "FF3F00C0");
  // Three bytes in one call: rotl(b0, 5) XOR (b1 + 256 b2); as calls of two and one:
  // (b0 + 256 b1) XOR b2, with no rotation before the odd byte.
  const Bytes three = {0x81, 0x02, 0x03};
  auto x = Make<THash_XOR32>();
  EXPECT_EQ(Hex(periphery::Digest(*x, three)), "22130000");               // 0x1020 ^ 0x0302
  EXPECT_EQ(Hex(periphery::DigestInPieces(*x, three, {2})), "82020000");  // 0x0281 ^ 0x03
  // Pieces of even length do not change the result of an even-length message.
  const Bytes msg = periphery::RandomBytes(5, 100);
  const Bytes whole = periphery::Digest(*x, msg);
  for (std::size_t split = 0; split <= 100; split += 2)
    ASSERT_EQ(periphery::DigestInPieces(*x, msg, {split, 40}), whole) << split;
}

// The XOR checksums fold long inputs lane by lane; the register is the step-by-step one at every
// length, from any register, with the odd-byte rule per call.
TEST(Checksums, XorChecksumsEqualTheStepDefinitionAtEveryLength) {
  const Bytes msg = periphery::RandomBytes(11, 700);
  for (std::size_t n = 0; n <= msg.size(); n += (n < 200 ? 1 : 37)) {
    std::uint16_t x16 = 0x5A3C;
    for (std::size_t i = 0; i < n; ++i) x16 = std::uint16_t(((x16 << 5) | (x16 >> 11)) ^ msg[i]);
    std::uint32_t x32 = 0xC0FFEE11u;
    std::size_t i = 0;
    if (n & 1) x32 ^= msg[i++];
    for (; i + 1 < n; i += 2) x32 = ((x32 << 5) | (x32 >> 27)) ^ std::uint32_t(msg[i] | (msg[i + 1] << 8));

    auto a = Make<THash_XOR16>();
    a->Start();
    StoreLE16(a->DigestBytes(), 0x5A3C);
    a->Update(msg.data(), n);
    ASSERT_EQ(Register16(*a), x16) << n;
    auto b = Make<THash_XOR32>();
    b->Start();
    StoreLE32(b->DigestBytes(), 0xC0FFEE11u);
    b->Update(msg.data(), n);
    ASSERT_EQ(Register32(*b), x32) << n;
  }
}

// CRC-32 and both CRC-16 forms on every processor path over lengths that reach the folded code.
TEST(Checksums, CrcClassesOnEveryPath) {
  cpu_paths::ForEachPath([] {
    auto arc = Make<Thash_CRC16_Standard>();
    auto ccitt = Make<THash_CRC16_CCITT>();
    for (std::size_t n : {0, 63, 64, 65, 127, 128, 129, 200, 1000, 4096}) {
      const Bytes msg = periphery::RandomBytes(std::uint32_t(n + 1), n);
      periphery::Digest(*arc, msg);
      periphery::Digest(*ccitt, msg);
      ASSERT_EQ(Register16(*arc), BitwiseCrc16Arc(msg)) << "length " << n;
      ASSERT_EQ(Register16(*ccitt), BitwiseCrc16ShiftIn(msg)) << "length " << n;
    }
    periphery::ExpectKnownAnswer(THash_CRC32::StaticClass(), "58EE1F31");
  });
}

TEST(Checksums, SplitUpdatesGiveTheSameDigest) {
  for (const HashClassInfo* cls : kChecksumClasses) {
    if (cls == &THash_XOR32::StaticClass()) continue;  // odd pieces are taken per call
    for (std::size_t n : {0, 1, 2, 3, 64})
      periphery::ExpectSplitIndependent(*cls, periphery::RandomBytes(std::uint32_t(n), n));
  }
}

// Finish complements the CRC-32 register in place; the other checksums leave it as it is.
TEST(Checksums, FinishStep) {
  auto crc = Make<THash_CRC32>();
  crc->Start();
  crc->Update(reinterpret_cast<const std::uint8_t*>("123456789"), 9);
  crc->Finish();
  EXPECT_EQ(Register32(*crc), 0xCBF43926u);
  crc->Finish();
  EXPECT_EQ(Register32(*crc), ~0xCBF43926u);
  auto ccitt = Make<THash_CRC16_CCITT>();
  periphery::Digest(*ccitt, periphery::Text("123456789"));
  ccitt->Finish();
  EXPECT_EQ(Register16(*ccitt), 0xA69D);
}

// CRC-32 and CRC-16 CCITT start from all ones and give a real keystream. XOR-16, XOR-32 and
// CRC-16 Standard start from zero and stay zero when fed their own zero digest, so their
// keystream is all zeros and Encrypt leaves the data as it is.
TEST(Checksums, KeystreamRoundTrip) {
  for (const HashClassInfo* cls : {&THash_CRC32::StaticClass(), &THash_CRC16_CCITT::StaticClass()})
    for (std::size_t n : {1, 17, 300}) periphery::ExpectKeystreamRoundTrip(*cls, n);
  for (const HashClassInfo* cls :
       {&THash_XOR16::StaticClass(), &THash_XOR32::StaticClass(), &Thash_CRC16_Standard::StaticClass()}) {
    const Bytes plain = periphery::RandomBytes(3, 50);
    Bytes data = plain;
    CreateHash(*cls)->ProcessBuffer(data.data(), data.size(), TProtectionAction::Encrypt);
    EXPECT_EQ(data, plain) << cls->name;
  }
}

}  // namespace
