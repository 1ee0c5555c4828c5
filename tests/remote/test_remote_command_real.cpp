// The rexec and rsh clients against Debian's real servers (in.rexecd, in.rshd) on loopback.
// These tests fail, never skip, when the servers cannot be set up: the remote side is only proven
// against real peers.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "remote/fake_server.h"
#include "remote/remote_command_client.h"
#include "remote/real_peers.h"

namespace corvane {
namespace {

using test::DaemonServer;
using test::kPeerPassword;
using test::kPeerUser;
using test::kTrustedLocalUser;

std::string FailureOf(RemoteCommandClient& client, std::string_view command) {
  try {
    return "no failure: " + client.RunCommand(command);
  } catch (const SocketError& e) {
    return e.what();
  }
}

class RealRexec : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    server_ = std::make_unique<DaemonServer>(test::kRexecDaemon);
    client_.SetHost("127.0.0.1");
    client_.SetPort(server_->Port());
    client_.SetUsername(kPeerUser);
    client_.SetPassword(kPeerPassword);
  }
  void TearDown() override {
    if (server_) {
      EXPECT_EQ(server_->Failure(), "");
    }
  }

  std::unique_ptr<DaemonServer> server_;
  RexecClient client_;
};

TEST_F(RealRexec, RunsTheCommandAsTheUserWithStderrOnTheBackChannel) {
  EXPECT_EQ(client_.RunCommand("echo hello; echo to-stderr >&2; id -un; printf 'a\\tb'"), "hello\ncorvrx\na\tb");
  EXPECT_FALSE(client_.StatusNotNul());
  EXPECT_EQ(client_.ErrorText(), "to-stderr\n");
}

TEST_F(RealRexec, FailingCommandGivesItsOutputAndNoneOfItsErrors) {
  const std::string result = client_.RunCommand("ls /no/such/dir; echo status=$?");
  EXPECT_EQ(result, "status=2\n");
  EXPECT_FALSE(client_.StatusNotNul()) << "the login succeeded";
  EXPECT_NE(client_.ErrorText().find("/no/such/dir"), std::string::npos) << client_.ErrorText();
}

TEST_F(RealRexec, WrongPasswordEndsTheConnectionBeforeTheStatusByte) {
  client_.SetPassword("not-the-pw");
  EXPECT_EQ(FailureOf(client_, "echo hello"), "Connection Closed Gracefully.");
}

TEST_F(RealRexec, LargeOutputArrivesWhole) {
  std::string expected;
  for (int i = 1; i <= 400000; ++i) expected += std::to_string(i) + '\n';
  const std::string result = client_.RunCommand("seq 1 400000");
  ASSERT_EQ(result.size(), expected.size());
  EXPECT_TRUE(result == expected);
}

// A command that reads its standard input reads end of input at once: the client sends nothing
// after its request. Its error output still comes on the back-channel. The read time-out only
// bounds a run that would otherwise wait for ever.
void ExpectInputEndsAtOnce(RemoteCommandClient& client) {
  client.SetReadTimeout(std::chrono::seconds(30));
  struct Case {
    const char* command;
    const char* output;
    const char* errors;
  };
  for (const Case& c : {Case{"cat; echo after-cat", "after-cat\n", ""}, Case{"read x; echo got $x", "got\n", ""},
                        Case{"read x || echo no-input >&2; wc -c; echo done", "0\ndone\n", "no-input\n"}}) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(client.RunCommand(c.command), c.output);
    EXPECT_FALSE(client.StatusNotNul());
    EXPECT_EQ(client.ErrorText(), c.errors);
  }
}

TEST_F(RealRexec, ACommandThatReadsItsInputReadsEndOfInput) { ExpectInputEndsAtOnce(client_); }

class RealRsh : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    server_ = std::make_unique<DaemonServer>(test::kRshDaemon);
    client_.SetHost("127.0.0.1");
    client_.SetPort(server_->Port());
    client_.SetClientUserName(kTrustedLocalUser);
    client_.SetHostUserName(kPeerUser);
  }
  void TearDown() override {
    if (server_) {
      EXPECT_EQ(server_->Failure(), "");
    }
  }

  std::unique_ptr<DaemonServer> server_;
  RshClient client_;
};

TEST_F(RealRsh, TrustedUserRunsTheCommandWithStderrOnTheBackChannel) {
  EXPECT_EQ(client_.RunCommand("echo hello; echo oops >&2; id -un; exit 3"), "hello\ncorvrx\n");
  EXPECT_FALSE(client_.StatusNotNul());
  EXPECT_EQ(client_.ErrorText(), "oops\n");
}

TEST_F(RealRsh, ACommandThatReadsItsInputReadsEndOfInput) { ExpectInputEndsAtOnce(client_); }

TEST_F(RealRsh, UntrustedUserIsDeniedWithTheServerMessage) {
  client_.SetClientUserName("stranger");
  EXPECT_EQ(client_.RunCommand("echo hello"), "Permission denied.\n");
  EXPECT_TRUE(client_.StatusNotNul());
}

TEST_F(RealRsh, ServerRefusesAnUnreservedSourcePort) {
  client_.SetUseReservedPorts(false);
  // The server drops the connection without reading the request: depending on whether the request
  // arrives before it has gone, the client sees the close or a reset.
  const std::string failure = FailureOf(client_, "echo hello");
  EXPECT_TRUE(failure == "Connection Closed Gracefully." ||
              failure == "Socket Error # 10054\r\nConnection reset by peer.")
      << failure;
}

// A command that prints without end is ended at the output limit: the result holds exactly the
// limit, the remote command goes away, and the run leaves no thread or descriptor behind.
bool RemoteYesRuns() {
  const passwd* user = ::getpwnam(kPeerUser);
  if (user == nullptr) return false;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0 || st.st_uid != user->pw_uid) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && name == "yes") return true;
  }
  return false;
}

bool RemoteYesIsGone() {
  for (int i = 0; i < 100; ++i) {
    if (!RemoteYesRuns()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void ExpectCutAtTheLimit(RemoteCommandClient& client) {
  constexpr std::size_t kLimit = 2 * 1024 * 1024 + 1;
  const int fds_before = test::CountEntries("/proc/self/fd");
  const int threads_before = test::CountEntries("/proc/self/task");
  {
    CrLfOutput output(kLimit);
    EXPECT_FALSE(client.RunCommand("yes corvane", output));
    std::string expected;
    while (expected.size() < kLimit) expected += "corvane\r\n";
    expected.resize(kLimit);
    EXPECT_TRUE(output.Buffer().View() == expected);
  }
  EXPECT_EQ(test::CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(test::CountEntries("/proc/self/task"), threads_before);
  EXPECT_TRUE(RemoteYesIsGone());
}

TEST_F(RealRexec, EndlessOutputIsCutAtTheLimit) { ExpectCutAtTheLimit(client_); }
TEST_F(RealRsh, EndlessOutputIsCutAtTheLimit) { ExpectCutAtTheLimit(client_); }

}  // namespace
}  // namespace corvane
