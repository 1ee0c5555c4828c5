// In-process fake rexec/rsh servers for the remote tests: a listener on 127.0.0.1 (ephemeral
// port) whose thread accepts one connection and hands it to a handler.
#pragma once

#include <dirent.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "remote/socket.h"

namespace corvane::test {

inline SocketAddress Loopback(std::uint16_t port) { return SocketAddress::Numeric("127.0.0.1", port); }

// A port field as a client sends it: decimal digits without a leading zero.
inline bool IsDecimalPort(std::string_view text) {
  if (text.empty() || text[0] == '0') return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The failure text of a name that does not resolve: one of the resolver's numbers 11001-11004
// and no description.
inline bool IsResolverFailure(std::string_view text) {
  constexpr std::string_view prefix = "Socket Error # 1100";
  return text.size() == prefix.size() + 3 && text.substr(0, prefix.size()) == prefix &&
         text[prefix.size()] >= '1' && text[prefix.size()] <= '4' && text.substr(prefix.size() + 1) == "\r\n";
}

// The four NUL-terminated fields of a request header.
struct RequestHeader {
  std::string port;
  std::string first;
  std::string second;
  std::string command;
};

// Reads a request header byte by byte (as the real servers do), leaving the rest unread.
inline RequestHeader ReadRequestHeader(Socket& connection) {
  std::string fields[4];
  for (std::string& field : fields) {
    for (;;) {
      char c = 0;
      if (connection.Receive(std::span<char>(&c, 1)) == 0) throw std::runtime_error("header cut short");
      if (c == '\0') break;
      field.push_back(c);
    }
  }
  return {fields[0], fields[1], fields[2], fields[3]};
}

// Connects to the back-channel port that a request header named, on the client's address. An rsh
// client (its listener on a reserved port) takes the connection only from a reserved port, as a
// real rsh server makes it.
inline Socket ConnectBack(const Socket& main_connection, const RequestHeader& header) {
  SocketAddress client = main_connection.PeerAddress();
  const int port = std::stoi(header.port);
  client.SetPort(static_cast<std::uint16_t>(port));
  Socket back = Socket::Create(client.Family());
  if (port < 1024) back.Bind(SocketAddress::Any(client.Family(), 0), kReservedPortRange);
  back.Connect(client);
  return back;
}

class FakeServer {
 public:
  using Handler = std::function<void(Socket& connection)>;

  explicit FakeServer(Handler handler) : listener_(Socket::Create(AF_INET)) {
    listener_.Bind(Loopback(0));
    listener_.Listen(4);
    listener_.SetTimeout(std::chrono::seconds(30));  // a client that never comes must not hang a test
    port_ = listener_.LocalAddress().Port();
    thread_ = std::thread([this, handler = std::move(handler)] {
      try {
        Socket connection = listener_.Accept();
        peer_ = connection.PeerAddress();
        handler(connection);
      } catch (const std::exception& e) {
        failure_ = e.what();
      }
    });
  }
  ~FakeServer() { Join(); }
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  std::uint16_t Port() const { return port_; }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // After Join(): the client's address, and what went wrong in the handler (empty: nothing).
  const SocketAddress& Peer() const { return peer_; }
  const std::string& Failure() const { return failure_; }

 private:
  Socket listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
  SocketAddress peer_;
  std::string failure_;
};

// Number of entries in a /proc/self directory (open descriptors, threads).
inline int CountEntries(const char* path) {
  int count = 0;
  if (DIR* dir = ::opendir(path)) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
  }
  return count;
}

// Waits (at most `limit`) until a /proc/self directory holds `expected` entries; returns the count
// last seen. A detached thread leaves the task list a moment after its last statement.
inline int WaitForEntries(const char* path, int expected,
                          std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int count = CountEntries(path);
  while (count != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = CountEntries(path);
  }
  return count;
}

}  // namespace corvane::test
