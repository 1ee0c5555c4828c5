// The processor probe and its scoped switch: the probe finds what the compiler's own run-time
// check finds, a switch narrows the features for its scope only (never beyond what was found),
// and the lanes follow the features in use.
#include <gtest/gtest.h>

#include "cipher/cpu/features.h"
#include "cipher/cpu/lanes.h"

using namespace corvane;

#if defined(__x86_64__) || defined(__i386__)
TEST(CpuFeaturesTest, ProbeAgreesWithTheCompilersCheck) {
  __builtin_cpu_init();
  const unsigned detected = CpuFeaturesDetected();
  EXPECT_EQ((detected & kCpuSse2) != 0, __builtin_cpu_supports("sse2") != 0);
  EXPECT_EQ((detected & kCpuAvx2) != 0, __builtin_cpu_supports("avx2") != 0);
  if (detected & kCpuPclmul) {
    EXPECT_TRUE(__builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1"));
  }
}
#endif

TEST(CpuFeaturesTest, ScopedSwitchNarrowsForItsScopeAndRestores) {
  const unsigned detected = CpuFeaturesDetected();
  ASSERT_EQ(CpuFeaturesEnabled(), detected);
  {
    const ScopedCpuFeatures none(0);
    EXPECT_EQ(CpuFeaturesEnabled(), 0u);
    EXPECT_FALSE(CpuUses(kCpuSha));
    EXPECT_EQ(WidestLanes(), LaneWidth::kPortable);
    {
      // Never beyond what was detected, also inside a narrower scope.
      const ScopedCpuFeatures all(kCpuAllFeatures);
      EXPECT_EQ(CpuFeaturesEnabled(), detected);
    }
    EXPECT_EQ(CpuFeaturesEnabled(), 0u);
  }
  EXPECT_EQ(CpuFeaturesEnabled(), detected);
}

TEST(CpuFeaturesTest, LanesFollowTheFeaturesInUse) {
  const unsigned detected = CpuFeaturesDetected();
  if (!kLaneKernelsBuilt || !(detected & kCpuSse2)) GTEST_SKIP() << "no lane kernels on this processor";
  {
    const ScopedCpuFeatures only128(detected & ~unsigned(kCpuAvx2));
    EXPECT_EQ(WidestLanes(), LaneWidth::k128);
  }
  EXPECT_EQ(WidestLanes(), (detected & kCpuAvx2) ? LaneWidth::k256 : LaneWidth::k128);
  // The lanes are handed whole groups, the widest first, and never fewer blocks than a group.
  std::size_t calls256 = 0, calls128 = 0;
  auto run = [&](std::size_t n) {
    return InWidestLanes(
        n, 8, 16,
        [&](std::size_t first, std::size_t count) {
          ++calls256;
          EXPECT_EQ(first, 0u);
          return count / 16 * 16;
        },
        [&](std::size_t first, std::size_t count) {
          ++calls128;
          EXPECT_GE(count, 8u);
          EXPECT_EQ(first, n - count);
          return count / 8 * 8;
        });
  };
  const ScopedCpuFeatures all(kCpuAllFeatures);
  EXPECT_EQ(run(7), 0u);
  EXPECT_EQ(calls128 + calls256, 0u);
  if (detected & kCpuAvx2) {
    EXPECT_EQ(run(16 + 8 + 5), 24u);
    EXPECT_EQ(calls256, 1u);
    EXPECT_EQ(calls128, 1u);
    EXPECT_EQ(run(32 + 3), 32u);
    EXPECT_EQ(calls128, 1u);
  } else {
    EXPECT_EQ(run(16 + 8 + 5), 24u);
    EXPECT_EQ(calls256, 0u);
  }
}
