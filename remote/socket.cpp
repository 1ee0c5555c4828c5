#include "remote/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace corvane {

namespace {

struct ErrnoMapping {
  int error;
  int number;
};

constexpr ErrnoMapping kErrnoMap[] = {
    {EINTR, 10004},           {EBADF, 10009},           {EACCES, 10013},        {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},          {EMFILE, 10024},        {ENFILE, 10024},
    {EAGAIN, 10035},          {EINPROGRESS, 10036},     {EALREADY, 10037},      {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},  {ECONNRESET, 10054},
    {EPIPE, 10054},           {ENOBUFS, 10055},         {ENOMEM, 10055},        {EISCONN, 10056},
    {ENOTCONN, 10057},        {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},  {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},  {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};

struct Description {
  int number;
  std::string_view text;
};

constexpr Description kDescriptions[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty."},
};

// Throws the socket error that matches `error` (an errno value).
[[noreturn]] void ThrowSocketError(int error) { throw SocketError(SocketErrorNumberFromErrno(error)); }

std::string FormatRangeText(const char* format, int low, int high) {
  char text[96];
  std::snprintf(text, sizeof text, format, low, high);
  return text;
}

}  // namespace

int SocketErrorNumberFromErrno(int error) noexcept {
  for (const auto& m : kErrnoMap) {
    if (m.error == error) return m.number;
  }
  return error;
}

int SocketErrorNumberFromResolver(int eai, int error) noexcept {
  switch (eai) {
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    case EAI_SYSTEM: return SocketErrorNumberFromErrno(error);
    case EAI_MEMORY: return 10055;
    default: return kSocketErrorHostNotFound;
  }
}

std::string_view SocketErrorDescription(int number) noexcept {
  for (const auto& d : kDescriptions) {
    if (d.number == number) return d.text;
  }
  return {};
}

std::string SocketErrorText(int number) {
  std::string text = "Socket Error # " + std::to_string(number) + "\r\n";
  text += SocketErrorDescription(number);
  return text;
}

std::string InvalidPortRangeText(int low, int high) {
  return FormatRangeText("Invalid Port Range (%d - %d)", low, high);
}

std::string PortRangeExhaustedText(int low, int high) {
  return FormatRangeText("Can not bind in port range (%d - %d)", low, high);
}

SocketError::SocketError(int number) : std::runtime_error(SocketErrorText(number)), number_(number) {}

SocketError::SocketError(const std::string& text) : std::runtime_error(text) {}

// --- SocketAddress ----------------------------------------------------------------------------

SocketAddress::SocketAddress(const sockaddr* address, socklen_t size) {
  if (size > sizeof storage_) size = sizeof storage_;
  std::memcpy(&storage_, address, size);
  size_ = size;
}

SocketAddress SocketAddress::Any(int family, std::uint16_t port) {
  SocketAddress result;
  if (family == AF_INET6) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_any;
    result = SocketAddress(reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    result = SocketAddress(reinterpret_cast<const sockaddr*>(&a), sizeof a);
  }
  result.SetPort(port);
  return result;
}

SocketAddress SocketAddress::Numeric(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc != 0) throw SocketError(SocketErrorNumberFromResolver(rc, errno));
  SocketAddress result(list->ai_addr, list->ai_addrlen);
  ::freeaddrinfo(list);
  result.SetPort(port);
  return result;
}

std::uint16_t SocketAddress::Port() const noexcept {
  if (Family() == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
  return 0;
}

void SocketAddress::SetPort(std::uint16_t port) noexcept {
  if (Family() == AF_INET6) {
    reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
  } else if (Family() == AF_INET) {
    reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
  }
}

std::string SocketAddress::HostText() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr, text, sizeof text);
  } else if (Family() == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr, text, sizeof text);
  }
  return text;
}

std::vector<SocketAddress> ResolveHost(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc == EAI_NONAME || rc == EAI_ADDRFAMILY) {
    // Without a configured address (an isolated machine) AI_ADDRCONFIG hides even loopback names.
    hints.ai_flags = 0;
    rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  }
  if (rc != 0) throw SocketError(SocketErrorNumberFromResolver(rc, errno));
  std::vector<SocketAddress> result;
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    SocketAddress address(a->ai_addr, a->ai_addrlen);
    address.SetPort(port);
    result.push_back(address);
  }
  ::freeaddrinfo(list);
  if (result.empty()) throw SocketError(kSocketErrorHostNotFound);
  return result;
}

// --- Socket -----------------------------------------------------------------------------------

Socket Socket::Create(int family) {
  const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) ThrowSocketError(errno);
  return Socket(posix::Descriptor(fd));
}

void Socket::Shutdown() noexcept {
  if (IsOpen()) ::shutdown(Handle(), SHUT_RDWR);
}

void Socket::ShutdownSending() noexcept {
  if (IsOpen()) ::shutdown(Handle(), SHUT_WR);
}

void Socket::SetKeepAlive() {
  const int on = 1;
  if (::setsockopt(Handle(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) ThrowSocketError(errno);
}

void Socket::SetAbortiveClose() {
  const linger l{1, 0};
  if (::setsockopt(Handle(), SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0) ThrowSocketError(errno);
}

void Socket::Bind(SocketAddress local, std::optional<PortRange> range) {
  if (!range) {
    if (::bind(Handle(), local.Data(), local.Size()) == 0) return;
    if (errno == EADDRINUSE) throw SocketError(std::string(kBindAddressInUseText));
    ThrowSocketError(errno);
  }
  if (range->high < range->low) throw SocketError(InvalidPortRangeText(range->low, range->high));
  const int low = std::max(range->low, 0);
  const int high = std::min(range->high, 65535);
  for (int port = high; port >= low; --port) {
    local.SetPort(static_cast<std::uint16_t>(port));
    if (::bind(Handle(), local.Data(), local.Size()) == 0) return;
    if (errno != EADDRINUSE) ThrowSocketError(errno);
  }
  throw SocketError(PortRangeExhaustedText(range->low, range->high));
}

void Socket::Connect(const SocketAddress& remote) {
  if (::connect(Handle(), remote.Data(), remote.Size()) == 0) return;
  if (errno != EINTR && errno != EINPROGRESS) ThrowSocketError(errno);
  // An interrupted connect goes on in the background: wait for its outcome.
  for (;;) {
    pollfd p{Handle(), POLLOUT, 0};
    const int rc = ::poll(&p, 1, -1);
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) ThrowSocketError(errno);
    break;
  }
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(Handle(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) ThrowSocketError(errno);
  if (error != 0) ThrowSocketError(error);
}

SocketAddress Socket::LocalAddress() const {
  sockaddr_storage s{};
  socklen_t size = sizeof s;
  if (::getsockname(Handle(), reinterpret_cast<sockaddr*>(&s), &size) != 0) ThrowSocketError(errno);
  return SocketAddress(reinterpret_cast<const sockaddr*>(&s), size);
}

SocketAddress Socket::PeerAddress() const {
  sockaddr_storage s{};
  socklen_t size = sizeof s;
  if (::getpeername(Handle(), reinterpret_cast<sockaddr*>(&s), &size) != 0) ThrowSocketError(errno);
  return SocketAddress(reinterpret_cast<const sockaddr*>(&s), size);
}

void Socket::Listen(int backlog) {
  if (::listen(Handle(), backlog) != 0) ThrowSocketError(errno);
}

Socket Socket::Accept() {
  for (;;) {
    WaitFor(POLLIN);
    const int fd = ::accept4(Handle(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return Socket(posix::Descriptor(fd));
    if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) continue;
    ThrowSocketError(errno);
  }
}

void Socket::WaitFor(short events) {
  if (timeout_.count() <= 0) return;
  const int ms = static_cast<int>(std::min<std::chrono::milliseconds::rep>(timeout_.count(), 0x7fffffff));
  for (;;) {
    pollfd p{Handle(), events, 0};
    const int rc = ::poll(&p, 1, ms);
    if (rc > 0) return;
    if (rc == 0) throw SocketError(kSocketErrorTimedOut);
    if (errno != EINTR) ThrowSocketError(errno);
  }
}

void Socket::SendAll(std::string_view data) {
  while (!data.empty()) {
    WaitFor(POLLOUT);
    // With a time-out, send only what fits now, so that every wait goes through WaitFor().
    const int flags = MSG_NOSIGNAL | (timeout_.count() > 0 ? MSG_DONTWAIT : 0);
    const ssize_t n = ::send(Handle(), data.data(), data.size(), flags);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      ThrowSocketError(errno);
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::size_t Socket::Receive(std::span<char> buffer) {
  for (;;) {
    WaitFor(POLLIN);
    const ssize_t n = ::recv(Handle(), buffer.data(), buffer.size(), timeout_.count() > 0 ? MSG_DONTWAIT : 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) ThrowSocketError(errno);
  }
}

void Socket::ReceiveAll(std::string& out) {
  constexpr std::size_t kChunk = 256 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  for (;;) {
    const std::size_t n = Receive(std::span<char>(buffer.get(), kChunk));
    if (n == 0) return;
    out.append(buffer.get(), n);
  }
}

}  // namespace corvane
