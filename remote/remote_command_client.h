// Clients of the rexec and rsh protocols with their error back-channel.
//
// One client serves one run: set the host and the identities, call RunCommand() once with the
// command, read the text it returns (the remote output as received, line feeds unconverted), then
// destroy the client. Failures are thrown as SocketError (see remote/socket.h); its what() is the
// text to show, e.g. "Socket Error # 10061\r\nConnection refused." or
// "Connection Closed Gracefully.".
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "remote/output_sink.h"
#include "remote/socket.h"

namespace corvane {

inline constexpr std::uint16_t kRexecPort = 512;
inline constexpr std::uint16_t kRshPort = 514;

// The text of a failure when the server closes the main connection before its status byte.
inline constexpr std::string_view kConnectionClosedGracefullyText = "Connection Closed Gracefully.";

// Reads the error back-channel of one run: waits on the listener for the server's connection,
// accepts it, closes the listener and reads the connection to its end. What it reads is kept in
// Text() up to kMaxKeptText bytes; the rest is read and dropped, so a server that floods the
// back-channel never stalls. The thread is always stopped and joined before the object goes away.
//
// Only the server may connect back: a connection from another address (or, for rsh, from a port
// that is not reserved, as the rsh protocol requires of its servers) is closed at once and the
// reader goes on waiting for the server.
class ErrorChannelReader {
 public:
  static constexpr std::size_t kMaxKeptText = 64 * 1024;

  // Takes over a bound listener and makes sure it is listening (backlog 1). `server`: the
  // address of the main connection's peer (its port does not matter).
  ErrorChannelReader(Socket listener, const SocketAddress& server, bool reserved_port_only);
  ~ErrorChannelReader();
  ErrorChannelReader(const ErrorChannelReader&) = delete;
  ErrorChannelReader& operator=(const ErrorChannelReader&) = delete;

  // The listener's local port.
  std::uint16_t Port() const noexcept { return port_; }
  void Start();
  // Tells the thread to stop and waits for it to end. Without a back-channel connection the thread
  // ends at once (taking a connection that is already waiting); an open connection is read for at
  // most `grace` longer and then closed.
  void Stop(std::chrono::milliseconds grace) noexcept;
  // Complete once Stop() has returned.
  const std::string& Text() const noexcept { return text_; }

 private:
  void Execute() noexcept;
  void ReadToEnd(Socket connection, bool stopping) noexcept;
  bool FromTheServer(const SocketAddress& caller) const noexcept;

  Socket listener_;
  SocketAddress server_;
  bool reservedPortOnly_ = false;
  posix::Descriptor stopEvent_;
  std::thread thread_;
  std::string text_;
  std::atomic<long long> graceMs_{0};
  std::uint16_t port_ = 0;
};

// The rexec/rsh client base: connects, sends the request header and shuts the sending side of the
// main connection down (the remote command reads end of input), reads the status byte and the
// output, and serves the error back-channel.
class RemoteCommandClient {
 public:
  // How long an open back-channel may go on after the main connection has ended.
  static constexpr std::chrono::milliseconds kBackChannelGrace{1000};

  RemoteCommandClient() = default;
  virtual ~RemoteCommandClient() = default;
  RemoteCommandClient(const RemoteCommandClient&) = delete;
  RemoteCommandClient& operator=(const RemoteCommandClient&) = delete;

  const std::string& Host() const noexcept { return host_; }
  void SetHost(std::string host) { host_ = std::move(host); }
  std::uint16_t Port() const noexcept { return port_; }
  void SetPort(std::uint16_t port) noexcept { port_ = port; }
  // Open the error back-channel (default true).
  bool UseErrorChannel() const noexcept { return useErrorChannel_; }
  void SetUseErrorChannel(bool value) noexcept { useErrorChannel_ = value; }
  // Bind local ports from 1023 down to 512 (main connection and back-channel listener).
  bool UseReservedPorts() const noexcept { return useReservedPorts_; }
  void SetUseReservedPorts(bool value) noexcept { useReservedPorts_ = value; }
  // Limit for every wait on the main connection after it is connected; 0 (the default) waits
  // without limit. A wait that runs out fails with socket error 10060.
  std::chrono::milliseconds ReadTimeout() const noexcept { return readTimeout_; }
  void SetReadTimeout(std::chrono::milliseconds timeout) noexcept { readTimeout_ = timeout; }
  // Limit for sending the request and waiting for the status byte (kDefaultStatusWait after
  // construction; 0: no limit). The remote command has not started before the status byte, so
  // this bounds only a server that accepts and never answers; the command's own output is
  // awaited as long as it takes. A wait that runs out fails with socket error 10060.
  std::chrono::milliseconds StatusWait() const noexcept { return statusWait_; }
  void SetStatusWait(std::chrono::milliseconds wait) noexcept { statusWait_ = wait; }

  // The back-channel text of the last run (at most ErrorChannelReader::kMaxKeptText bytes); without
  // the back-channel, the main connection's text after a non-zero status byte.
  const std::string& ErrorText() const noexcept { return errorText_; }
  // The status byte of the last run was not 0x00.
  bool StatusNotNul() const noexcept { return statusNotNul_; }
  // The last run was ended because its output went past the sink's limit.
  bool OutputWasCut() const noexcept { return outputCut_; }

  // Runs `command` under the two identities; the main connection's text after the status byte
  // (after a non-zero status byte: the server's message) goes to `output`. Returns false when the
  // output went past the sink's limit: the run was then ended (connection reset) at that point.
  bool ExecWithIdentity(std::string_view first_identity, std::string_view second_identity,
                        std::string_view command, OutputSink& output);
  // The same, returning the text as received (kept up to kDefaultOutputLimit bytes).
  std::string ExecWithIdentity(std::string_view first_identity, std::string_view second_identity,
                               std::string_view command);
  // Runs `command` with the client's own identities; the base has none and runs nothing.
  virtual bool RunCommand(std::string_view command, OutputSink& output);
  std::string RunCommand(std::string_view command);

 protected:
  RemoteCommandClient(std::uint16_t port, bool use_reserved_ports) noexcept
      : port_(port), useReservedPorts_(use_reserved_ports) {}

 private:
  // Connects to the first of the host's addresses that answers; `server` is set to that address.
  Socket ConnectMain(SocketAddress& server) const;

  std::string host_;
  std::uint16_t port_ = 0;
  bool useErrorChannel_ = true;
  bool useReservedPorts_ = true;
  std::chrono::milliseconds readTimeout_{0};
  std::chrono::milliseconds statusWait_ = kDefaultStatusWait;
  std::string errorText_;
  bool statusNotNul_ = false;
  bool outputCut_ = false;
};

// rexec: port 512, any local port; identities: the remote user name and its password.
class RexecClient : public RemoteCommandClient {
 public:
  RexecClient() noexcept : RemoteCommandClient(kRexecPort, false) {}
  ~RexecClient() override;

  const std::string& Username() const noexcept { return username_; }
  void SetUsername(std::string value) { username_ = std::move(value); }
  const std::string& Password() const noexcept { return password_; }
  void SetPassword(std::string value);

  using RemoteCommandClient::RunCommand;
  bool RunCommand(std::string_view command, OutputSink& output) override;

 private:
  std::string username_;
  std::string password_;
};

// rsh: port 514, reserved local ports; identities: the local and the remote user name.
class RshClient : public RemoteCommandClient {
 public:
  RshClient() noexcept : RemoteCommandClient(kRshPort, true) {}

  const std::string& ClientUserName() const noexcept { return clientUserName_; }
  void SetClientUserName(std::string value) { clientUserName_ = std::move(value); }
  const std::string& HostUserName() const noexcept { return hostUserName_; }
  void SetHostUserName(std::string value) { hostUserName_ = std::move(value); }

  using RemoteCommandClient::RunCommand;
  bool RunCommand(std::string_view command, OutputSink& output) override;

 private:
  std::string clientUserName_;
  std::string hostUserName_;
};

}  // namespace corvane
