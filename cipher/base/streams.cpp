#include "cipher/base/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "cipher/base/support.h"

namespace corvane {

TMemoryStream::~TMemoryStream() { SecureWipe(data_); }

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  const std::int64_t n = std::min(count, Size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, std::size_t(n));
  pos_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) data_.resize(std::size_t(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, std::size_t(count));
  pos_ += count;
  return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(std::size_t(std::max<std::int64_t>(size, 0)));
  if (pos_ > Size()) pos_ = Size();
}

TFileStream::TFileStream(const std::string& name, Mode mode) : name_(name) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::ReadOnly: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd;
  do {
    fd = ::open(name.c_str(), flags, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) posix::ThrowErrno(errno, mode == Mode::Create ? "Cannot create file" : "Cannot open file", name);
  fd_.Reset(fd);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  auto* p = static_cast<std::uint8_t*>(buffer);
  while (total < count) {
    const ssize_t n = ::read(fd_.Get(), p + total, std::size_t(count - total));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) posix::ThrowErrno(errno, "Read error on", name_);
    if (n == 0) break;
    total += n;
  }
  return total;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  posix::WriteAll(fd_.Get(), std::string_view(static_cast<const char*>(buffer), std::size_t(count)),
                  "Write error on", name_);
  return count;
}

std::int64_t TFileStream::Position() const {
  const off_t p = ::lseek(fd_.Get(), 0, SEEK_CUR);
  return p < 0 ? 0 : std::int64_t(p);
}

void TFileStream::SetPosition(std::int64_t position) {
  if (::lseek(fd_.Get(), off_t(std::max<std::int64_t>(position, 0)), SEEK_SET) < 0)
    posix::ThrowErrno(errno, "Seek error on", name_);
}

std::int64_t TFileStream::Size() const {
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) return 0;
  return std::int64_t(st.st_size);
}

void TFileStream::SetSize(std::int64_t size) {
  if (::ftruncate(fd_.Get(), off_t(std::max<std::int64_t>(size, 0))) != 0)
    posix::ThrowErrno(errno, "Cannot set the size of", name_);
}

}  // namespace corvane
