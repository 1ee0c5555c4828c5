// Output throughput of the rsh client: 64 MiB of output from Debian's real rshd on loopback, read
// by our client and, in the same run, by Debian's own rsh client (package rsh-client) on the same
// command. Needs root (the set-up script makes the test account; rsh binds reserved ports) and
// the port 514 of 127.0.0.1, since Debian's client knows no other port.
//
// Counters: bytes_per_second of each side; for our client also peak_memory_ratio, the highest
// resident size of a process that runs one client and nothing else, divided by the output size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "remote/remote_command_client.h"
#include "remote/real_peers.h"

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

std::string RunOurClient() {
  RshClient client;
  client.SetHost("127.0.0.1");
  client.SetClientUserName(kLocalUser);
  client.SetHostUserName(corvane::test::kPeerUser);
  return client.RunCommand(kCommand);
}

// Runs one client in a child process and returns that process's peak resident size in bytes, or
// -1 when the run failed.
long long PeakMemoryOfOneRun() {
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int code = 1;
    try {
      code = RunOurClient().size() == kOutputSize ? 0 : 1;
    } catch (...) {
    }
    ::_exit(code);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return static_cast<long long>(usage.ru_maxrss) * 1024;  // ru_maxrss is in KiB
}

void BM_CorvaneRsh(benchmark::State& state) {
  Peer& peer = RshPeer();
  if (!peer.problem.empty()) {
    state.SkipWithError(peer.problem.c_str());
    return;
  }
  for (auto _ : state) {
    std::string output;
    try {
      output = RunOurClient();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
    if (output.size() != kOutputSize) {
      state.SkipWithError("the output was cut short");
      return;
    }
    benchmark::DoNotOptimize(output.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kOutputSize));
  const long long peak = PeakMemoryOfOneRun();
  if (peak < 0) {
    state.SkipWithError("the run in a child process failed");
    return;
  }
  state.counters["peak_memory_ratio"] = static_cast<double>(peak) / kOutputSize;
}

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

}  // namespace
