#include "cipher/cpu/features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace corvane {

namespace {

std::int32_t ProbeCpuFamily() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) return std::int32_t((a >> 8) & 0xF);
  return 4;
#else
  return 6;
#endif
}

#if defined(__x86_64__) || defined(__i386__)
// The register state the system saves on a switch (XCR0); the 256-bit registers are usable only
// when it saves both their halves.
unsigned long long SavedRegisterState() {
  unsigned lo = 0, hi = 0;
  __asm__ __volatile__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (static_cast<unsigned long long>(hi) << 32) | lo;
}
#endif

unsigned ProbeCpuFeatures() {
  unsigned features = 0;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
  const bool sse2 = (d >> 26) & 1, ssse3 = (c >> 9) & 1, sse41 = (c >> 19) & 1, pclmul = (c >> 1) & 1;
  const bool osxsave = (c >> 27) & 1, avx = (c >> 28) & 1;
  if (sse2) features |= kCpuSse2;
  unsigned b7 = 0;
  if (__get_cpuid_max(0, nullptr) >= 7) {
    unsigned a7 = 0, c7 = 0, d7 = 0;
    if (!__get_cpuid_count(7, 0, &a7, &b7, &c7, &d7)) b7 = 0;
  }
  if (sse2 && osxsave && avx && (SavedRegisterState() & 6) == 6 && ((b7 >> 5) & 1)) features |= kCpuAvx2;
  if (ssse3 && sse41) {
    if (pclmul) features |= kCpuPclmul;
    if ((b7 >> 29) & 1) features |= kCpuSha;
  }
#endif
  return features;
}

}  // namespace

unsigned CpuFeaturesDetected() {
  static const unsigned detected = ProbeCpuFeatures();
  return detected;
}

unsigned detail::ProbeCpuFeaturesInUse() {
  // Only the first question of all stores the detected set; a narrowing that came first stays.
  unsigned expected = kCpuUnprobed;
  const unsigned detected = CpuFeaturesDetected();
  if (cpuFeaturesInUse.compare_exchange_strong(expected, detected, std::memory_order_relaxed)) return detected;
  return expected;
}

unsigned detail::SetCpuFeaturesInUse(unsigned mask) {
  const unsigned before = CpuFeaturesEnabled();
  cpuFeaturesInUse.store(mask & CpuFeaturesDetected(), std::memory_order_relaxed);
  return before;
}

std::int32_t CpuFamily() {
  static const std::int32_t family = ProbeCpuFamily();
  return family;
}

}  // namespace corvane
