// The Sapphire II hashes: known answers of all seven sizes, the published empty-input and "abc"
// digests, independence of the sizes, split-independence and the keystream.
#include <gtest/gtest.h>

#include <string>

#include "cipher/hashes/sapphire.h"
#include "cipher/periphery_hash_testing.h"

namespace {

using namespace corvane;
using periphery::Bytes;
using periphery::Hex;

const HashClassInfo* const kSapphireClasses[] = {
    &THash_Sapphire128::StaticClass(), &THash_Sapphire160::StaticClass(), &THash_Sapphire192::StaticClass(),
    &THash_Sapphire224::StaticClass(), &THash_Sapphire256::StaticClass(), &THash_Sapphire288::StaticClass(),
    &THash_Sapphire320::StaticClass()};

TEST(Sapphire, KnownAnswersOverSharedTestInput) {
  periphery::ExpectKnownAnswer(THash_Sapphire320::StaticClass(),
                               "D8EDA5749948AC0B0090CD8761F218DBA41DCB73E43399DD37120693973395004ACF86DB236DE76B");
  periphery::ExpectKnownAnswer(THash_Sapphire288::StaticClass(),
                               "40F65A37D8CB1165DCFBDE632B2CBE9C2BB7F3ED22D1EBEF0FA188ED23F07F9C7E613740");
  periphery::ExpectKnownAnswer(THash_Sapphire256::StaticClass(),
                               "E7C82B6D258AFDE0344293A3E2E52896A546506B1393861B40C6934B51FA66DD");
  periphery::ExpectKnownAnswer(THash_Sapphire224::StaticClass(),
                               "8F3EC55792316CDFCA40183A8608089934FDEB21ABA4520F4017D3D0");
  periphery::ExpectKnownAnswer(THash_Sapphire192::StaticClass(),
                               "95413FE02B527E50B5FF57EB763D325129EB796F4A64FB17");
  periphery::ExpectKnownAnswer(THash_Sapphire160::StaticClass(), "73D91ACEB175FD04907A97413C200F532C22B38C");
  periphery::ExpectKnownAnswer(THash_Sapphire128::StaticClass(), "47AE1613C93A942D26748D62432688D8");
}

TEST(Sapphire, PublishedDigests) {
  EXPECT_EQ(Hex(periphery::Digest(THash_Sapphire128::StaticClass(), {})), "5BEF616967BFFE6E5C1B958F09C8CB84");
  EXPECT_EQ(Hex(periphery::Digest(THash_Sapphire320::StaticClass(), periphery::Text("abc"))),
            "DA8B07A2CF5AB6A002D609FA658651A2338E603888797EB4F298A77214D87E3C707A05B38BFD9B2C");
}

// The digest size enters the closing sequence, so no size is a prefix of another.
TEST(Sapphire, SizesGiveUnrelatedDigests) {
  const Bytes msg = periphery::Text("abc");
  for (const HashClassInfo* shorter : kSapphireClasses)
    for (const HashClassInfo* longer : kSapphireClasses) {
      if (shorter->digestSize >= longer->digestSize) continue;
      const std::string s = Hex(periphery::Digest(*shorter, msg));
      const std::string l = Hex(periphery::Digest(*longer, msg));
      EXPECT_NE(l.substr(0, s.size()), s) << shorter->name << " / " << longer->name;
    }
}

TEST(Sapphire, SplitUpdatesGiveTheSameDigest) {
  for (const HashClassInfo* cls : kSapphireClasses)
    for (std::size_t n : {0, 1, 2, 100})
      periphery::ExpectSplitIndependent(*cls, periphery::RandomBytes(std::uint32_t(n), n));
}

// A second Finish without Start XORs the next closing output into the finished digest; a new
// Start clears it, so a reused object gives the fresh digest again.
TEST(Sapphire, FinishAccumulatesUntilStart) {
  auto h = Make<THash_Sapphire160>();
  const Bytes msg = periphery::Text("abc");
  const Bytes first = periphery::Digest(*h, msg);
  h->Finish();
  EXPECT_NE(periphery::DigestOf(*h), first);
  EXPECT_EQ(periphery::Digest(*h, msg), first);
}

TEST(Sapphire, KeystreamRoundTrip) {
  for (const HashClassInfo* cls : kSapphireClasses)
    for (std::size_t n : {1, 17, 300}) periphery::ExpectKeystreamRoundTrip(*cls, n);
}

}  // namespace
