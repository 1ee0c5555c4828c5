// What the throughput benchmarks share: a Google Benchmark console reporter that also records
// each run's bytes per second by benchmark name, the summary table's cells, and the interleaved
// comparison of ours beside its peers that prints the ratio table.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

// ---- interleaved comparison ------------------------------------------------------------------
//
// Each case is ours beside one or more peers doing the same work on the same buffer. The
// contenders of a case run in short batches, one after the other and in a rotating order,
// round after round; each contender's figure is the median of its batches. So a change in the
// machine's load falls on all of them alike and mostly cancels out of the ratio.

namespace bench_report {

struct Contender {
  std::string name;
  std::function<void()> run;  // one complete operation over the case's bytes
};

struct Case {
  std::string name;
  std::size_t bytes = 0;            // per run
  Contender ours;
  std::vector<Contender> peers;     // empty: no peer
  std::string note;                 // shown after the row (for example why there is no peer)
};

struct Options {
  int rounds = 15;                  // batches per contender
  double batchSeconds = 0.01;       // length of one batch
  std::string filter;               // only cases whose name contains this
  // The program turns off the processor-specific paths, ours and the peers' alike, and so
  // compares the portable code.
  bool portable = false;
};

// Parses --rounds=N, --batch-ms=N, --filter=TEXT, --portable; gives false (and prints usage) otherwise.
inline bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--rounds=", 0) == 0) {
      o.rounds = std::max(1, std::atoi(a.c_str() + 9));
    } else if (a.rfind("--batch-ms=", 0) == 0) {
      o.batchSeconds = std::max(1, std::atoi(a.c_str() + 11)) / 1000.0;
    } else if (a.rfind("--filter=", 0) == 0) {
      o.filter = a.substr(9);
    } else if (a == "--portable") {
      o.portable = true;
    } else {
      std::fprintf(stderr, "usage: %s [--rounds=N] [--batch-ms=N] [--filter=TEXT] [--portable]\n", argv[0]);
      return false;
    }
  }
  return true;
}

struct Result {
  std::string name;
  double mbps = -1;  // median MB/s (10^6 bytes per second)
};

struct CaseResult {
  const Case* c = nullptr;
  Result ours;
  std::vector<Result> peers;
  // The fastest peer (index into peers), -1 when there is none.
  int best = -1;
  // Median over the rounds of ours / the fastest peer in the same round; -1 without a peer.
  double ratio = -1;
  double Ratio() const { return ratio; }
};

namespace detail {
inline double Seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}
// Runs fn count times and gives the elapsed seconds.
inline double Time(const std::function<void()>& fn, std::int64_t count) {
  const double t0 = Seconds();
  for (std::int64_t i = 0; i < count; ++i) fn();
  return Seconds() - t0;
}
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
}  // namespace detail

inline CaseResult Measure(const Case& c, const Options& o) {
  std::vector<const Contender*> all{&c.ours};
  for (const auto& p : c.peers) all.push_back(&p);
  // Calibrate: runs per batch so that a batch lasts about batchSeconds (after a warm-up run).
  std::vector<std::int64_t> count(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i]->run();
    std::int64_t n = 1;
    double t = detail::Time(all[i]->run, n);
    while (t < o.batchSeconds / 8) {
      n *= 4;
      t = detail::Time(all[i]->run, n);
    }
    count[i] = std::max<std::int64_t>(1, std::int64_t(double(n) * o.batchSeconds / std::max(t, 1e-9)));
  }
  std::vector<std::vector<double>> rates(all.size());
  for (int r = 0; r < o.rounds; ++r)
    for (std::size_t k = 0; k < all.size(); ++k) {
      const std::size_t i = (k + std::size_t(r)) % all.size();
      const double t = detail::Time(all[i]->run, count[i]);
      rates[i].push_back(double(count[i]) * double(c.bytes) / t / 1e6);
    }
  CaseResult res;
  res.c = &c;
  res.ours = {c.ours.name, detail::Median(rates[0])};
  for (std::size_t i = 1; i < all.size(); ++i) {
    res.peers.push_back({all[i]->name, detail::Median(rates[i])});
    if (res.best < 0 || res.peers.back().mbps > res.peers[std::size_t(res.best)].mbps) res.best = int(i - 1);
  }
  if (res.best >= 0) {
    std::vector<double> ratios;
    for (int r = 0; r < o.rounds; ++r) ratios.push_back(rates[0][std::size_t(r)] / rates[std::size_t(res.best) + 1][std::size_t(r)]);
    res.ratio = detail::Median(ratios);
  }
  return res;
}

// Runs every case that passes the filter, prints a line per case as it goes and the ratio
// table at the end (ratio = ours / best peer), then the cases below 1.0 and below 0.95.
inline std::vector<CaseResult> RunAndReport(const std::vector<Case>& cases, const Options& o, const char* title) {
  std::vector<CaseResult> results;
  for (const auto& c : cases) {
    if (!o.filter.empty() && c.name.find(o.filter) == std::string::npos) continue;
    results.push_back(Measure(c, o));
    const auto& r = results.back();
    std::fprintf(stderr, "  %-22s ours %10.1f MB/s", c.name.c_str(), r.ours.mbps);
    for (const auto& p : r.peers) std::fprintf(stderr, "  %s %.1f", p.name.c_str(), p.mbps);
    std::fprintf(stderr, "\n");
  }
  std::printf("\n%s: MB/s (10^6 bytes per second), median of %d interleaved batches of %.0f ms each;\n"
              "ratio: median of ours / best peer within each round\n",
              title, o.rounds, o.batchSeconds * 1000);
  std::printf("%-22s %10s %10s  %-22s %7s  %s\n", "case", "ours", "best peer", "(which)", "ratio", "other peers");
  int below1 = 0, below095 = 0;
  std::string belowNames;
  for (const auto& r : results) {
    std::string others;
    for (std::size_t i = 0; i < r.peers.size(); ++i)
      if (int(i) != r.best) others += r.peers[i].name + " " + RateCell(r.peers[i].mbps, 0) + "  ";
    const double ratio = r.Ratio();
    std::printf("%-22s %s %s  %-22s %s  %s%s\n", r.c->name.c_str(), RateCell(r.ours.mbps, 10).c_str(),
                RateCell(r.best < 0 ? -1 : r.peers[std::size_t(r.best)].mbps, 10).c_str(),
                r.best < 0 ? "(none)" : r.peers[std::size_t(r.best)].name.c_str(),
                RatioCell(ratio, ratio < 0 ? -1 : 1).c_str(), others.c_str(),
                r.c->note.empty() ? "" : ("[" + r.c->note + "]").c_str());
    // A reference ("ref:") does the same work with another function: shown, not counted.
    const bool reference = r.best >= 0 && r.peers[std::size_t(r.best)].name.rfind("ref:", 0) == 0;
    if (!reference && ratio >= 0 && ratio < 1.0) {
      ++below1;
      char cell[64];
      std::snprintf(cell, sizeof cell, "%s%s %.3f", belowNames.empty() ? "" : ", ", r.c->name.c_str(), ratio);
      belowNames += cell;
    }
    if (!reference && ratio >= 0 && ratio < 0.95) ++below095;
  }
  std::printf("%d case(s) below 1.00, %d below 0.95 (against a peer with the same function)%s%s\n", below1, below095,
              belowNames.empty() ? "" : ": ", belowNames.c_str());
  return results;
}

}  // namespace bench_report
