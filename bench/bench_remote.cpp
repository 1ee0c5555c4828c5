// Output throughput of the rsh client: 64 MiB of output from Debian's real rshd on loopback, read
// by our client (keeping the whole output in memory) and, in the same run, by Debian's own rsh
// client (package rsh-client) on the same command writing to /dev/null; and the library's
// execute() on the same output (the rsh run, the CR LF conversion and the result buffer), when
// the shared library is built. Needs root (the set-up script makes the test account; rsh binds
// reserved ports) and the port 514 of 127.0.0.1, since Debian's client knows no other port.
//
// Counters: bytes_per_second of each side; for our client and execute() also peak_memory_ratio,
// the highest resident size of a fresh process of this program that runs one client or one
// execute() call, divided by the output size, baseline_ratio, the same for a fresh process that
// runs nothing, and that run's page_faults; speed_vs_debian for the two clients run in turn.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>
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
const std::string kCommand = "yes " + std::string(63, 'x') + " | head -c " + std::to_string(kOutputSize);
constexpr const char* kDebianRsh = "/usr/bin/netkit-rsh";
// Debian's client sends the name of the user who runs it as the local identity; ours send the
// trusted name of the tests.
constexpr const char* kDebianLocalUser = "root";
constexpr const char* kLocalUser = corvane::test::kTrustedLocalUser;

// Makes the test account trust both local user names. Run before each benchmark: the remote
// tests of a concurrent run prepare the same account.
bool PrepareAccount() {
  const std::string setup = std::string("bash '") + CORVANE_SOURCE_DIR +
                            "/scripts/prepare-remote-test-peers.sh' '" + corvane::test::kPeerUser + "' '" +
                            corvane::test::kPeerPassword + "' '" + corvane::test::kTrustedLocalUser + " " +
                            kDebianLocalUser + "'";
  return std::system(setup.c_str()) == 0;
}

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
    if (!PrepareAccount()) {
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
  if (peer.problem.empty() && !PrepareAccount()) peer.problem = "the set-up script failed";
  return peer;
}

// Whether the rsh peer is there for a benchmark; when it is not, the benchmark is skipped with
// the reason.
bool PeerReady(benchmark::State& state) {
  const Peer& peer = RshPeer();
  if (peer.problem.empty()) return true;
  state.SkipWithError(peer.problem.c_str());
  return false;
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

struct PeakMemory {
  long long peak = -1;  // bytes; -1: the run failed
  long long page_faults = 0;
};

// The environment variable that makes the benchmark program run one measured run and exit.
constexpr const char* kPeakRunVariable = "CORVANE_BENCH_PEAK_RUN";

// The highest resident size of this process so far (VmHWM), in bytes; -1 when unknown.
long long PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;  // given in kB
  }
  return -1;
}

// Runs the benchmark program afresh for one run of `which` ("client", "execute" or "none": start
// and end only) and returns that process's peak resident size (which it reports on its standard
// output) and page faults. A fresh process holds nothing of the runs before it.
PeakMemory PeakMemoryOfOneRun(const std::string& which) {
  std::vector<std::string> variables;
  for (char** v = environ; *v != nullptr; ++v) variables.emplace_back(*v);
  variables.push_back(std::string(kPeakRunVariable) + "=" + which);
  std::vector<char*> env;
  for (std::string& v : variables) env.push_back(v.data());
  env.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, report[1], 1);
  char self[] = "/proc/self/exe";
  char* argv[] = {self, nullptr};
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, self, &actions, nullptr, argv, env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(report[1]);
  std::string text;
  char buffer[64];
  for (ssize_t n; rc == 0 && (n = ::read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(report[0]);
  if (rc != 0) return {};
  int status = 0;
  rusage usage{};
  PeakMemory result;
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty())
    return result;
  result.peak = std::stoll(text);
  result.page_faults = usage.ru_minflt + usage.ru_majflt;
  return result;
}

void ReportPeak(benchmark::State& state, const std::string& which) {
  const PeakMemory run = PeakMemoryOfOneRun(which);
  const PeakMemory idle = PeakMemoryOfOneRun("none");
  if (run.peak < 0 || idle.peak < 0) {
    state.SkipWithError("the run in a fresh process failed");
    return;
  }
  state.counters["peak_memory_ratio"] = static_cast<double>(run.peak) / kOutputSize;
  state.counters["baseline_ratio"] = static_cast<double>(idle.peak) / kOutputSize;
  state.counters["page_faults"] = static_cast<double>(run.page_faults);
}

void BM_CorvaneRsh(benchmark::State& state) {
  if (!PeerReady(state)) return;
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
  ReportPeak(state, "client");
}

#ifdef CORVANE_BENCH_EXECUTE
constexpr const char* kDataDirVariable = "CORVANE_BENCH_DATA_DIR";

// A data directory whose environment and job run kCommand through rsh on 127.0.0.1:514; its
// path goes to the fresh processes of the peak measurement.
const std::string& ExecuteDataDir() {
  if (const char* given = std::getenv(kDataDirVariable)) {
    static const std::string path = given;
    return path;
  }
  static const corvane::test::TempDataDir dir;
  static const bool written = [] {
    corvane::test::WriteEnvironment(
        dir, "bench", {{"RHost", "127.0.0.1"}, {"RLogin", corvane::test::kPeerUser}, {"LLogin", kLocalUser}});
    corvane::test::WriteJob(dir, "bench", {{"Command", kCommand}});
    return ::setenv(kDataDirVariable, dir.Path().c_str(), 1) == 0;
  }();
  (void)written;
  return dir.Path();
}

// One execute() call; the size of its result, 0 when it failed.
std::size_t RunExecute() {
  char* result = execute("bench", "bench", 1, ExecuteDataDir().c_str(), 0);
  const std::size_t size = result != nullptr ? std::strlen(result) : 0;
  releasebuffer(result);
  return size;
}

// The output with every line feed turned into CR LF.
constexpr std::size_t kConvertedSize = kOutputSize + kOutputSize / 64;

void BM_Execute(benchmark::State& state) {
  if (!PeerReady(state)) return;
  ExecuteDataDir();
  for (auto _ : state) {
    if (RunExecute() != kConvertedSize) {
      state.SkipWithError("execute() did not return the whole output");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
  ReportPeak(state, "execute");
}
#endif

// PeerReady, and Debian's rsh client installed beside it.
bool DebianRshReady(benchmark::State& state) {
  if (!PeerReady(state)) return false;
  if (::access(kDebianRsh, X_OK) == 0) return true;
  state.SkipWithError("Debian's rsh client is not installed (package rsh-client)");
  return false;
}

// One run of Debian's rsh client on kCommand with its output going to /dev/null.
bool RunDebianRsh() {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(kDebianRsh),
                  const_cast<char*>("-n"),
                  const_cast<char*>("-l"),
                  const_cast<char*>(corvane::test::kPeerUser),
                  const_cast<char*>("127.0.0.1"),
                  const_cast<char*>(kCommand.c_str()),
                  nullptr};
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, kDebianRsh, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return rc == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Both clients in turn in every iteration, so that both meet the same load of a shared machine;
// speed_vs_debian is Debian's total time divided by ours (above 1: ours is faster).
void BM_CorvaneBesideDebianRsh(benchmark::State& state) {
  if (!DebianRshReady(state)) return;
  std::chrono::steady_clock::duration ours{};
  std::chrono::steady_clock::duration debian{};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool debian_ok = RunDebianRsh();
    const auto middle = std::chrono::steady_clock::now();
    const bool ours_ok = RunOurClient() == kOutputSize;
    const auto end = std::chrono::steady_clock::now();
    if (!debian_ok || !ours_ok) {
      state.SkipWithError(debian_ok ? "our client failed" : "Debian's rsh client failed");
      return;
    }
    debian += middle - start;
    ours += end - middle;
  }
  state.counters["speed_vs_debian"] =
      std::chrono::duration<double>(debian).count() / std::chrono::duration<double>(ours).count();
}

void BM_DebianRsh(benchmark::State& state) {
  if (!DebianRshReady(state)) return;
  for (auto _ : state) {
    if (!RunDebianRsh()) {
      state.SkipWithError("Debian's rsh client failed");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
}

// Every run holds two reserved ports in TIME_WAIT for about a minute: a fixed, small count.
BENCHMARK(BM_CorvaneRsh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_DebianRsh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_CorvaneBesideDebianRsh)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
#ifdef CORVANE_BENCH_EXECUTE
BENCHMARK(BM_Execute)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
#endif

// The measured run of a fresh process (see PeakMemoryOfOneRun): it runs before the benchmark
// library starts, and the process ends with it.
struct PeakRun {
  PeakRun() {
    const char* which = std::getenv(kPeakRunVariable);
    if (which == nullptr) return;
    bool ok = false;
    try {
      const std::string_view run = which;
      if (run == "none") ok = true;
      if (run == "client") ok = RunOurClient() == kOutputSize;
#ifdef CORVANE_BENCH_EXECUTE
      if (run == "execute") ok = RunExecute() == kConvertedSize;
#endif
    } catch (...) {
    }
    const std::string peak = std::to_string(PeakResidentBytes());
    if (!ok || ::write(STDOUT_FILENO, peak.data(), peak.size()) != static_cast<ssize_t>(peak.size()))
      std::_Exit(1);
    std::_Exit(0);
  }
};
const PeakRun peak_run;  // defined last: everything above is initialised before it

}  // namespace
