#include "posix/descriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace corvane::posix {

void Descriptor::Reset(int fd) noexcept {
  // close() is not retried on EINTR: on Linux the descriptor is released whatever it returns.
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void ThrowErrno(int error, std::string_view what, std::string_view path) {
  std::string text(what);
  text += " \"";
  text += path;
  text += '"';
  throw std::system_error(error, std::generic_category(), text);
}

namespace {

// Runs `write` (one write(2)-like call: bytes, count -> written or -1) until every byte is taken.
template <typename WriteOnce>
void WriteEveryByte(std::string_view bytes, std::string_view what, WriteOnce write) {
  while (!bytes.empty()) {
    const ssize_t n = write(bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, std::string(what));
    }
    // A write that takes nothing would otherwise be retried for ever.
    if (n == 0) ThrowErrno(EIO, std::string(what));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

void WriteAll(int fd, std::string_view bytes, std::string_view what) {
  WriteEveryByte(bytes, what, [fd](const char* data, std::size_t size) { return ::write(fd, data, size); });
}

void WriteAll(int fd, std::string_view bytes, std::string_view what, std::string_view path) {
  try {
    WriteAll(fd, bytes, what);
  } catch (const std::system_error& e) {
    ThrowErrno(e.code().value(), what, path);
  }
}

void WriteAllAt(int fd, std::string_view bytes, off_t& offset, std::string_view what) {
  WriteEveryByte(bytes, what, [fd, &offset](const char* data, std::size_t size) {
    const ssize_t n = ::pwrite(fd, data, size, offset);
    if (n > 0) offset += n;
    return n;
  });
}

Descriptor OpenRegularFile(const std::string& path, int flags, unsigned mode, std::string_view what) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int openFlags = (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const std::string quoted = std::string(what) + " \"" + path + "\"";
  Descriptor fd(::open(path.c_str(), openFlags, static_cast<mode_t>(mode)));
  if (!fd) {
    const int error = errno;
    // A FIFO without a reader, or a device without its driver, refuses a non-blocking open for
    // writing with ENXIO: what the operator needs to hear is that it is no regular file.
    struct stat st {};
    if (error == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      ThrowErrno(EINVAL, quoted + " (not a regular file)");
    }
    ThrowErrno(error, quoted);
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) ThrowErrno(errno, quoted);
  if (!S_ISREG(st.st_mode)) ThrowErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, quoted + " (not a regular file)");
  const int status = ::fcntl(fd.Get(), F_GETFL);
  if (status < 0 || ::fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK) != 0) ThrowErrno(errno, quoted);
  if (truncate && ::ftruncate(fd.Get(), 0) != 0) ThrowErrno(errno, quoted);
  return fd;
}

bool IsNotRegularFileError(int error) noexcept { return error == EINVAL || error == EISDIR; }

}  // namespace corvane::posix
