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

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "Cannot write");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

Descriptor OpenRegularFile(const std::string& path, int flags, unsigned mode, std::string_view what) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int open_flags = (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const std::string quoted = std::string(what) + " \"" + path + "\"";
  Descriptor fd(::open(path.c_str(), open_flags, static_cast<mode_t>(mode)));
  if (!fd) ThrowErrno(errno, quoted);
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
