// A small RAII layer over POSIX stream sockets for the remote command client.
//
// Failures are reported as SocketError whose message is the text the remote command library hands
// to its callers: "Socket Error # N" + CR LF + description, where N is the Windows socket error
// number that matches the POSIX error (those numbers are what operators and peers of this program
// have always seen), or one of the fixed texts of the local bind rule.
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "posix/descriptor.h"

namespace corvane {

// Windows socket error numbers used in failure texts.
inline constexpr int kSocketErrorInterrupted = 10004;
inline constexpr int kSocketErrorAddressInUse = 10048;
inline constexpr int kSocketErrorConnectionReset = 10054;
inline constexpr int kSocketErrorTimedOut = 10060;
inline constexpr int kSocketErrorConnectionRefused = 10061;
inline constexpr int kSocketErrorHostNotFound = 11001;

// Maps a POSIX errno value to its Windows socket error number. An errno value without a
// counterpart is returned unchanged (its text then has an empty description).
int SocketErrorNumberFromErrno(int error) noexcept;
// Maps a getaddrinfo() result (EAI_*) to the Windows resolver error numbers 11001..11004; with
// EAI_SYSTEM the given errno value is mapped instead.
int SocketErrorNumberFromResolver(int eai, int error) noexcept;
// The description of a socket error number; empty outside 10004..10066 and for numbers in that
// range that have no meaning.
std::string_view SocketErrorDescription(int number) noexcept;
// "Socket Error # N" + CR LF + description.
std::string SocketErrorText(int number);

// Failure texts of the local bind rule.
inline constexpr std::string_view kBindAddressInUseText =
    "Could not bind socket. Address and port are already in use.";
std::string InvalidPortRangeText(int low, int high);
std::string PortRangeExhaustedText(int low, int high);

class SocketError : public std::runtime_error {
 public:
  // A numbered socket error; the message is SocketErrorText(number).
  explicit SocketError(int number);
  // A failure with a fixed text and no number (Number() is 0).
  explicit SocketError(const std::string& text);
  int Number() const noexcept { return number_; }

 private:
  int number_ = 0;
};

// An IPv4 or IPv6 socket address.
class SocketAddress {
 public:
  SocketAddress() noexcept = default;
  SocketAddress(const sockaddr* address, socklen_t size);
  // The wildcard address of a family with the given port.
  static SocketAddress Any(int family, std::uint16_t port);
  // A numeric IPv4/IPv6 address text; throws SocketError when it is not one.
  static SocketAddress Numeric(const std::string& host, std::uint16_t port);

  int Family() const noexcept { return storage_.ss_family; }
  std::uint16_t Port() const noexcept;
  void SetPort(std::uint16_t port) noexcept;
  std::string HostText() const;
  const sockaddr* Data() const noexcept { return reinterpret_cast<const sockaddr*>(&storage_); }
  socklen_t Size() const noexcept { return size_; }

 private:
  sockaddr_storage storage_{};
  socklen_t size_ = 0;
};

// Resolves a host name to stream socket addresses with the given port, in the resolver's order.
// A name that cannot be resolved throws SocketError with the resolver's number (11001 ...).
std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port);

// A range of local ports, tried from `high` down to `low`.
struct PortRange {
  int low = 0;
  int high = 0;
};
// The reserved ports that rsh servers require of their clients.
inline constexpr PortRange kReservedPortRange{512, 1023};

// A stream socket. All waits are without limit unless a time-out is set; a wait that runs out
// fails with socket error 10060.
class Socket {
 public:
  Socket() noexcept = default;
  explicit Socket(posix::Descriptor fd) noexcept : fd_(std::move(fd)) {}

  // A new stream socket of the family (close-on-exec).
  static Socket Create(int family);

  bool IsOpen() const noexcept { return fd_.Valid(); }
  int Handle() const noexcept { return fd_.Get(); }
  void Close() noexcept { fd_.Reset(); }
  // Shuts both directions down (wakes a peer and any local reader); ignores errors.
  void Shutdown() noexcept;
  // Shuts the sending side down: the peer reads end of input, and receiving goes on. Ignores
  // errors (a connection that the peer has already dropped reports that on the next receive).
  void ShutdownSending() noexcept;

  // 0: no limit (the default).
  void SetTimeout(std::chrono::milliseconds timeout) noexcept { timeout_ = timeout; }
  std::chrono::milliseconds Timeout() const noexcept { return timeout_; }
  void SetKeepAlive();
  // Closes with a reset instead of an orderly release (SO_LINGER 0).
  void SetAbortiveClose();

  // The local bind rule: without a range, binds `local` as given (port 0: the system chooses),
  // failing with kBindAddressInUseText when that address and port are in use. With a range, tries
  // every port from the range's highest down to its lowest, moving on only when a port is in use;
  // fails with InvalidPortRangeText when the range is reversed and with PortRangeExhaustedText when
  // no port is free. Any other error fails at once.
  void Bind(SocketAddress local, std::optional<PortRange> range = std::nullopt);
  void Connect(const SocketAddress& remote);
  SocketAddress LocalAddress() const;
  SocketAddress PeerAddress() const;
  void Listen(int backlog);
  Socket Accept();

  // Sends every byte (partial sends and interruptions are continued; never raises SIGPIPE).
  void SendAll(std::string_view data);
  // Receives at most buffer.size() bytes; 0 means the peer has closed the connection.
  std::size_t Receive(std::span<char> buffer);
  // Appends everything up to the peer's close to `out`.
  void ReceiveAll(std::string& out);

 private:
  void WaitFor(short events);

  posix::Descriptor fd_;
  std::chrono::milliseconds timeout_{0};
};

}  // namespace corvane
