// Output throughput of the rsh client: 64 MiB of output from Debian's real rshd on loopback, read
// by our client (keeping the whole output in memory) and, in the same run, by Debian's own rsh
// client (package rsh-client) on the same command writing to /dev/null; and the library's
// execute() on the same output (the rsh run, the CR LF conversion and the result buffer), when
// the shared library is built. Needs root (the set-up script makes the test account; rsh binds
// reserved ports) and the port 514 of 127.0.0.1, since Debian's client knows no other port.
//
// Counters: bytes_per_second of each side; for our client and execute() also peak_memory_ratio,
// the highest resident size of a forked process that runs one client or one execute() call,
// divided by the output size, and baseline_ratio, that process's resident size before the run
// (inherited from the benchmark process) divided by the output size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "remote/remote_command_client.h"
#include "remote/real_peers.h"
#include "remote/stored_settings.h"
#ifdef CORVANE_BENCH_EXECUTE
#include "remote/corvane_dll.h"
#endif

namespace {

using corvane::RshClient;
using corvane::test::DaemonServer;

constexpr std::size_t kOutputSize = 64 * 1024 * 1024;
// 64 MiB exactly: lines of 63 "x" and a line feed.
const std::string kCommand =
    "yes " + std::string(63, 'x') + " | head -c " + std::to_string(kOutputSize);
constexpr const char* kDebianRsh = "/usr/bin/netkit-rsh";
// Debian's client sends the name of the user who runs it as the local identity.
constexpr const char* kLocalUser = "root";

struct Peer {
  std::unique_ptr<DaemonServer> server;
  std::string problem;
};

// The real rshd on 127.0.0.1:514, started once for the whole run.
Peer& RshPeer() {
  static Peer peer = [] {
    Peer p;
    if (::geteuid() != 0) {
      p.problem = "needs root";
      return p;
    }
    const std::string setup = std::string("bash '") + CORVANE_SOURCE_DIR +
                              "/scripts/prepare-remote-test-peers.sh' '" + corvane::test::kPeerUser +
                              "' '" + corvane::test::kPeerPassword + "' '" +
                              corvane::test::kTrustedLocalUser + " " + kLocalUser + "'";
    if (std::system(setup.c_str()) != 0) {
      p.problem = "the set-up script failed";
      return p;
    }
    try {
      p.server = std::make_unique<DaemonServer>(corvane::test::kRshDaemon, corvane::kRshPort);
    } catch (const std::exception& e) {
      p.problem = std::string("cannot serve rsh on 127.0.0.1:514: ") + e.what();
    }
    return p;
  }();
  return peer;
}

// Our client's run, keeping the whole output as received; returns its size.
std::size_t RunOurClient() {
  RshClient client;
  client.SetHost("127.0.0.1");
  client.SetClientUserName(kLocalUser);
  client.SetHostUserName(corvane::test::kPeerUser);
  corvane::RawOutput output;
  client.RunCommand(kCommand, output);
  benchmark::DoNotOptimize(output.Buffer().Data());
  return output.Buffer().Size();
}

long long ResidentBytes() {
  long long pages = 0;
  long long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lld %lld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * ::sysconf(_SC_PAGESIZE);
}

struct PeakMemory {
  long long peak = -1;      // bytes; -1: the run failed
  long long baseline = 0;   // resident bytes of the child before its run
  long long page_faults = 0;
};

// Runs `run` (true: it succeeded) in a child process and returns that process's peak resident
// size and its resident size before the run.
template <typename Run>
PeakMemory PeakMemoryOfOneRun(Run run) {
  int report[2];
  if (::pipe(report) != 0) return {};
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    ::close(report[0]);
    const long long baseline = ResidentBytes();
    [[maybe_unused]] const ssize_t n = ::write(report[1], &baseline, sizeof baseline);
    int code = 1;
    try {
      code = run() ? 0 : 1;
    } catch (...) {
    }
    ::_exit(code);
  }
  ::close(report[1]);
  PeakMemory result;
  long long baseline = 0;
  const bool reported = ::read(report[0], &baseline, sizeof baseline) == static_cast<ssize_t>(sizeof baseline);
  ::close(report[0]);
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || !reported)
    return result;
  result.peak = static_cast<long long>(usage.ru_maxrss) * 1024;  // ru_maxrss is in KiB
  result.baseline = baseline;
  result.page_faults = usage.ru_minflt + usage.ru_majflt;
  return result;
}

void ReportPeak(benchmark::State& state, const PeakMemory& memory) {
  if (memory.peak < 0) {
    state.SkipWithError("the run in a child process failed");
    return;
  }
  state.counters["peak_memory_ratio"] = static_cast<double>(memory.peak) / kOutputSize;
  state.counters["baseline_ratio"] = static_cast<double>(memory.baseline) / kOutputSize;
  state.counters["page_faults"] = static_cast<double>(memory.page_faults);
}

void BM_CorvaneRsh(benchmark::State& state) {
  Peer& peer = RshPeer();
  if (!peer.problem.empty()) {
    state.SkipWithError(peer.problem.c_str());
    return;
  }
  for (auto _ : state) {
    std::size_t size = 0;
    try {
      size = RunOurClient();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
    if (size != kOutputSize) {
      state.SkipWithError("the output was cut short");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
  ReportPeak(state, PeakMemoryOfOneRun([] { return RunOurClient() == kOutputSize; }));
}

#ifdef CORVANE_BENCH_EXECUTE
// A data directory whose environment and job run kCommand through rsh on 127.0.0.1:514.
const corvane::test::TempDataDir& ExecuteDataDir() {
  static const corvane::test::TempDataDir dir;
  static const bool written = [] {
    corvane::test::WriteEnvironment(dir, "bench", {{"RHost", "127.0.0.1"}, {"RLogin", corvane::test::kPeerUser},
                                                   {"LLogin", kLocalUser}});
    corvane::test::WriteJob(dir, "bench", {{"Command", kCommand}});
    return true;
  }();
  (void)written;
  return dir;
}

// One execute() call; the size of its result, 0 when it failed.
std::size_t RunExecute() {
  char* result = execute("bench", "bench", 1, ExecuteDataDir().Path().c_str(), 0);
  const std::size_t size = result != nullptr ? std::strlen(result) : 0;
  releasebuffer(result);
  return size;
}

// The output with every line feed turned into CR LF.
constexpr std::size_t kConvertedSize = kOutputSize + kOutputSize / 64;

void BM_Execute(benchmark::State& state) {
  Peer& peer = RshPeer();
  if (!peer.problem.empty()) {
    state.SkipWithError(peer.problem.c_str());
    return;
  }
  for (auto _ : state) {
    if (RunExecute() != kConvertedSize) {
      state.SkipWithError("execute() did not return the whole output");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
  ReportPeak(state, PeakMemoryOfOneRun([] { return RunExecute() == kConvertedSize; }));
}
#endif

void BM_DebianRsh(benchmark::State& state) {
  Peer& peer = RshPeer();
  if (!peer.problem.empty()) {
    state.SkipWithError(peer.problem.c_str());
    return;
  }
  if (::access(kDebianRsh, X_OK) != 0) {
    state.SkipWithError("Debian's rsh client is not installed (package rsh-client)");
    return;
  }
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(kDebianRsh), const_cast<char*>("-n"),
                    const_cast<char*>("-l"), const_cast<char*>(corvane::test::kPeerUser),
                    const_cast<char*>("127.0.0.1"), const_cast<char*>(kCommand.c_str()), nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, kDebianRsh, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (rc != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      state.SkipWithError("Debian's rsh client failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
}

// Every run holds two reserved ports in TIME_WAIT for about a minute: a fixed, small count.
BENCHMARK(BM_CorvaneRsh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_DebianRsh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
#ifdef CORVANE_BENCH_EXECUTE
BENCHMARK(BM_Execute)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
#endif

}  // namespace
