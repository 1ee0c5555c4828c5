// Runs a test body once on every code path the processor offers: all detected features, each one
// alone, and none (the portable paths), so every path sees the same inputs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/cpu/features.h"

namespace cpu_paths {

inline std::string Name(unsigned mask) {
  if (mask == 0) return "portable";
  std::string s;
  if (mask & corvane::kCpuSha) s += "+sha";
  if (mask & corvane::kCpuPclmul) s += "+pclmul";
  if (mask & corvane::kCpuSse2) s += "+sse2";
  if (mask & corvane::kCpuAvx2) s += "+avx2";
  return s;
}

// The feature sets to try: none, each detected one alone, all detected.
inline std::vector<unsigned> Masks() {
  const unsigned detected = corvane::CpuFeaturesDetected();
  std::vector<unsigned> masks{0};
  for (unsigned f : {unsigned(corvane::kCpuSha), unsigned(corvane::kCpuPclmul)})
    if (detected & f) masks.push_back(f);
  if (masks.size() > 2) masks.push_back(detected);
  return masks;
}

// Calls body() under each feature set (traced by name); the set in use before comes back after.
template <class Body>
void ForEachPath(Body body) {
  for (unsigned mask : Masks()) {
    SCOPED_TRACE("cpu path " + Name(mask));
    const corvane::ScopedCpuFeatures only(mask);
    body();
  }
}

}  // namespace cpu_paths
