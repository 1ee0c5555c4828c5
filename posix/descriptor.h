// The bottom of the dependency order: owning a POSIX descriptor, turning errno into an exception,
// writing a whole buffer, and opening a file only when it is a regular file. Qt-free, and free of
// every other module of the project.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace corvane::posix {

// Owns one open descriptor and closes it when it goes out of scope. Moves, never copies.
class Descriptor {
 public:
  Descriptor() noexcept = default;
  explicit Descriptor(int fd) noexcept : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const noexcept { return fd_; }
  bool Valid() const noexcept { return fd_ >= 0; }
  explicit operator bool() const noexcept { return Valid(); }
  // Gives the descriptor up without closing it.
  int Release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held (if any) and takes `fd` instead.
  void Reset(int fd = -1) noexcept;

 private:
  int fd_ = -1;
};

// Throws std::system_error for `error` (an errno value) with the text `what`.
[[noreturn]] void ThrowErrno(int error, const std::string& what);
// The same with the text `what` " \"" path "\"", the form every file failure of the project takes.
[[noreturn]] void ThrowErrno(int error, std::string_view what, std::string_view path);

// Writes all of `bytes` at the descriptor's position, retrying short writes and EINTR. Throws
// std::system_error with the text `what`: the write's errno, or EIO when a write takes nothing.
void WriteAll(int fd, std::string_view bytes, std::string_view what = "Cannot write");
// The same with the text `what` " \"" path "\"", put together only when the write fails.
void WriteAll(int fd, std::string_view bytes, std::string_view what, std::string_view path);
// The same at `offset` (the descriptor's position stays), which is moved past every byte written.
void WriteAllAt(int fd, std::string_view bytes, off_t& offset, std::string_view what = "Cannot write");

// Opens `path` with `flags` (O_RDONLY, O_WRONLY or O_RDWR, with O_APPEND, O_CREAT, O_EXCL as
// wanted) and, where it is created, `mode`, but only when it is a regular file: a FIFO, a device,
// a socket or a directory is refused without waiting for anything (the open is non-blocking and
// takes no controlling terminal; the descriptor is blocking again when handed back). A symbolic
// link to a regular file is followed. O_TRUNC is applied only after the type was checked, so a
// device is never truncated. Throws std::system_error: the open's own errno, or EISDIR for a
// directory and EINVAL for any other file that is not regular, with the text
// `what` "\"" path "\"" (and " (not a regular file)" for those two; a FIFO without a reader
// opened for writing is one of them too, not the open's ENXIO).
Descriptor OpenRegularFile(const std::string& path, int flags, unsigned mode = 0600,
                           std::string_view what = "Cannot open file");

// True when `error` (an errno value) is the one OpenRegularFile gives for a file that is not a
// regular file (EINVAL, EISDIR).
bool IsNotRegularFileError(int error) noexcept;

}  // namespace corvane::posix
