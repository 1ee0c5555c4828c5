// Debian's real rexec and rsh servers (in.rexecd, in.rshd of rsh-server) for the remote tests.
//
// PrepareRealPeers() runs scripts/prepare-remote-test-peers.sh once per process (test account,
// password, ~/.rhosts). DaemonServer listens on an ephemeral 127.0.0.1 port (or a given port and
// loopback address) and, like inetd, starts the daemon for every connection with the connection as
// its standard input, output and error (the servers write their status byte to descriptor 2). It
// ends and reaps its daemons when destroyed.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "remote/socket.h"

extern char** environ;

namespace corvane::test {

inline constexpr const char* kRexecDaemon = "/usr/sbin/in.rexecd";
inline constexpr const char* kRshDaemon = "/usr/sbin/in.rshd";
// Where the set-up script unpacks the package when it is not installed on the machine.
inline constexpr const char* kUnpackedPeersDir = "/opt/corvane-test-peers/rsh-server";

// The daemon's installed path when it is there, else its place in the unpacked package.
inline std::string DaemonPath(const char* daemon) {
  if (::access(daemon, X_OK) == 0) return daemon;
  return std::string(kUnpackedPeersDir) + daemon;
}
// The account that the set-up script makes, and the local user name its ~/.rhosts trusts.
inline constexpr const char* kPeerUser = "corvrx";
inline constexpr const char* kPeerPassword = "Corv4ne-pw";
inline constexpr const char* kTrustedLocalUser = "corvlocal";

// Empty when the machine is ready; otherwise why not.
inline const std::string& PrepareRealPeers() {
  static const std::string problem = [] {
    if (::geteuid() != 0) return std::string("the real-server tests must run as root");
    const std::string command = std::string("bash '") + CORVANE_SOURCE_DIR +
                                "/scripts/prepare-remote-test-peers.sh' '" + kPeerUser + "' '" + kPeerPassword +
                                "' '" + kTrustedLocalUser + "'";
    const int rc = std::system(command.c_str());
    if (rc != 0) return "set-up failed (" + std::to_string(rc) + "): " + command;
    return std::string();
  }();
  return problem;
}

class DaemonServer {
 public:
  // Listens on `port` of `address`; 0: a port that the system chooses. Throws when the daemon is
  // missing or the address and port cannot be had.
  explicit DaemonServer(const char* daemon, std::uint16_t port = 0, std::string address = "127.0.0.1")
      : daemon_(DaemonPath(daemon)), address_(std::move(address)), listener_(Socket::Create(AF_INET)) {
    if (::access(daemon_.c_str(), X_OK) != 0) throw std::runtime_error(daemon_ + " is not installed");
    if (port != 0) {
      // A fixed port may still be held by connections of an earlier server in TIME_WAIT.
      const int on = 1;
      ::setsockopt(listener_.Handle(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    listener_.Bind(SocketAddress::Numeric(address_, port));
    listener_.Listen(16);
    port_ = listener_.LocalAddress().Port();
    const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (event < 0) throw std::runtime_error("eventfd failed");
    stop_.Reset(event);
    thread_ = std::thread([this] { Serve(); });
  }

  ~DaemonServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
    thread_.join();
    std::lock_guard lock(mutex_);
    for (const pid_t pid : children_) Reap(pid);
  }

  DaemonServer(const DaemonServer&) = delete;
  DaemonServer& operator=(const DaemonServer&) = delete;

  const std::string& Address() const { return address_; }
  std::uint16_t Port() const { return port_; }
  // The daemons started so far, one for each accepted connection.
  std::size_t Connections() {
    std::lock_guard lock(mutex_);
    return children_.size();
  }
  // Failures of the accepting side (empty: none).
  std::string Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
  }

 private:
  void Serve() {
    for (;;) {
      pollfd fds[2] = {{listener_.Handle(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) return;
      const int fd = ::accept4(listener_.Handle(), nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      posix::Descriptor connection(fd);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      for (int target = 0; target <= 2; ++target) posix_spawn_file_actions_adddup2(&actions, fd, target);
      char* argv[] = {daemon_.data(), nullptr};
      pid_t pid = 0;
      const int rc = ::posix_spawn(&pid, daemon_.c_str(), &actions, nullptr, argv, environ);
      posix_spawn_file_actions_destroy(&actions);
      std::lock_guard lock(mutex_);
      if (rc == 0) {
        children_.push_back(pid);
      } else {
        failure_ = "cannot start " + daemon_ + ": " + std::to_string(rc);
      }
    }
  }

  // A daemon ends by itself once its session is over; one that is still there after a while is
  // ended here.
  static void Reap(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid, nullptr, WNOHANG) != 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }

  std::string daemon_;
  std::string address_;
  Socket listener_;
  posix::Descriptor stop_;
  std::uint16_t port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<pid_t> children_;
  std::string failure_;
};

// The real rexec and rsh servers side by side, each on an ephemeral 127.0.0.1 port: what the
// fixtures that run against both start after PrepareRealPeers().
struct RealServers {
  DaemonServer rexec{kRexecDaemon};
  DaemonServer rsh{kRshDaemon};

  // Failures of either accepting side (empty: none).
  std::string Failure() {
    std::string failure = rexec.Failure();
    const std::string rshFailure = rsh.Failure();
    if (!failure.empty() && !rshFailure.empty()) failure += "; ";
    return failure + rshFailure;
  }
};

// The settings of an environment that reaches the real servers on 127.0.0.1 as the test account,
// followed by `more`.
inline std::vector<std::pair<std::string, std::string>> PeerEnvironment(
    std::initializer_list<std::pair<std::string, std::string>> more = {}) {
  std::vector<std::pair<std::string, std::string>> values = {
      {"RHost", "127.0.0.1"}, {"RLogin", kPeerUser}, {"RPwd", kPeerPassword}, {"LLogin", kTrustedLocalUser}};
  values.insert(values.end(), more.begin(), more.end());
  return values;
}

}  // namespace corvane::test
