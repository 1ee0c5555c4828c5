#include "remote/output_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>

#include "remote/socket.h"

namespace corvane {

namespace {

// Never destroyed: workers may still be appending while the process runs its exit handlers.
struct AppendState {
  std::mutex file_mutex;  // one append at a time in this process
  std::mutex count_mutex;
  std::condition_variable idle;
  int in_progress = 0;
  bool closing = false;  // the process is ending: no new append starts
};

AppendState& State() {
  // In static storage and never destroyed: no heap block that a leak checker could see orphaned
  // once the library is unloaded.
  alignas(AppendState) static unsigned char storage[sizeof(AppendState)];
  static AppendState* const state = new (storage) AppendState;
  return *state;
}

// The normal end of the process (exit(), the end of main, unloading the library) waits for the
// appends in progress, so that none is cut off half-way.
class WaitForAppendsAtExit {
 public:
  ~WaitForAppendsAtExit() {
    AppendState& s = State();
    std::unique_lock lock(s.count_mutex);
    s.closing = true;
    s.idle.wait_for(lock, kExitWait, [&] { return s.in_progress == 0; });
  }
};
WaitForAppendsAtExit wait_for_appends_at_exit;

// Counts one append for WaitForAppendsAtExit.
class AppendInProgress {
 public:
  explicit AppendInProgress(const std::string& path) {
    AppendState& s = State();
    std::lock_guard lock(s.count_mutex);
    if (s.closing) throw std::system_error(ECANCELED, std::generic_category(), "The process is ending: " + path);
    ++s.in_progress;
  }
  ~AppendInProgress() {
    AppendState& s = State();
    std::lock_guard lock(s.count_mutex);
    if (--s.in_progress == 0) s.idle.notify_all();
  }
  AppendInProgress(const AppendInProgress&) = delete;
  AppendInProgress& operator=(const AppendInProgress&) = delete;
};

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

void LockExclusive(int fd, const std::string& path) {
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) ThrowErrno(errno, "Cannot lock file " + path);
  }
}

// Writes every byte at `offset`.
void WriteAt(int fd, std::string_view bytes, off_t& offset, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "Cannot write file " + path);
    }
    if (written == 0) ThrowErrno(EIO, "Cannot write file " + path);
    bytes.remove_prefix(static_cast<std::size_t>(written));
    offset += written;
  }
}

// Copies `size` bytes of `from` (from its offset 0) to `to` at `offset`: in the kernel where the
// file systems allow it, else through a buffer of 1 MiB.
void CopyAt(int from, std::uint64_t size, int to, off_t& offset, const std::string& path) {
  loff_t in = 0;
  while (size > 0) {
    loff_t out = offset;
    const ssize_t n = ::copy_file_range(from, &in, to, &out, size, 0);
    if (n > 0) {
      offset = out;
      size -= static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
      ThrowErrno(errno, "Cannot write file " + path);
    }
    break;  // no in-kernel copy here (or the source ended early): go on below
  }
  if (size == 0) return;
  constexpr std::size_t kChunk = 1024 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
  while (size > 0) {
    const ssize_t n = ::pread(from, buffer.get(), size < kChunk ? size : kChunk, in);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(errno, "Cannot write file " + path);
    }
    if (n == 0) ThrowErrno(EIO, "Cannot write file " + path);  // the source is shorter than said
    WriteAt(to, std::string_view(buffer.get(), static_cast<std::size_t>(n)), offset, path);
    in += n;
    size -= static_cast<std::uint64_t>(n);
  }
}

// The side record of an append in progress.
struct AppendRecord {
  char magic[8];
  std::uint64_t device;
  std::uint64_t inode;
  std::uint64_t start;
  std::uint64_t end;
};
constexpr char kRecordMagic[8] = {'C', 'o', 'r', 'v', 'A', 'p', 'p', '1'};

std::string RecordPathOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return dir + "/." + name + ".append";
}

// Cuts off what a writer that died left of its block; returns the length to append at.
off_t RemoveDeadWritersFragment(int fd, const struct stat& st, const std::string& record_path,
                                const std::string& path) {
  const int record_fd = ::open(record_path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (record_fd < 0) return st.st_size;
  AppendRecord record{};
  const ssize_t n = ::pread(record_fd, &record, sizeof record, 0);
  ::close(record_fd);
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (n == static_cast<ssize_t>(sizeof record) && std::memcmp(record.magic, kRecordMagic, sizeof kRecordMagic) == 0 &&
      record.device == static_cast<std::uint64_t>(st.st_dev) && record.inode == static_cast<std::uint64_t>(st.st_ino) &&
      record.start < size && size < record.end) {
    if (::ftruncate(fd, static_cast<off_t>(record.start)) != 0) ThrowErrno(errno, "Cannot write file " + path);
    return static_cast<off_t>(record.start);
  }
  return st.st_size;
}

void WriteRecord(const std::string& record_path, const struct stat& st, off_t start, std::uint64_t block_size) {
  AppendRecord record{};
  std::memcpy(record.magic, kRecordMagic, sizeof kRecordMagic);
  record.device = static_cast<std::uint64_t>(st.st_dev);
  record.inode = static_cast<std::uint64_t>(st.st_ino);
  record.start = static_cast<std::uint64_t>(start);
  record.end = record.start + block_size;
  FileDescriptor fd(::open(record_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd.Valid()) ThrowErrno(errno, "Cannot create file " + record_path);
  off_t offset = 0;
  WriteAt(fd.Get(), std::string_view(reinterpret_cast<const char*>(&record), sizeof record), offset, record_path);
}

// One append of `block_size` bytes, written by `write` from the given offset on.
void Append(const std::string& path, std::uint64_t block_size, const std::function<void(int, off_t&)>& write) {
  const AppendInProgress counted(path);
  std::lock_guard process_lock(State().file_mutex);
  FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.Valid()) ThrowErrno(errno, "Cannot open file " + path);
  LockExclusive(fd.Get(), path);  // released when the descriptor closes
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) ThrowErrno(errno, "Cannot open file " + path);
  const std::string record_path = RecordPathOf(path);
  const off_t start = RemoveDeadWritersFragment(fd.Get(), st, record_path, path);
  WriteRecord(record_path, st, start, block_size);
  off_t offset = start;
  try {
    write(fd.Get(), offset);
  } catch (...) {
    // Take a partly written block back; the earlier content stays as it was.
    [[maybe_unused]] const int rc = ::ftruncate(fd.Get(), start);
    ::unlink(record_path.c_str());
    throw;
  }
  ::unlink(record_path.c_str());
}

}  // namespace

std::string OutputFilePath(std::string_view data_dir) {
  std::string path(data_dir);
  path += '/';
  path += kOutputFileName;
  return path;
}

std::string FormatOutputBlockHead(std::string_view date_time_text, std::string_view command, std::string_view host) {
  std::string head;
  head.reserve(160 + date_time_text.size() + command.size() + host.size());
  head += kOutputBlockStars;
  head += "\r\n";
  head += date_time_text;
  head += "\r\n";
  head += "Command: ";
  head += command;
  head += "\r\n";
  head += "Host: ";
  head += host;
  head += "\r\n";
  head += kOutputBlockRule;
  head += "\r\n";
  head += "Result: \r\n";
  return head;
}

std::string OutputBlockTail() {
  std::string tail = "\r\n";
  tail += kOutputBlockStars;
  tail += "\r\n\r\n";
  return tail;
}

std::string FormatOutputBlock(std::string_view date_time_text, std::string_view command,
                              std::string_view host, std::string_view result) {
  std::string block = FormatOutputBlockHead(date_time_text, command, host);
  block += result;
  block += OutputBlockTail();
  return block;
}

void AppendOutputBlock(const std::string& path, std::string_view block) {
  Append(path, block.size(), [&](int fd, off_t& offset) { WriteAt(fd, block, offset, path); });
}

void AppendOutputBlock(const std::string& path, std::string_view head, int body_fd, std::uint64_t body_size,
                       std::string_view tail) {
  Append(path, head.size() + body_size + tail.size(), [&](int fd, off_t& offset) {
    WriteAt(fd, head, offset, path);
    CopyAt(body_fd, body_size, fd, offset, path);
    WriteAt(fd, tail, offset, path);
  });
}

int AppendsInProgress() noexcept {
  AppendState& s = State();
  std::lock_guard lock(s.count_mutex);
  return s.in_progress;
}

}  // namespace corvane
