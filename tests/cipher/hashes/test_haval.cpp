// Haval-128 to Haval-256: known answers, published empty-input digests, the pass-count rule, and
// agreement with mhash's HAVAL for every size and pass count.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "cipher/hashes/haval.h"
#include "cipher/periphery_hash_testing.h"

// mhash's HAVAL entry points with an explicit pass count (not in its public header).
extern "C" {
int havalInit(void* context, int passes, int hashLength);
int havalUpdate(void* context, const std::uint8_t* data, std::uint32_t length);
int havalFinal(void* context, std::uint8_t* digest);
}

namespace {

using namespace corvane;
using periphery::Bytes;
using periphery::Hex;

const HashClassInfo* const kHavalClasses[] = {&THash_Haval128::StaticClass(), &THash_Haval160::StaticClass(),
                                              &THash_Haval192::StaticClass(), &THash_Haval224::StaticClass(),
                                              &THash_Haval256::StaticClass()};

Bytes MhashHaval(int passes, int bits, const Bytes& msg) {
  alignas(16) std::uint8_t context[1024] = {};
  havalInit(context, passes, bits);
  havalUpdate(context, msg.data(), std::uint32_t(msg.size()));
  std::uint8_t digest[32] = {};
  havalFinal(context, digest);
  return Bytes(digest, digest + bits / 8);
}

TEST(Haval, KnownAnswersOverSharedTestInput) {
  periphery::ExpectKnownAnswer(THash_Haval256::StaticClass(),
                               "E992C1FB79E9BAA8285C7A730BEB0C7CADF3F7AD26D7EFE21FF4BF675769D59A");
  periphery::ExpectKnownAnswer(THash_Haval224::StaticClass(),
                               "323ADCB375B58F5A6AF16689995A7A98716E2277BC02293867A5CCE1");
  periphery::ExpectKnownAnswer(THash_Haval192::StaticClass(), "30AEEC3FC18E6118A4F2A3E8066C3B64A6A92E7DE252A0B5");
  periphery::ExpectKnownAnswer(THash_Haval160::StaticClass(), "13DDBD3233BC048D6DF6635637E2A0D0531B9903");
  periphery::ExpectKnownAnswer(THash_Haval128::StaticClass(), "D8CBCDEC7AFDC8A5F27BD212B9339ABD");
}

TEST(Haval, EmptyInput) {
  EXPECT_EQ(Hex(periphery::Digest(THash_Haval128::StaticClass(), {})), "C68F39913F901F3DDF44C707357A7D70");
  EXPECT_EQ(Hex(periphery::Digest(THash_Haval256::StaticClass(), {})),
            "BE417BB4DD5CFB76C7126F4F8EEB1553A449039307B1A3CD451DBFDC0FBBE330");
}

TEST(Haval, PassCountFollowsDigestSizeUnlessSetInRange) {
  const int expected[] = {3, 3, 4, 4, 5};
  for (std::size_t i = 0; i < std::size(kHavalClasses); ++i) {
    auto h = CreateHash(*kHavalClasses[i]);
    auto& haval = static_cast<THash_Haval256&>(*h);
    h->Start();
    EXPECT_EQ(haval.Passes(), expected[i]) << kHavalClasses[i]->name;
  }
  // A pass count in range survives Start and changes the digest; one out of range is replaced.
  auto h = Make<THash_Haval128>();
  const Bytes msg = periphery::Text("abc");
  const Bytes three = periphery::Digest(*h, msg);
  h->SetPasses(5);
  const Bytes five = periphery::Digest(*h, msg);
  EXPECT_EQ(h->Passes(), 5);
  EXPECT_EQ(Hex(periphery::Digest(*h, msg)), Hex(five));  // kept over a second Start
  EXPECT_EQ(five, MhashHaval(5, 128, msg));
  h->SetPasses(6);
  EXPECT_EQ(Hex(periphery::Digest(*h, msg)), Hex(three));
  EXPECT_EQ(h->Passes(), 3);
  h->SetPasses(2);
  h->Start();
  EXPECT_EQ(h->Passes(), 3);
}

// A pass count set during a run waits for the next Start: the run finishes with the pass count
// it started with, in the compression and in the trailer alike.
TEST(Haval, PassCountSetDuringARunTakesEffectAtNextStart) {
  const Bytes msg = periphery::RandomBytes(3, 300);
  auto h = Make<THash_Haval128>();
  h->Start();
  h->Update(msg.data(), 100);
  h->SetPasses(5);
  h->Update(msg.data() + 100, msg.size() - 100);
  h->Finish();
  EXPECT_EQ(Hex(periphery::DigestOf(*h)), Hex(MhashHaval(3, 128, msg)));
  EXPECT_EQ(Hex(periphery::Digest(*h, msg)), Hex(MhashHaval(5, 128, msg)));
}

// Every size with every pass count against mhash, on lengths around the block size, the 118-byte
// boundary where the marker leaves no room for the trailer, and a few larger messages.
TEST(Haval, AgreesWithMhashForEverySizeAndPassCount) {
  std::vector<std::size_t> lengths = {0,   1,   2,   3,   31,  32,  63,  64,  100, 116, 117,  118,  119,  127, 128,
                                      129, 200, 245, 246, 247, 255, 256, 257, 383, 384, 1000, 4095, 4096, 4097};
  std::mt19937 gen(1234);
  for (int i = 0; i < 20; ++i) lengths.push_back(gen() % 5000);
  for (const HashClassInfo* cls : kHavalClasses) {
    const int bits = cls->digestSize * 8;
    for (int passes = 3; passes <= 5; ++passes) {
      auto h = CreateHash(*cls);
      static_cast<THash_Haval256&>(*h).SetPasses(passes);
      for (std::size_t n : lengths) {
        const Bytes msg = periphery::RandomBytes(std::uint32_t(n * 31 + passes), n);
        ASSERT_EQ(Hex(periphery::Digest(*h, msg)), Hex(MhashHaval(passes, bits, msg)))
            << cls->name << " passes " << passes << " length " << n;
      }
    }
  }
}

// The byte count is 64 bits wide: past 2^28 bytes the bit length no longer fits a signed 32-bit
// product, and the trailer must still carry the true length.
TEST(Haval, LengthFieldPast256MiB) {
  const Bytes chunk = periphery::RandomBytes(11, 1 << 20);
  const std::size_t chunks = 256;  // 2^28 bytes, then a 5-byte tail
  alignas(16) std::uint8_t context[1024] = {};
  havalInit(context, 3, 128);
  auto h = Make<THash_Haval128>();
  h->Start();
  for (std::size_t i = 0; i < chunks; ++i) {
    h->Update(chunk.data(), chunk.size());
    havalUpdate(context, chunk.data(), std::uint32_t(chunk.size()));
  }
  h->Update(chunk.data(), 5);
  havalUpdate(context, chunk.data(), 5);
  h->Finish();
  std::uint8_t expected[16] = {};
  havalFinal(context, expected);
  EXPECT_EQ(Hex(periphery::DigestOf(*h)), Hex(expected, 16));
}

TEST(Haval, SplitUpdatesGiveTheSameDigest) {
  for (const HashClassInfo* cls : kHavalClasses)
    for (std::size_t n : {0, 1, 118, 127, 128, 129, 300})
      periphery::ExpectSplitIndependent(*cls, periphery::RandomBytes(std::uint32_t(n), n));
}

// The digest fed back as input: for the 20-, 24- and 28-byte sizes a piece eventually straddles
// a block end, and Decrypt must reproduce Encrypt's keystream.
TEST(Haval, KeystreamRoundTrip) {
  for (const HashClassInfo* cls : kHavalClasses)
    for (std::size_t n : {1, 17, 300, 1000}) periphery::ExpectKeystreamRoundTrip(*cls, n);
}

}  // namespace
