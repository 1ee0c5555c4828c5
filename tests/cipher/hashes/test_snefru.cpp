// Snefru-256 in the library's form: known answers; its core (S-boxes, passes, rotations) checked
// by building the published Snefru-256 on it and comparing with RHash; and the class checked
// against a model that pads the whole message up front as the library defines it.
#include <gtest/gtest.h>
#include <rhash.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/hashes/snefru.h"
#include "cipher/periphery_hash_testing.h"

namespace {

using namespace corvane;
using periphery::Bytes;
using periphery::Hex;

// The published Snefru-256 on the library's passes: big-endian words, the old chaining value
// XORed with the mirrored processed words, zero-padded tail block and a separate block with the
// big-endian bit length.
Bytes PublishedSnefru256(const Bytes& msg) {
  std::uint32_t hash[8] = {};
  auto process = [&hash](const std::uint8_t* block) {
    std::uint32_t w[16];
    for (int i = 0; i < 8; ++i) w[i] = hash[i];
    for (int i = 0; i < 8; ++i) w[8 + i] = LoadBE32(block + 4 * i);
    SnefruPasses(w, 8);
    for (int i = 0; i < 8; ++i) hash[i] ^= w[15 - i];
  };
  std::size_t pos = 0;
  for (; pos + 32 <= msg.size(); pos += 32) process(msg.data() + pos);
  std::uint8_t block[32] = {};
  if (pos < msg.size()) {
    std::copy(msg.begin() + std::ptrdiff_t(pos), msg.end(), block);
    process(block);
    std::fill(std::begin(block), std::end(block), 0);
  }
  const std::uint64_t bits = std::uint64_t(msg.size()) * 8;
  StoreBE32(block + 24, std::uint32_t(bits >> 32));
  StoreBE32(block + 28, std::uint32_t(bits));
  process(block);
  Bytes out(32);
  for (int i = 0; i < 8; ++i) StoreBE32(out.data() + 4 * i, hash[i]);
  return out;
}

Bytes RhashSnefru256(const Bytes& msg) {
  Bytes out(32);
  rhash_msg(RHASH_SNEFRU256, msg.data(), msg.size(), out.data());
  return out;
}

// The library's padding, built whole before hashing: the message, zeros up to a multiple of 32
// (a tail of 24 bytes or more is closed off and followed by an all-zero block), and the bit length
// little-endian in the last 8 bytes.
Bytes LibraryPadded(const Bytes& msg) {
  Bytes padded = msg;
  const std::size_t tail = msg.size() % 32;
  padded.resize(msg.size() - tail + (tail >= 24 ? 64 : 32), 0);
  StoreLE64(padded.data() + padded.size() - 8, std::uint64_t(msg.size()) * 8);
  return padded;
}

Bytes LibrarySnefruModel(const Bytes& msg) {
  std::uint32_t w[16] = {};
  const Bytes padded = LibraryPadded(msg);
  for (std::size_t pos = 0; pos < padded.size(); pos += 32) {
    for (int i = 0; i < 8; ++i) w[8 + i] = LoadLE32(padded.data() + pos + 4 * i);
    SnefruPasses(w, 8);
    for (int i = 0; i < 8; ++i) w[i] ^= w[15 - i];
  }
  Bytes out(32);
  for (int i = 0; i < 8; ++i) StoreLE32(out.data() + 4 * i, w[i]);
  return out;
}

TEST(Snefru, KnownAnswerAndEmptyInput) {
  periphery::ExpectKnownAnswer(THash_Snefru::StaticClass(),
                               "D690EE6728D9BA02A3C790EE507319741FBF6B83EB9A6BDFF57AD8C3078DA434");
  EXPECT_EQ(Hex(periphery::Digest(THash_Snefru::StaticClass(), {})),
            "91CD14298B62A551B788EB8266FBBE7E5E5FA925784C732EE4C5AE9C090A9013");
}

TEST(Snefru, SBoxesMatchThePublishedTable) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/snefru-sboxes.txt");
  ASSERT_TRUE(in) << "tests/data/snefru-sboxes.txt missing";
  std::vector<std::uint32_t> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    while (words >> word) values.push_back(std::uint32_t(std::stoul(word, nullptr, 16)));
  }
  ASSERT_EQ(values.size(), 4096u);
  const auto& boxes = SnefruSBoxes();
  for (std::size_t i = 0; i < 4096; ++i) ASSERT_EQ(boxes[i / 256][i % 256], values[i]) << i;
}

// The core is Merkle's: the published function built on it agrees with RHash.
TEST(Snefru, CoreGivesPublishedSnefru256) {
  rhash_library_init();
  EXPECT_EQ(Hex(PublishedSnefru256({})), "8617F366566A011837F4FB4BA5BEDEA2B892F3ED8B894023D16AE344B2BE5881");
  std::vector<std::size_t> lengths = {0, 1, 23, 24, 31, 32, 33, 63, 64, 65, 1000, 4097};
  std::mt19937 gen(77);
  for (int i = 0; i < 30; ++i) lengths.push_back(gen() % 3000);
  for (std::size_t n : lengths) {
    const Bytes msg = periphery::RandomBytes(std::uint32_t(n + 5), n);
    ASSERT_EQ(Hex(PublishedSnefru256(msg)), Hex(RhashSnefru256(msg))) << "length " << n;
  }
}

// The class follows the library's own word order, final step and padding, and differs from
// the published function.
TEST(Snefru, ClassMatchesLibraryPaddingModel) {
  EXPECT_EQ(LibraryPadded(Bytes(23)).size(), 32u);  // one compression in all
  EXPECT_EQ(LibraryPadded(Bytes(24)).size(), 64u);  // tail block, then the length block
  EXPECT_EQ(LibraryPadded(Bytes(32)).size(), 64u);  // the full block, then the length block
  auto h = Make<THash_Snefru>();
  for (std::size_t n = 0; n <= 200; ++n) {
    const Bytes msg = periphery::RandomBytes(std::uint32_t(n), n);
    const Bytes digest = periphery::Digest(*h, msg);
    ASSERT_EQ(Hex(digest), Hex(LibrarySnefruModel(msg))) << "length " << n;
    ASSERT_NE(Hex(digest), Hex(PublishedSnefru256(msg))) << "length " << n;
  }
  const Bytes big = periphery::RandomBytes(9, 100000);
  EXPECT_EQ(Hex(periphery::Digest(*h, big)), Hex(LibrarySnefruModel(big)));
}

TEST(Snefru, SplitUpdatesGiveTheSameDigest) {
  for (std::size_t n : {0, 1, 23, 24, 31, 32, 33, 100})
    periphery::ExpectSplitIndependent(THash_Snefru::StaticClass(), periphery::RandomBytes(std::uint32_t(n), n));
}

TEST(Snefru, KeystreamRoundTrip) {
  for (std::size_t n : {1, 17, 300}) periphery::ExpectKeystreamRoundTrip(THash_Snefru::StaticClass(), n);
}

}  // namespace
