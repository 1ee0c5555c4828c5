#include "console/components/end_signals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace corvane {
namespace {

// The write end the handler writes to; -1 while no instance exists.
std::atomic<int> handlerWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free descriptor");

void OnEndSignal(int signalNumber) {
  // Only async-signal-safe calls here: one write; errno is kept for the code interrupted.
  const int savedErrno = errno;
  const int fd = handlerWriteEnd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full socket (many signals unread) drops the byte: one pending byte is enough.
    [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
  }
  errno = savedErrno;
}

std::system_error SystemError(const char* what) { return std::system_error(errno, std::generic_category(), what); }

}  // namespace

EndSignals::EndSignals(QObject* parent) : QObject(parent) {
  int fds[2] = {-1, -1};
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
    throw SystemError("socketpair for the end signals");
  }
  readEnd_.Reset(fds[0]);
  writeEnd_.Reset(fds[1]);
  int expected = -1;
  if (!handlerWriteEnd.compare_exchange_strong(expected, writeEnd_.Get())) {
    throw std::logic_error("the end signals are handled already");
  }
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    if (::sigaction(kSignals[i], &action, &previous_[i]) != 0) {
      const std::system_error error = SystemError("sigaction for an end signal");
      RestoreHandlers(i);
      CloseDescriptors();
      throw error;
    }
  }
  handlersInstalled_ = true;
  notifier_ = new QSocketNotifier(static_cast<qintptr>(readEnd_.Get()), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { onReadable(); });
}

EndSignals::~EndSignals() {
  delete notifier_;  // before its descriptor is closed
  notifier_ = nullptr;
  RestorePreviousHandlers();
  CloseDescriptors();
}

void EndSignals::RestorePreviousHandlers() noexcept {
  if (!handlersInstalled_) return;
  handlersInstalled_ = false;
  RestoreHandlers(std::size(kSignals));
}

void EndSignals::RestoreHandlers(std::size_t installed) noexcept {
  for (std::size_t i = installed; i-- > 0;) ::sigaction(kSignals[i], &previous_[i], nullptr);
}

void EndSignals::CloseDescriptors() noexcept {
  // No handler writes any more once the descriptor is withdrawn.
  handlerWriteEnd.store(-1);
  readEnd_.Reset();
  writeEnd_.Reset();
}

void EndSignals::onReadable() {
  // Everything pending is read (the socket is non-blocking, so this never waits).
  std::array<unsigned char, 64> bytes{};
  int first = 0;
  for (;;) {
    const ssize_t got = ::read(readEnd_.Get(), bytes.data(), bytes.size());
    if (got > 0) {
      if (first == 0) first = bytes[0];
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    break;
  }
  if (first != 0) emit Received(first);
}

}  // namespace corvane
