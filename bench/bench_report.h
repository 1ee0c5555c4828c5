// What the throughput benchmarks share for their summary tables: a console reporter that also
// records each run's bytes per second by benchmark name, and the table's cells.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace bench_report {

// Keeps the console output and records bytes per second by benchmark name.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) rates[r.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // MB/s (10^6 bytes per second) of the named benchmark; -1 where it did not run.
  double Rate(const std::string& name) const {
    auto it = rates.find(name);
    return it == rates.end() ? -1.0 : it->second / 1e6;
  }
};

// A rate right-aligned in `width` characters with one decimal; "-" for a missing (negative) rate.
inline std::string RateCell(double mbps, int width) {
  char s[32];
  if (mbps < 0)
    std::snprintf(s, sizeof s, "%*s", width, "-");
  else
    std::snprintf(s, sizeof s, "%*.1f", width, mbps);
  return std::string(s);
}

// ours / theirs in 7 characters with two decimals; "-" when either rate is missing.
inline std::string RatioCell(double ours, double theirs) {
  char s[16] = "      -";
  if (ours > 0 && theirs > 0) std::snprintf(s, sizeof s, "%7.2f", ours / theirs);
  return std::string(s);
}

}  // namespace bench_report
