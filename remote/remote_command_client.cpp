#include "remote/remote_command_client.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace corvane {

namespace {

// Overwrites a text that held a secret before its memory is released or reused.
void WipeText(std::string& text) noexcept {
  if (!text.empty()) ::explicit_bzero(text.data(), text.size());
  text.clear();
}

// Sets O_NONBLOCK on a descriptor.
void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    throw SocketError(SocketErrorNumberFromErrno(errno));
  }
}

int PollMilliseconds(std::chrono::steady_clock::duration remaining) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
  if (ms <= 0) return 0;
  return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

}  // namespace

// --- ErrorChannelReader ----------------------------------------------------------------------------

ErrorChannelReader::ErrorChannelReader(Socket listener, const SocketAddress& server, bool reserved_port_only)
    : listener_(std::move(listener)), server_(server), reservedPortOnly_(reserved_port_only) {
  listener_.Listen(1);  // listening again on a listening socket only sets the backlog
  SetNonBlocking(listener_.Handle());
  port_ = listener_.LocalAddress().Port();
  const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event < 0) throw SocketError(SocketErrorNumberFromErrno(errno));
  stopEvent_.Reset(event);
}

ErrorChannelReader::~ErrorChannelReader() { Stop(std::chrono::milliseconds(0)); }

void ErrorChannelReader::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Execute(); });
}

void ErrorChannelReader::Stop(std::chrono::milliseconds grace) noexcept {
  if (thread_.joinable()) {
    graceMs_.store(grace.count());
    const std::uint64_t one = 1;
    while (::write(stopEvent_.Get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  listener_.Close();
}

void ErrorChannelReader::Execute() noexcept {
  bool stopping = false;
  for (;;) {
    pollfd fds[2] = {{listener_.Handle(), POLLIN, 0}, {stopEvent_.Get(), POLLIN, 0}};
    // Once stopping, only a connection that is already waiting is taken.
    const int rc = ::poll(fds, stopping ? 1 : 2, stopping ? 0 : -1);
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (!stopping && (fds[1].revents & POLLIN) != 0) {
      stopping = true;
      continue;
    }
    if (rc == 0 || (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) == 0) {
      if (stopping) break;
      continue;
    }
    sockaddr_storage caller{};
    socklen_t caller_size = sizeof caller;
    const int fd = ::accept4(listener_.Handle(), reinterpret_cast<sockaddr*>(&caller), &caller_size,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      Socket connection{posix::Descriptor(fd)};
      if (!FromTheServer(SocketAddress(reinterpret_cast<const sockaddr*>(&caller), caller_size))) {
        continue;  // refused: closed here, and the wait for the server goes on
      }
      listener_.Close();
      ReadToEnd(std::move(connection), stopping);
      return;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) {
      if (stopping) break;
      continue;
    }
    break;  // the listener itself failed: nothing more can arrive
  }
  listener_.Close();
}

bool ErrorChannelReader::FromTheServer(const SocketAddress& caller) const noexcept {
  if (caller.Family() != server_.Family()) return false;
  if (caller.Family() == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(caller.Data());
    const auto* b = reinterpret_cast<const sockaddr_in*>(server_.Data());
    if (a->sin_addr.s_addr != b->sin_addr.s_addr) return false;
  } else if (caller.Family() == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(caller.Data());
    const auto* b = reinterpret_cast<const sockaddr_in6*>(server_.Data());
    if (std::memcmp(&a->sin6_addr, &b->sin6_addr, sizeof a->sin6_addr) != 0) return false;
  } else {
    return false;
  }
  return !reservedPortOnly_ || (caller.Port() != 0 && caller.Port() < 1024);
}

void ErrorChannelReader::ReadToEnd(Socket connection, bool stopping) noexcept {
  constexpr std::size_t kChunk = 64 * 1024;
  char buffer[kChunk];
  std::chrono::steady_clock::time_point deadline{};
  if (stopping) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs_.load());
  for (;;) {
    int wait = -1;
    if (stopping) {
      const auto remaining = deadline - std::chrono::steady_clock::now();
      if (remaining <= std::chrono::steady_clock::duration::zero()) break;
      wait = PollMilliseconds(remaining);
    }
    pollfd fds[2] = {{connection.Handle(), POLLIN, 0}, {stopEvent_.Get(), POLLIN, 0}};
    const int rc = ::poll(fds, stopping ? 1 : 2, wait);
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (!stopping && (fds[1].revents & POLLIN) != 0) {
      stopping = true;
      deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs_.load());
    }
    if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) == 0) continue;
    const ssize_t n = ::recv(connection.Handle(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      break;
    }
    const std::size_t room = kMaxKeptText - std::min(kMaxKeptText, text_.size());
    text_.append(buffer, std::min(room, static_cast<std::size_t>(n)));
  }
  // A server child that still writes gets a reset; it has nothing left to say to this run.
  connection.Shutdown();
}

// --- RemoteCommandClient -------------------------------------------------------------------------

Socket RemoteCommandClient::ConnectMain(SocketAddress& server) const {
  std::optional<PortRange> range;
  if (useReservedPorts_) range = kReservedPortRange;
  const std::vector<SocketAddress> addresses = ResolveHost(host_, port_);
  std::optional<SocketError> last_error;
  for (const SocketAddress& address : addresses) {
    Socket socket = Socket::Create(address.Family());
    socket.Bind(SocketAddress::Any(address.Family(), 0), range);  // bind-rule failures are final
    try {
      socket.Connect(address);
    } catch (const SocketError& e) {
      last_error = e;
      continue;
    }
    socket.SetKeepAlive();
    socket.SetTimeout(readTimeout_);
    server = address;
    return socket;
  }
  throw *last_error;
}

bool RemoteCommandClient::ExecWithIdentity(std::string_view first_identity, std::string_view second_identity,
                                           std::string_view command, OutputSink& output) {
  errorText_.clear();
  statusNotNul_ = false;
  outputCut_ = false;

  // The server's address as connected to: a server that resets the connection at once leaves a
  // socket that no longer has a peer name to ask for.
  SocketAddress server;
  Socket main = ConnectMain(server);

  std::optional<ErrorChannelReader> reader;
  if (useErrorChannel_) {
    SocketAddress local = main.LocalAddress();
    local.SetPort(0);
    Socket listener = Socket::Create(local.Family());
    std::optional<PortRange> range;
    if (useReservedPorts_) range = kReservedPortRange;
    listener.Bind(local, range);
    // An rsh server connects back from a reserved port, as it connects from one to us.
    reader.emplace(std::move(listener), server, useReservedPorts_);
  }

  // Until the status byte has come the command has not started: these waits are bounded.
  std::chrono::milliseconds start_wait = statusWait_;
  if (readTimeout_.count() > 0 && (start_wait.count() <= 0 || readTimeout_ < start_wait))
    start_wait = readTimeout_;
  main.SetTimeout(start_wait);

  // The request header: back-channel port, first identity, second identity, command, each ended
  // by a NUL byte. It may carry a password: wipe it once it is sent.
  {
    std::string header = std::to_string(reader ? reader->Port() : 0);
    header.reserve(header.size() + first_identity.size() + second_identity.size() + command.size() + 4);
    header.push_back('\0');
    header.append(first_identity);
    header.push_back('\0');
    header.append(second_identity);
    header.push_back('\0');
    header.append(command);
    header.push_back('\0');
    try {
      main.SendAll(header);
    } catch (...) {
      WipeText(header);
      throw;
    }
    WipeText(header);
  }
  // The request is all this client ever sends on the main connection: the command reads end of
  // input at once instead of waiting for input that never comes (what `rsh -n` gives). The
  // back-channel stays open both ways, so the server's error text still arrives on it.
  main.ShutdownSending();

  if (reader) reader->Start();
  try {
    char status = 0;
    if (main.Receive(std::span<char>(&status, 1)) == 0) {
      throw SocketError(std::string(kConnectionClosedGracefullyText));
    }
    statusNotNul_ = status != 0;
    main.SetTimeout(readTimeout_);
    if (!reader && statusNotNul_) {
      main.ReceiveAll(errorText_);
    } else {
      for (;;) {
        const std::span<char> room = output.Room();
        const std::size_t received = main.Receive(room);
        if (received == 0) break;
        if (!output.Commit(received)) {
          outputCut_ = true;
          main.SetAbortiveClose();  // the server's side of the command learns at once
          break;
        }
      }
    }
  } catch (...) {
    if (reader) {
      reader->Stop(std::chrono::milliseconds(0));
      errorText_ = reader->Text();
    }
    throw;
  }
  if (reader) {
    reader->Stop(outputCut_ ? std::chrono::milliseconds(0) : kBackChannelGrace);
    errorText_ = reader->Text();
  }
  return !outputCut_;
}

std::string RemoteCommandClient::ExecWithIdentity(std::string_view first_identity,
                                                  std::string_view second_identity, std::string_view command) {
  RawOutput output;
  ExecWithIdentity(first_identity, second_identity, command, output);
  return std::string(output.Buffer().View());
}

bool RemoteCommandClient::RunCommand(std::string_view, OutputSink&) { return true; }

std::string RemoteCommandClient::RunCommand(std::string_view command) {
  RawOutput output;
  RunCommand(command, output);
  return std::string(output.Buffer().View());
}

// --- RexecClient / RshClient --------------------------------------------------------------------------

RexecClient::~RexecClient() { WipeText(password_); }

void RexecClient::SetPassword(std::string value) {
  WipeText(password_);
  password_ = std::move(value);
}

bool RexecClient::RunCommand(std::string_view command, OutputSink& output) {
  return ExecWithIdentity(username_, password_, command, output);
}

bool RshClient::RunCommand(std::string_view command, OutputSink& output) {
  return ExecWithIdentity(clientUserName_, hostUserName_, command, output);
}

}  // namespace corvane
