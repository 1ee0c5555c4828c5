// What the throughput benchmarks share: a Google Benchmark console reporter that also records
// each run's bytes per second by benchmark name, the summary table's cells, and the interleaved
// comparison of ours beside its peers that prints the ratio table.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

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
  std::size_t bytes = 0;  // per run
  Contender ours;
  std::vector<Contender> peers;  // empty: no peer
  std::string note;              // shown after the row (for example why there is no peer)
};

struct Options {
  int rounds = 15;             // batches per contender
  double batchSeconds = 0.01;  // length of one batch
  std::string filter;          // only cases whose name contains this
  // The program turns off the processor-specific paths, ours and the peers' alike, and so
  // compares the portable code.
  bool portable = false;
  // The table is the median over this many fresh processes of the program, run one after the
  // other, so that one process that met a noisy stretch (or an unlucky code placement) cannot
  // swing it.
  int processes = 5;
  bool worker = false;  // this process is one of them: it only reports its rows
};

// Parses --rounds=N, --batch-ms=N, --filter=TEXT, --portable, --processes=N (and --worker, which
// the program gives the processes it starts); gives false (and prints usage) otherwise.
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
    } else if (a.rfind("--processes=", 0) == 0) {
      o.processes = std::max(1, std::atoi(a.c_str() + 12));
    } else if (a == "--worker") {
      o.worker = true;
    } else {
      std::fprintf(stderr, "usage: %s [--rounds=N] [--batch-ms=N] [--filter=TEXT] [--portable] [--processes=N]\n",
                   argv[0]);
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
    for (int r = 0; r < o.rounds; ++r)
      ratios.push_back(rates[0][std::size_t(r)] / rates[std::size_t(res.best) + 1][std::size_t(r)]);
    res.ratio = detail::Median(ratios);
  }
  return res;
}

// ---- the median over several processes ------------------------------------------------------
//
// A program measures its cases in a few fresh processes, one after the other, each reporting
// its rows to the process that started it; the table gives each figure's median over them.

// One line of a table as one process measured it: a name and named figures.
struct Row {
  std::string name;
  std::vector<std::pair<std::string, double>> values;
  // The named figure; missing when this row has none.
  double Value(const std::string& key, double missing = -1) const {
    for (const auto& [k, v] : values)
      if (k == key) return v;
    return missing;
  }
};

namespace detail {
// A row is one line: "@row", the name and "key=value" fields, separated by tabs (names and
// keys hold no tabs or line ends).
inline void WriteRows(const std::vector<Row>& rows, std::FILE* out) {
  for (const auto& r : rows) {
    std::fprintf(out, "@row\t%s", r.name.c_str());
    for (const auto& [k, v] : r.values) std::fprintf(out, "\t%s=%.17g", k.c_str(), v);
    std::fprintf(out, "\n");
  }
  std::fflush(out);
}
inline std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = s.find(sep, from)) != std::string::npos; from = at + 1)
    parts.push_back(s.substr(from, at - from));
  parts.push_back(s.substr(from));
  return parts;
}
inline std::vector<Row> ReadRows(const std::string& text) {
  std::vector<Row> rows;
  for (const auto& line : Split(text, '\n')) {
    const auto fields = Split(line, '\t');
    if (fields.size() < 2 || fields[0] != "@row") continue;
    Row r{fields[1], {}};
    for (std::size_t i = 2; i < fields.size(); ++i)
      if (const auto eq = fields[i].rfind('='); eq != std::string::npos)
        r.values.emplace_back(fields[i].substr(0, eq), std::strtod(fields[i].c_str() + eq + 1, nullptr));
    rows.push_back(std::move(r));
  }
  return rows;
}
// Runs this program again with argv and --worker, its standard output into a pipe; gives what it
// wrote there, or false when it could not run or did not end normally.
inline bool RunWorker(char** argv, std::string& out) {
  std::vector<std::string> args;
  for (char** a = argv; *a != nullptr; ++a) args.emplace_back(*a);
  args.emplace_back("--worker");
  std::vector<char*> av;
  for (auto& a : args) av.push_back(a.data());
  av.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return false;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execv("/proc/self/exe", av.data());
    _exit(127);
  }
  close(fds[1]);
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n > 0) {
      out.append(buf, std::size_t(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace detail

// Runs measure in o.processes fresh processes of this program (its argv with --worker added),
// one after the other, and gives the rows in the order the first one reported them, each figure
// the median over the processes that reported it. In a worker, measure runs here and its rows go
// to standard output for the starting process (the caller then prints nothing else of its own);
// with one process, measure runs here. Every process is pinned wherever this one is.
inline std::vector<Row> MedianOverProcesses(char** argv, const Options& o,
                                            const std::function<std::vector<Row>()>& measure) {
  if (o.worker) {
    auto rows = measure();
    detail::WriteRows(rows, stdout);
    return rows;
  }
  if (o.processes <= 1) return measure();
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> keys;                    // by row, in first order
  std::map<std::string, std::map<std::string, std::vector<double>>> seen;  // row -> key -> values
  int reported = 0;
  for (int p = 0; p < o.processes; ++p) {
    std::fprintf(stderr, "-- measuring process %d of %d\n", p + 1, o.processes);
    std::string out;
    if (!detail::RunWorker(argv, out)) {
      std::fprintf(stderr, "-- measuring process %d failed; left out\n", p + 1);
      continue;
    }
    ++reported;
    for (const auto& r : detail::ReadRows(out)) {
      if (!seen.count(r.name)) order.push_back(r.name);
      for (const auto& [k, v] : r.values) {
        auto& values = seen[r.name][k];
        if (values.empty()) keys[r.name].push_back(k);
        values.push_back(v);
      }
    }
  }
  std::fprintf(stderr, "-- %d of %d measuring processes reported\n", reported, o.processes);
  std::vector<Row> rows;
  for (const auto& name : order) {
    Row r{name, {}};
    for (const auto& k : keys[name]) r.values.emplace_back(k, detail::Median(seen[name][k]));
    rows.push_back(std::move(r));
  }
  return rows;
}

// A table of the interleaved runner: a title and its cases.
struct Table {
  std::string title;
  std::vector<Case> cases;
};

// The figures of a measured case as a row: "ours", "peer:<name>" (MB/s) and "ratio".
inline Row ToRow(const CaseResult& r) {
  Row row{r.c->name, {{"ours", r.ours.mbps}}};
  for (const auto& p : r.peers) row.values.emplace_back("peer:" + p.name, p.mbps);
  row.values.emplace_back("ratio", r.ratio);
  return row;
}

// Runs every case that passes the filter (in o.processes processes, see MedianOverProcesses),
// prints a line per case as it goes and, per table, the ratio table at the end (ratio = ours /
// best peer), then the cases below 1.0 and below 0.95. In a worker it prints only its rows.
inline void RunAndReport(const std::vector<Table>& tables, const Options& o, char** argv) {
  const auto rows = MedianOverProcesses(argv, o, [&] {
    std::vector<Row> measured;
    for (const auto& t : tables)
      for (const auto& c : t.cases) {
        if (!o.filter.empty() && c.name.find(o.filter) == std::string::npos) continue;
        const CaseResult r = Measure(c, o);
        std::fprintf(stderr, "  %-22s ours %10.1f MB/s", c.name.c_str(), r.ours.mbps);
        for (const auto& p : r.peers) std::fprintf(stderr, "  %s %.1f", p.name.c_str(), p.mbps);
        std::fprintf(stderr, "  ratio %.3f\n", r.ratio);
        measured.push_back(ToRow(r));
      }
    return measured;
  });
  if (o.worker) return;
  std::map<std::string, const Row*> byName;
  for (const auto& r : rows) byName[r.name] = &r;
  for (const auto& t : tables) {
    std::printf("\n%s: MB/s (10^6 bytes per second), median of %d interleaved batches of %.0f ms each",
                t.title.c_str(), o.rounds, o.batchSeconds * 1000);
    if (o.processes > 1) std::printf(", then the median over %d processes", o.processes);
    std::printf(";\nratio: median of ours / best peer within each round%s\n",
                o.processes > 1 ? ", then over the processes" : "");
    std::printf("%-22s %10s %10s  %-22s %7s  %s\n", "case", "ours", "best peer", "(which)", "ratio",
                "other peers");
    int below1 = 0, below095 = 0;
    std::string belowNames;
    for (const auto& c : t.cases) {
      auto it = byName.find(c.name);
      if (it == byName.end()) continue;
      const Row& r = *it->second;
      std::vector<std::pair<std::string, double>> peers;
      for (const auto& [k, v] : r.values)
        if (k.rfind("peer:", 0) == 0) peers.emplace_back(k.substr(5), v);
      int best = -1;
      for (std::size_t i = 0; i < peers.size(); ++i)
        if (best < 0 || peers[i].second > peers[std::size_t(best)].second) best = int(i);
      std::string others;
      for (std::size_t i = 0; i < peers.size(); ++i)
        if (int(i) != best) others += peers[i].first + " " + RateCell(peers[i].second, 0) + "  ";
      const double ratio = best < 0 ? -1 : r.Value("ratio");
      std::printf("%-22s %s %s  %-22s %s  %s%s\n", c.name.c_str(), RateCell(r.Value("ours"), 10).c_str(),
                  RateCell(best < 0 ? -1 : peers[std::size_t(best)].second, 10).c_str(),
                  best < 0 ? "(none)" : peers[std::size_t(best)].first.c_str(),
                  RatioCell(ratio, ratio < 0 ? -1 : 1).c_str(), others.c_str(),
                  c.note.empty() ? "" : ("[" + c.note + "]").c_str());
      // A reference ("ref:") does the same work with another function: shown, not counted.
      const bool reference = best >= 0 && peers[std::size_t(best)].first.rfind("ref:", 0) == 0;
      if (!reference && ratio >= 0 && ratio < 1.0) {
        ++below1;
        char cell[64];
        std::snprintf(cell, sizeof cell, "%s%s %.3f", belowNames.empty() ? "" : ", ", c.name.c_str(), ratio);
        belowNames += cell;
      }
      if (!reference && ratio >= 0 && ratio < 0.95) ++below095;
    }
    std::printf("%d case(s) below 1.00, %d below 0.95 (against a peer with the same function)%s%s\n", below1,
                below095, belowNames.empty() ? "" : ": ", belowNames.c_str());
  }
  std::fflush(stdout);
}

}  // namespace bench_report
