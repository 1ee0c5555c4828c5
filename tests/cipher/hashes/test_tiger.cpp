// Tiger: published digests, agreement with Crypto++ and RHash, the S-box table, the pass count,
// and the MD4 framework's split-independence and keystream.
#include <gtest/gtest.h>
#include <rhash.h>

#include <cryptopp/tiger.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/hashes/tiger.h"
#include "cipher/periphery_hash_testing.h"

namespace {

using namespace corvane;
using periphery::Bytes;
using periphery::Hex;

Bytes CryptoppTiger(const Bytes& msg) {
  CryptoPP::Tiger tiger;
  Bytes out(CryptoPP::Tiger::DIGESTSIZE);
  tiger.CalculateDigest(out.data(), msg.data(), msg.size());
  return out;
}

Bytes RhashTiger(const Bytes& msg) {
  Bytes out(24);
  rhash_msg(RHASH_TIGER, msg.data(), msg.size(), out.data());
  return out;
}

TEST(Tiger, KnownAnswerAndPublishedDigests) {
  periphery::ExpectKnownAnswer(THash_Tiger::StaticClass(), "58787523E09A9084D8E362966895E0EF9E621B4FBC4A44CA");
  EXPECT_EQ(Hex(periphery::Digest(THash_Tiger::StaticClass(), {})),
            "3293AC630C13F0245F92BBB1766E16167A4E58492DDE73F3");
  EXPECT_EQ(Hex(periphery::Digest(THash_Tiger::StaticClass(), periphery::Text("abc"))),
            "2AAB1484E8C158F2BFB8C5FF41B57A525129131C957B5F93");
}

TEST(Tiger, SBoxesMatchThePublishedTable) {
  std::ifstream in(std::string(CORVANE_TEST_DATA_DIR) + "/tiger-sboxes.txt");
  ASSERT_TRUE(in) << "tests/data/tiger-sboxes.txt missing";
  std::vector<std::uint64_t> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string word;
    while (words >> word) values.push_back(std::stoull(word, nullptr, 16));
  }
  ASSERT_EQ(values.size(), 1024u);
  const auto& boxes = TigerSBoxes();
  for (std::size_t i = 0; i < 1024; ++i) ASSERT_EQ(boxes[i / 256][i % 256], values[i]) << i;
}

// Lengths around the 56-byte padding boundary and the block size, and random messages.
TEST(Tiger, AgreesWithCryptoppAndRhash) {
  rhash_library_init();
  std::vector<std::size_t> lengths = {0,  1,   2,   3,   55,  56,  57,   63,   64,
                                      65, 119, 120, 127, 128, 129, 1000, 4096, 4097};
  std::mt19937 gen(4711);
  for (int i = 0; i < 40; ++i) lengths.push_back(gen() % 10000);
  auto h = Make<THash_Tiger>();
  for (std::size_t n : lengths) {
    const Bytes msg = periphery::RandomBytes(std::uint32_t(n * 3 + 1), n);
    const std::string ours = Hex(periphery::Digest(*h, msg));
    ASSERT_EQ(ours, Hex(CryptoppTiger(msg))) << "length " << n;
    ASSERT_EQ(ours, Hex(RhashTiger(msg))) << "length " << n;
  }
}

TEST(Tiger, PassCountRangeAndPersistence) {
  auto h = Make<THash_Tiger>();
  const Bytes msg = periphery::Text("abc");
  const Bytes three = periphery::Digest(*h, msg);
  EXPECT_EQ(h->Passes(), 3);
  h->SetPasses(4);
  const Bytes four = periphery::Digest(*h, msg);
  EXPECT_NE(four, three);
  EXPECT_EQ(h->Passes(), 4);
  EXPECT_EQ(periphery::Digest(*h, msg), four);  // kept over another Start
  h->SetPasses(32);
  const Bytes many = periphery::Digest(*h, msg);
  EXPECT_NE(many, four);
  EXPECT_EQ(h->Passes(), 32);
  for (std::int32_t bad : {-1, 0, 2, 33}) {
    h->SetPasses(bad);
    EXPECT_EQ(periphery::Digest(*h, msg), three) << bad;
    EXPECT_EQ(h->Passes(), 3);
  }
}

// A pass count set during a run waits for the next Start, so a run never mixes pass counts.
TEST(Tiger, PassCountSetDuringARunTakesEffectAtNextStart) {
  const Bytes msg = periphery::RandomBytes(8, 500);
  auto h = Make<THash_Tiger>();
  h->Start();
  h->Update(msg.data(), 64);
  h->SetPasses(4);
  h->Update(msg.data() + 64, msg.size() - 64);
  h->Finish();
  EXPECT_EQ(Hex(periphery::DigestOf(*h)), Hex(CryptoppTiger(msg)));
  EXPECT_NE(Hex(periphery::Digest(*h, msg)), Hex(CryptoppTiger(msg)));
  EXPECT_EQ(h->Passes(), 4);
}

TEST(Tiger, SplitUpdatesGiveTheSameDigest) {
  for (std::size_t n : {0, 1, 55, 56, 63, 64, 65, 130})
    periphery::ExpectSplitIndependent(THash_Tiger::StaticClass(), periphery::RandomBytes(std::uint32_t(n), n));
}

// With a 24-byte digest the third fed-back piece straddles a block end.
TEST(Tiger, KeystreamRoundTrip) {
  for (std::size_t n : {1, 17, 100, 1000}) periphery::ExpectKeystreamRoundTrip(THash_Tiger::StaticClass(), n);
}

}  // namespace
