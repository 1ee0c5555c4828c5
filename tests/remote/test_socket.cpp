// The socket layer: error numbers and texts, the local bind rule, sending to a peer that is gone.
#include "remote/socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "remote/fake_server.h"

namespace corvane {
namespace {

using test::Loopback;

// A listener on an ephemeral loopback port.
Socket LoopbackListener() {
  Socket listener = Socket::Create(AF_INET);
  listener.Bind(Loopback(0));
  listener.Listen(1);
  return listener;
}

// A client connected to the listener, and the server end that the listener accepted for it.
struct Connection {
  Socket client;
  Socket server;
};

Connection Connect(Socket& listener) {
  Connection c{Socket::Create(AF_INET), Socket()};
  c.client.Connect(Loopback(listener.LocalAddress().Port()));
  c.server = listener.Accept();
  return c;
}

TEST(SocketErrorText, ErrnoValuesGetTheWindowsNumbersAndTexts) {
  struct Case {
    int error;
    const char* text;
  };
  const Case cases[] = {
      {EADDRINUSE, "Socket Error # 10048\r\nAddress already in use."},
      {EADDRNOTAVAIL, "Socket Error # 10049\r\nCannot assign requested address."},
      {ENETDOWN, "Socket Error # 10050\r\nNetwork is down."},
      {ENETUNREACH, "Socket Error # 10051\r\nNetwork is unreachable."},
      {ECONNABORTED, "Socket Error # 10053\r\nSoftware caused connection abort."},
      {ECONNRESET, "Socket Error # 10054\r\nConnection reset by peer."},
      {EPIPE, "Socket Error # 10054\r\nConnection reset by peer."},
      {ETIMEDOUT, "Socket Error # 10060\r\nConnection timed out."},
      {ECONNREFUSED, "Socket Error # 10061\r\nConnection refused."},
      {EHOSTDOWN, "Socket Error # 10064\r\nHost is down."},
      {EHOSTUNREACH, "Socket Error # 10065\r\nNo route to host."},
      {EINTR, "Socket Error # 10004\r\nInterrupted system call."},
      {EMFILE, "Socket Error # 10024\r\nToo many open files."},
      {ENOTEMPTY, "Socket Error # 10066\r\nDirectory not empty."},
      // No socket counterpart: the number stays as it is and has no description.
      {ENOENT, "Socket Error # 2\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SocketErrorText(SocketErrorNumberFromErrno(c.error)), c.text) << c.error;
    EXPECT_EQ(SocketError(SocketErrorNumberFromErrno(c.error)).what(), std::string(c.text));
  }
  // Numbers outside 10004..10066 (the resolver's among them) and gaps inside it: no description.
  EXPECT_EQ(SocketErrorText(11001), "Socket Error # 11001\r\n");
  EXPECT_EQ(SocketErrorText(10067), "Socket Error # 10067\r\n");
  EXPECT_EQ(SocketErrorText(10003), "Socket Error # 10003\r\n");
  EXPECT_EQ(SocketErrorText(10005), "Socket Error # 10005\r\n");
  EXPECT_EQ(SocketError(std::string("plain")).Number(), 0);
}

TEST(SocketResolve, UnknownHostFailsWithTheResolverNumberAndNoDescription) {
  try {
    ResolveHost("no-such-host.invalid", 512);
    FAIL() << "resolved";
  } catch (const SocketError& e) {
    EXPECT_TRUE(test::IsResolverFailure(e.what())) << e.what();
  }
  const auto addresses = ResolveHost("127.0.0.1", 514);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.front().HostText(), "127.0.0.1");
  EXPECT_EQ(addresses.front().Port(), 514);
}

// Occupies every port of [low, high] that it can bind; ports it cannot bind are in use anyway.
std::vector<Socket> OccupyPorts(const char* host, int low, int high) {
  std::vector<Socket> taken;
  for (int port = low; port <= high; ++port) {
    Socket s = Socket::Create(AF_INET);
    try {
      s.Bind(SocketAddress::Numeric(host, static_cast<std::uint16_t>(port)));
      taken.push_back(std::move(s));
    } catch (const SocketError&) {
    }
  }
  return taken;
}

TEST(SocketBind, FixedPortInUseGivesTheAddressInUseText) {
  Socket first = Socket::Create(AF_INET);
  first.Bind(Loopback(0));
  Socket second = Socket::Create(AF_INET);
  try {
    second.Bind(Loopback(first.LocalAddress().Port()));
    FAIL() << "bound twice";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
    EXPECT_EQ(e.Number(), 0);
  }
}

TEST(SocketBind, RangeTakesTheHighestFreePortAndReportsExhaustion) {
  // Below the system's ephemeral range, so nothing else hands these ports out meanwhile.
  constexpr int kLow = 29311, kHigh = 29314;
  std::vector<Socket> held;
  {
    Socket top = Socket::Create(AF_INET);
    top.Bind(Loopback(0), PortRange{kLow, kHigh});
    const int first = top.LocalAddress().Port();
    EXPECT_LE(first, kHigh);
    Socket next = Socket::Create(AF_INET);
    next.Bind(Loopback(0), PortRange{kLow, kHigh});
    EXPECT_LT(next.LocalAddress().Port(), first) << "the range is tried from the top down";
  }
  held = OccupyPorts("127.0.0.1", kLow, kHigh);
  Socket s = Socket::Create(AF_INET);
  try {
    s.Bind(Loopback(0), PortRange{kLow, kHigh});
    FAIL() << "bound in a full range";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Can not bind in port range (29311 - 29314)");
  }
}

TEST(SocketBind, ReversedRangeAndForeignAddressFailAtOnce) {
  Socket s = Socket::Create(AF_INET);
  try {
    s.Bind(Loopback(0), PortRange{1023, 512});
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Invalid Port Range (1023 - 512)");
  }
  // An error other than "in use" is not a reason to try the next port.
  try {
    s.Bind(SocketAddress::Numeric("192.0.2.1", 0), PortRange{29311, 29314});
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10049\r\nCannot assign requested address.");
  }
}

TEST(SocketTransfer, SendingToAPeerThatIsGoneFailsWithoutSignal) {
  Socket listener = LoopbackListener();
  Connection connection = Connect(listener);
  connection.server.SetAbortiveClose();
  connection.server.Close();  // reset
  const std::string block(1 << 20, 'x');
  try {
    for (int i = 0; i < 64; ++i) connection.client.SendAll(block);
    FAIL() << "sent to a reset connection";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Number(), kSocketErrorConnectionReset) << e.what();
  }
}

TEST(SocketTransfer, ReceiveAllReadsToTheEndAndTimeOutsFail) {
  Socket listener = LoopbackListener();
  Connection connection = Connect(listener);
  Socket& client = connection.client;
  Socket& server = connection.server;

  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7) & 0xFF);
  std::thread writer([&] {
    server.SendAll(data);
    server.Close();
  });
  std::string received = "pre";
  client.ReceiveAll(received);
  writer.join();
  EXPECT_EQ(received, "pre" + data);

  // A connection with nothing to read and a time-out set.
  Connection quiet = Connect(listener);
  quiet.client.SetTimeout(std::chrono::milliseconds(50));
  char c = 0;
  try {
    quiet.client.Receive(std::span<char>(&c, 1));
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket Error # 10060\r\nConnection timed out.");
  }
}

}  // namespace
}  // namespace corvane
