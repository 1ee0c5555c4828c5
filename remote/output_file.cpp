#include "remote/output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>

#include "remote/socket.h"

namespace corvane {

namespace {

// Never destroyed: workers may still be appending while the process runs its exit handlers.
std::mutex& OutputFileMutex() {
  static std::mutex* const mutex = new std::mutex;
  return *mutex;
}

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void LockExclusive(int fd, const std::string& path) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno(errno, "Cannot lock file " + path);
  }
}

// Writes every byte at the file's end (the descriptor is in append mode).
void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "Cannot write file " + path);
    }
    if (written == 0) ThrowErrno(EIO, "Cannot write file " + path);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

std::string OutputFilePath(std::string_view data_dir) {
  std::string path(data_dir);
  path += '/';
  path += kOutputFileName;
  return path;
}

std::string FormatOutputBlock(std::string_view date_time_text, std::string_view command,
                              std::string_view host, std::string_view result) {
  std::string block;
  block.reserve(160 + date_time_text.size() + command.size() + host.size() + result.size());
  block += kOutputBlockStars;
  block += "\r\n";
  block += date_time_text;
  block += "\r\n";
  block += "Command: ";
  block += command;
  block += "\r\n";
  block += "Host: ";
  block += host;
  block += "\r\n";
  block += kOutputBlockRule;
  block += "\r\n";
  block += "Result: \r\n";
  block += result;
  block += "\r\n";
  block += kOutputBlockStars;
  block += "\r\n\r\n";
  return block;
}

void AppendOutputBlock(const std::string& path, std::string_view block) {
  std::lock_guard process_lock(OutputFileMutex());
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd.Valid()) ThrowErrno(errno, "Cannot open file " + path);
  LockExclusive(fd.Get(), path);  // released when the descriptor closes
  const off_t old_size = ::lseek(fd.Get(), 0, SEEK_END);
  if (old_size < 0) ThrowErrno(errno, "Cannot open file " + path);
  try {
    WriteAll(fd.Get(), block, path);
  } catch (...) {
    // Take a partly written block back; the earlier content stays as it was.
    [[maybe_unused]] const int rc = ::ftruncate(fd.Get(), old_size);
    throw;
  }
}

}  // namespace corvane
