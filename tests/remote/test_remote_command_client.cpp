// The rexec/rsh clients against in-process fake servers: exact request bytes, the status byte,
// the back-channel, local port rules and the failure cases.
#include "remote/remote_command_client.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "remote/fake_server.h"

namespace corvane {
namespace {

using test::ConnectBack;
using test::FakeServer;
using test::Loopback;
using test::ReadRequestHeader;
using test::RequestHeader;
using namespace std::string_literals;

void Aim(RemoteCommandClient& client, std::uint16_t port) {
  client.SetHost("127.0.0.1");
  client.SetPort(port);
}

// A rexec or an rsh client aimed at 127.0.0.1:port.
std::unique_ptr<RemoteCommandClient> MakeClient(bool rsh, std::uint16_t port) {
  std::unique_ptr<RemoteCommandClient> client;
  if (rsh) {
    client = std::make_unique<RshClient>();
  } else {
    client = std::make_unique<RexecClient>();
  }
  Aim(*client, port);
  return client;
}

// The failure text of a run, or "no failure" followed by the result.
template <typename Client>
std::string FailureOf(Client& client, std::string_view command = "cmd") {
  try {
    return "no failure: " + client.RunCommand(command);
  } catch (const SocketError& e) {
    return e.what();
  }
}

TEST(RcmdDefaults, PortsAndFlagsAfterConstruction) {
  RexecClient rexec;
  EXPECT_EQ(rexec.Port(), 512);
  EXPECT_FALSE(rexec.UseReservedPorts());
  EXPECT_TRUE(rexec.UseErrorChannel());
  EXPECT_EQ(rexec.ReadTimeout().count(), 0);
  EXPECT_EQ(rexec.Username(), "");
  EXPECT_EQ(rexec.Password(), "");
  RshClient rsh;
  EXPECT_EQ(rsh.Port(), 514);
  EXPECT_TRUE(rsh.UseReservedPorts());
  EXPECT_TRUE(rsh.UseErrorChannel());
  EXPECT_EQ(rsh.ClientUserName(), "");
  EXPECT_EQ(rsh.HostUserName(), "");
}

TEST(RcmdRexec, SendsTheHeaderAndReturnsTheOutputAsReceived) {
  RequestHeader header;
  std::uint16_t main_local_port = 0;
  FakeServer server([&](Socket& c) {
    header = ReadRequestHeader(c);
    main_local_port = c.PeerAddress().Port();
    Socket back = ConnectBack(c, header);
    back.SendAll("written on stderr\n");
    back.Close();
    c.SendAll("\0line1\nline2\r\n\xA7 end"s);
  });
  RexecClient client;
  Aim(client, server.Port());
  client.SetUsername("op\xA7user");
  client.SetPassword("s3cret pw");
  const std::string result = client.RunCommand("ls -l /tmp; echo \xA7");
  server.Join();
  ASSERT_EQ(server.Failure(), "");

  EXPECT_EQ(result, std::string_view("line1\nline2\r\n\xA7 end")) << "no line feed conversion in the client";
  EXPECT_FALSE(client.StatusNotNul());
  EXPECT_EQ(client.ErrorText(), "written on stderr\n");
  EXPECT_EQ(result.find("stderr"), std::string::npos);
  EXPECT_EQ(header.first, "op\xA7user");
  EXPECT_EQ(header.second, "s3cret pw");
  EXPECT_EQ(header.command, "ls -l /tmp; echo \xA7");
  EXPECT_TRUE(test::IsDecimalPort(header.port)) << header.port;
  EXPECT_GT(main_local_port, 1023) << "rexec binds no reserved port";
  EXPECT_GT(std::stoi(header.port), 1023);
}

// Probes the reserved ports from the top: returns the highest three free ones, keeping the first
// of them bound (in `blocker`) so that the client has to move on to the other two.
std::vector<int> HighestFreeReservedPorts(Socket& blocker) {
  std::vector<int> ports;
  for (int port = 1023; port >= 512 && ports.size() < 3; --port) {
    Socket s = Socket::Create(AF_INET);
    try {
      s.Bind(SocketAddress::Any(AF_INET, static_cast<std::uint16_t>(port)));
    } catch (const SocketError&) {
      continue;
    }
    if (ports.empty()) blocker = std::move(s);
    ports.push_back(port);
  }
  return ports;
}

TEST(RcmdRsh, UsesTheHighestFreeReservedPortsForBothChannels) {
  Socket blocker;
  const std::vector<int> free_ports = HighestFreeReservedPorts(blocker);
  ASSERT_EQ(free_ports.size(), 3u) << "the reserved ports are exhausted on this machine";

  RequestHeader header;
  FakeServer server([&](Socket& c) {
    header = ReadRequestHeader(c);
    Socket back = ConnectBack(c, header);
    c.SendAll("\0hello\n"s);
  });
  RshClient client;
  Aim(client, server.Port());
  client.SetClientUserName("localop");
  client.SetHostUserName("remoteop");
  EXPECT_EQ(client.RunCommand("echo hello"), "hello\n");
  server.Join();
  ASSERT_EQ(server.Failure(), "");
  EXPECT_EQ(server.Peer().Port(), free_ports[1]) << "main connection: highest free reserved port";
  EXPECT_EQ(header.port, std::to_string(free_ports[2])) << "listener: the next free one";
  EXPECT_EQ(header.first, "localop");
  EXPECT_EQ(header.second, "remoteop");
  EXPECT_EQ(header.command, "echo hello");
}

TEST(RcmdRsh, NoFreeReservedPortFailsBeforeAnythingIsSent) {
  std::vector<Socket> held;
  for (int port = 512; port <= 1023; ++port) {
    Socket s = Socket::Create(AF_INET);
    try {
      s.Bind(SocketAddress::Any(AF_INET, static_cast<std::uint16_t>(port)));
      held.push_back(std::move(s));
    } catch (const SocketError&) {
    }
  }
  Socket listener = Socket::Create(AF_INET);
  listener.Bind(Loopback(0));
  listener.Listen(1);
  RshClient client;
  Aim(client, listener.LocalAddress().Port());
  EXPECT_EQ(FailureOf(client), "Can not bind in port range (512 - 1023)");
  held.clear();
  // A connection would be complete (waiting to be accepted) before the client returned.
  pollfd p{listener.Handle(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 0) << "the client connected although it could not bind";
}

TEST(RcmdStatus, NonZeroStatusByteMakesTheServerMessageTheResult) {
  for (const bool rsh : {false, true}) {
    FakeServer server([](Socket& c) {
      ReadRequestHeader(c);
      c.SendAll("\x01Permission denied.\n");
    });
    auto client = MakeClient(rsh, server.Port());
    EXPECT_EQ(client->RunCommand("id"), "Permission denied.\n") << rsh;
    EXPECT_TRUE(client->StatusNotNul());
    server.Join();
    EXPECT_EQ(server.Failure(), "");
  }
}

TEST(RcmdStatus, WithoutTheBackChannelTheMessageGoesToErrorText) {
  struct Case {
    std::string reply;
    const char* result;
    const char* error_text;
    bool status_not_nul;
  };
  const Case cases[] = {
      {"\x02no such user\n"s, "", "no such user\n", true},
      {"\0fine\n"s, "fine\n", "", false},
  };
  for (const Case& c : cases) {
    RequestHeader header;
    FakeServer server([&](Socket& s) {
      header = ReadRequestHeader(s);
      s.SendAll(c.reply);
    });
    RexecClient client;
    Aim(client, server.Port());
    client.SetUseErrorChannel(false);
    EXPECT_EQ(client.RunCommand("x"), c.result);
    EXPECT_EQ(client.ErrorText(), c.error_text);
    EXPECT_EQ(client.StatusNotNul(), c.status_not_nul);
    server.Join();
    EXPECT_EQ(header.port, "0");
  }
}

TEST(RcmdFailures, ServerClosingBeforeTheStatusByte) {
  FakeServer server([](Socket& c) { ReadRequestHeader(c); });
  RexecClient client;
  Aim(client, server.Port());
  EXPECT_EQ(FailureOf(client), "Connection Closed Gracefully.");
  server.Join();
}

TEST(RcmdFailures, RefusedConnectionAndUnknownHost) {
  // A bound socket that does not listen: connecting to its port is refused.
  Socket closed = Socket::Create(AF_INET);
  closed.Bind(Loopback(0));
  for (const bool rsh : {false, true}) {
    auto client = MakeClient(rsh, closed.LocalAddress().Port());
    EXPECT_EQ(FailureOf(*client), "Socket Error # 10061\r\nConnection refused.");
  }
  RexecClient client;
  client.SetHost("no-such-host.invalid");
  const std::string failure = FailureOf(client);
  EXPECT_TRUE(test::IsResolverFailure(failure)) << failure;
}

TEST(RcmdFailures, ResetWhileTheOutputArrivesReturnsNoOutput) {
  FakeServer server([](Socket& c) {
    ReadRequestHeader(c);
    c.SendAll("\0partial output"s);
    c.SetAbortiveClose();
  });
  RexecClient client;
  Aim(client, server.Port());
  EXPECT_EQ(FailureOf(client), "Socket Error # 10054\r\nConnection reset by peer.");
  server.Join();
}

TEST(RcmdFailures, PeerThatNeverReadsTimesOutOrResets) {
  const std::string huge_command(64 * 1024 * 1024, 'c');
  {
    std::promise<void> client_done;
    FakeServer server([done = client_done.get_future().share()](Socket&) { done.wait(); });
    RexecClient client;
    Aim(client, server.Port());
    client.SetReadTimeout(std::chrono::milliseconds(200));
    EXPECT_EQ(FailureOf(client, huge_command), "Socket Error # 10060\r\nConnection timed out.");
    client_done.set_value();
  }
  {
    // The peer goes away without reading: the send fails, and no SIGPIPE ends the process.
    FakeServer server([](Socket& c) { c.SetAbortiveClose(); });
    RexecClient client;
    Aim(client, server.Port());
    EXPECT_EQ(FailureOf(client, huge_command), "Socket Error # 10054\r\nConnection reset by peer.");
  }
}

TEST(RcmdBackChannel, ServerThatNeverConnectsBackDoesNotBlockTheRun) {
  FakeServer server([](Socket& c) {
    ReadRequestHeader(c);
    c.SendAll("\0out\n"s);
  });
  RshClient client;
  Aim(client, server.Port());
  EXPECT_EQ(client.RunCommand("x"), "out\n");
  EXPECT_EQ(client.ErrorText(), "");
  server.Join();
  EXPECT_EQ(server.Failure(), "");
}

TEST(RcmdBackChannel, BackChannelLeftOpenIsClosedAfterTheMainConnectionEnds) {
  bool back_closed_by_client = false;
  FakeServer server([&](Socket& c) {
    const RequestHeader header = ReadRequestHeader(c);
    Socket back = ConnectBack(c, header);
    back.SendAll("late words");
    c.SendAll("\0main\n"s);
    c.Close();
    // Keep the back-channel open; only the client's side may end it.
    char buffer[16];
    try {
      back_closed_by_client = back.Receive(buffer) == 0;
    } catch (const SocketError&) {
      back_closed_by_client = true;  // a reset also ends it
    }
  });
  RexecClient client;
  Aim(client, server.Port());
  EXPECT_EQ(client.RunCommand("x"), "main\n");
  EXPECT_EQ(client.ErrorText(), "late words");
  server.Join();
  EXPECT_EQ(server.Failure(), "");
  EXPECT_TRUE(back_closed_by_client);
}

TEST(RcmdBackChannel, FloodedBackChannelIsDrainedWhileTheMainChannelWaits) {
  constexpr std::size_t kFlood = 16 * 1024 * 1024;
  FakeServer server([&](Socket& c) {
    const RequestHeader header = ReadRequestHeader(c);
    Socket back = ConnectBack(c, header);
    // The status byte and the output come only after the whole flood has been taken.
    back.SendAll(std::string(kFlood, 'e'));
    back.Close();
    c.SendAll("\0done"s);
  });
  RexecClient client;
  Aim(client, server.Port());
  EXPECT_EQ(client.RunCommand("x"), "done");
  EXPECT_EQ(client.ErrorText(), std::string(ErrorChannelReader::kMaxKeptText, 'e'));
  server.Join();
  EXPECT_EQ(server.Failure(), "");
}

TEST(RcmdOutput, HugeOutputArrivesWhole) {
  std::string output;
  output.reserve(32 * 1024 * 1024);
  for (std::size_t line = 0; output.size() < 32 * 1024 * 1024; ++line) {
    output += "line " + std::to_string(line) + " \xA7\x01\x7F\xFF\n";
  }
  FakeServer server([&](Socket& c) {
    ReadRequestHeader(c);
    c.SendAll("\0"s);
    c.SendAll(output);
  });
  RexecClient client;
  Aim(client, server.Port());
  const std::string result = client.RunCommand("x");
  server.Join();
  ASSERT_EQ(result.size(), output.size());
  EXPECT_TRUE(result == output);
}

// Signals whose handler is installed without SA_RESTART interrupt every blocking call of a run
// (connect, send, poll, recv, accept): the run must carry on as if nothing had happened.
TEST(RcmdSignals, InterruptedCallsAreContinued) {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: blocked calls fail with EINTR
  struct sigaction saved {};
  ASSERT_EQ(::sigaction(SIGUSR2, &action, &saved), 0);

  std::atomic<bool> firing{true};
  std::thread firer([&] {
    const pid_t self = static_cast<pid_t>(::syscall(SYS_gettid));
    while (firing.load()) {
      // Every other thread of the process, the back-channel reader among them.
      if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
          if (entry->d_name[0] == '.') continue;
          const pid_t tid = static_cast<pid_t>(std::stol(entry->d_name));
          if (tid != self) ::syscall(SYS_tgkill, ::getpid(), tid, SIGUSR2);
        }
        ::closedir(dir);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += "line " + std::to_string(i) + "\n";
  for (const bool rsh : {false, true}) {
    FakeServer server([&](Socket& c) {
      const RequestHeader header = ReadRequestHeader(c);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the client waits in recv
      Socket back = ConnectBack(c, header);
      back.SendAll("err\n");
      back.Close();
      c.SendAll("\0"s);
      for (std::size_t pos = 0; pos < expected.size(); pos += 4096) {
        c.SendAll(std::string_view(expected).substr(pos, 4096));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    auto client = MakeClient(rsh, server.Port());
    EXPECT_EQ(FailureOf(*client), "no failure: " + expected) << rsh;
    EXPECT_EQ(client->ErrorText(), "err\n") << rsh;
    server.Join();
    EXPECT_EQ(server.Failure(), "") << rsh;
  }
  firing.store(false);
  firer.join();
  ::sigaction(SIGUSR2, &saved, nullptr);
}

TEST(RcmdResources, NoDescriptorOrThreadOutlivesARun) {
  const int fds_before = test::CountEntries("/proc/self/fd");
  const int threads_before = test::CountEntries("/proc/self/task");
  {
    FakeServer ok([](Socket& c) {
      const RequestHeader header = ReadRequestHeader(c);
      Socket back = ConnectBack(c, header);
      c.SendAll("\0ok"s);
    });
    RexecClient client;
    Aim(client, ok.Port());
    EXPECT_EQ(client.RunCommand("x"), "ok");
  }
  {
    FakeServer reset([](Socket& c) {
      const RequestHeader header = ReadRequestHeader(c);
      Socket back = ConnectBack(c, header);
      c.SetAbortiveClose();
    });
    RshClient client;
    Aim(client, reset.Port());
    EXPECT_NE(FailureOf(client).find("Socket Error # 10054"), std::string::npos);
  }
  {
    FakeServer closing([](Socket& c) { ReadRequestHeader(c); });
    RexecClient client;
    Aim(client, closing.Port());
    EXPECT_EQ(FailureOf(client), "Connection Closed Gracefully.");
  }
  {
    Socket closed = Socket::Create(AF_INET);
    closed.Bind(Loopback(0));
    RexecClient client;
    Aim(client, closed.LocalAddress().Port());
    EXPECT_EQ(FailureOf(client), "Socket Error # 10061\r\nConnection refused.");
  }
  EXPECT_EQ(test::CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(test::CountEntries("/proc/self/task"), threads_before);
}

// ---- Bounded waits and output -------------------------------------------------------------------

// A server that accepts and then never answers fails the run once the status wait is over, with
// every thread and descriptor of the run gone; once the status byte is there, the command's
// output is awaited as long as it takes.
TEST(RcmdStatusWait, ASilentServerEndsTheRunOnlyBeforeTheStatusByte) {
  EXPECT_EQ(RexecClient().StatusWait(), std::chrono::seconds(60));
  EXPECT_EQ(RshClient().StatusWait(), std::chrono::seconds(60));
  const int fds_before = test::CountEntries("/proc/self/fd");
  const int threads_before = test::CountEntries("/proc/self/task");
  for (const bool rsh : {false, true}) {
    for (const bool reads_header : {true, false}) {
      SCOPED_TRACE(std::string(rsh ? "rsh" : "rexec") + (reads_header ? ", header read" : ", nothing read"));
      std::promise<void> client_done;
      FakeServer server([&, done = client_done.get_future().share()](Socket& c) {
        if (reads_header) ReadRequestHeader(c);
        done.wait();
      });
      auto client = MakeClient(rsh, server.Port());
      client->SetStatusWait(std::chrono::milliseconds(300));
      EXPECT_EQ(FailureOf(*client), "Socket Error # 10060\r\nConnection timed out.");
      client_done.set_value();
    }
  }
  for (const bool rsh : {false, true}) {
    SCOPED_TRACE(rsh ? "rsh" : "rexec");
    FakeServer server([](Socket& c) {
      ReadRequestHeader(c);
      c.SendAll("\0"s);
      std::this_thread::sleep_for(std::chrono::milliseconds(900));  // three status waits
      c.SendAll("late output\n");
    });
    auto client = MakeClient(rsh, server.Port());
    client->SetStatusWait(std::chrono::milliseconds(300));
    EXPECT_EQ(client->RunCommand("x"), "late output\n");
    server.Join();
    EXPECT_EQ(server.Failure(), "");
  }
  EXPECT_EQ(test::CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(test::CountEntries("/proc/self/task"), threads_before);
}

// Sends the status byte and then `pattern` until the client goes away; true when it went away.
bool SendWithoutEnd(Socket& c, std::string_view pattern) {
  ReadRequestHeader(c);
  c.SendAll("\0"s);
  std::string block;
  while (block.size() < 64 * 1024) block += pattern;
  try {
    for (int i = 0; i < 1000000; ++i) c.SendAll(block);
  } catch (const SocketError&) {
    return true;
  }
  return false;
}

TEST(RcmdOutputLimit, AnEndlessServerIsCutOffAtTheLimit) {
  const int fds_before = test::CountEntries("/proc/self/fd");
  const int threads_before = test::CountEntries("/proc/self/task");
  constexpr std::size_t kLimit = 3 * 1024 * 1024 + 5;
  for (const bool rsh : {false, true}) {
    SCOPED_TRACE(rsh ? "rsh" : "rexec");
    bool client_left = false;
    FakeServer server([&](Socket& c) { client_left = SendWithoutEnd(c, "y\n"); });
    auto client = MakeClient(rsh, server.Port());
    RawOutput output(kLimit);
    EXPECT_FALSE(client->RunCommand("yes", output));
    EXPECT_TRUE(client->OutputWasCut());
    const std::string_view kept = output.Buffer().View();
    ASSERT_EQ(kept.size(), kLimit);
    std::string expected;
    while (expected.size() < kLimit) expected += "y\n";
    expected.resize(kLimit);
    EXPECT_TRUE(kept == expected);
    server.Join();
    EXPECT_TRUE(client_left) << "the server was not stopped";
  }
  // Output of exactly the limit is whole; one byte more is cut.
  for (const std::size_t size : {kLimit, kLimit + 1}) {
    SCOPED_TRACE(size);
    const std::string sent(size, 'z');
    FakeServer server([&](Socket& c) {
      ReadRequestHeader(c);
      c.SendAll("\0"s);
      try {
        c.SendAll(sent);
      } catch (const SocketError&) {
      }
    });
    RexecClient client;
    Aim(client, server.Port());
    RawOutput output(kLimit);
    EXPECT_EQ(client.RunCommand("x", output), size == kLimit);
    EXPECT_EQ(output.Buffer().View(), std::string_view(sent).substr(0, kLimit));
    server.Join();
  }
  EXPECT_EQ(test::CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(test::CountEntries("/proc/self/task"), threads_before);
}

// ---- The back-channel takes only the server ----------------------------------------------------

// Connects to the client's back-channel from `source` (a loopback address, optionally a reserved
// port) and reports whether the client closed that connection without reading from it.
bool IntruderIsRefused(const Socket& main_connection, const RequestHeader& header, const char* source,
                       bool reserved) {
  SocketAddress target = main_connection.PeerAddress();
  target.SetPort(static_cast<std::uint16_t>(std::stoi(header.port)));
  Socket intruder = Socket::Create(AF_INET);
  if (reserved) {
    intruder.Bind(SocketAddress::Numeric(source, 0), kReservedPortRange);
  } else {
    intruder.Bind(SocketAddress::Numeric(source, 0));
  }
  intruder.Connect(target);
  intruder.SetTimeout(std::chrono::seconds(10));
  char c = 0;
  try {
    return intruder.Receive(std::span<char>(&c, 1)) == 0;
  } catch (const SocketError& e) {
    return e.Number() == kSocketErrorConnectionReset;
  }
}

TEST(RcmdBackChannel, OnlyTheServerMayConnectBack) {
  struct Case {
    bool rsh;
    const char* source;
    bool reserved;
  };
  const Case cases[] = {
      {false, "127.0.0.2", false},  // rexec: another address
      {true, "127.0.0.2", true},    // rsh: another address, even from a reserved port
      {true, "127.0.0.1", false},   // rsh: the server's address, but no reserved port
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.rsh ? "rsh" : "rexec") + " from " + c.source + (c.reserved ? " reserved" : ""));
    bool refused = false;
    FakeServer server([&](Socket& main) {
      const RequestHeader header = ReadRequestHeader(main);
      refused = IntruderIsRefused(main, header, c.source, c.reserved);
      Socket back = ConnectBack(main, header);  // the server itself, as a real one connects
      back.SendAll("server's error text");
      back.Close();
      main.SendAll("\0out"s);
    });
    auto client = MakeClient(c.rsh, server.Port());
    EXPECT_EQ(client->RunCommand("x"), "out");
    EXPECT_EQ(client->ErrorText(), "server's error text");
    server.Join();
    EXPECT_EQ(server.Failure(), "");
    EXPECT_TRUE(refused);
  }
}

}  // namespace
}  // namespace corvane
