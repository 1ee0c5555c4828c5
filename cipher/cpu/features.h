// The processor features that some routines have a faster path for: probed once, chosen at run
// time. The portable path beside each gives the same results, and tests narrow the features for a
// scope to run every path on the same inputs.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

enum CpuFeature : unsigned {
  kCpuSha = 1u << 0,     // SHA-1 instructions (with SSSE3 and SSE4.1)
  kCpuPclmul = 1u << 1,  // carry-less multiply (with SSSE3 and SSE4.1)
  kCpuSse2 = 1u << 2,    // 128-bit integer vector lanes
  kCpuAvx2 = 1u << 3,    // 256-bit integer vector lanes (with the system saving their registers)
};
inline constexpr unsigned kCpuAllFeatures = kCpuSha | kCpuPclmul | kCpuSse2 | kCpuAvx2;

// What this processor has, probed once.
unsigned CpuFeaturesDetected();

namespace detail {
// The features in use; kCpuUnprobed until the first question probes the processor.
inline constexpr unsigned kCpuUnprobed = ~0u;
inline std::atomic<unsigned> cpuFeaturesInUse{kCpuUnprobed};
unsigned ProbeCpuFeaturesInUse();
// Narrows the features in use to mask (never beyond what was detected); gives the previous set.
unsigned SetCpuFeaturesInUse(unsigned mask);
}  // namespace detail

// What the routines use now: all that was detected, unless a ScopedCpuFeatures narrows it. One
// relaxed load once probed (every compression asks it).
inline unsigned CpuFeaturesEnabled() {
  const unsigned f = detail::cpuFeaturesInUse.load(std::memory_order_relaxed);
  return f != detail::kCpuUnprobed ? f : detail::ProbeCpuFeaturesInUse();
}
inline bool CpuUses(CpuFeature f) { return (CpuFeaturesEnabled() & f) != 0; }

// For its lifetime the routines use only the features in mask (and never one that was not
// detected); the set in use before comes back when it ends. For tests and benchmarks that run
// each path on the same inputs; not for use while other threads hash or encrypt.
class ScopedCpuFeatures {
 public:
  explicit ScopedCpuFeatures(unsigned mask) : before_(detail::SetCpuFeaturesInUse(mask)) {}
  ~ScopedCpuFeatures() { detail::SetCpuFeaturesInUse(before_); }
  ScopedCpuFeatures(const ScopedCpuFeatures&) = delete;
  ScopedCpuFeatures& operator=(const ScopedCpuFeatures&) = delete;

 private:
  unsigned before_;
};

// Processor family (3, 4, or the identification family field); only informative here.
std::int32_t CpuFamily();

}  // namespace corvane
