#include "remote/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>

#include "posix/descriptor.h"
#include "posix/locked_append.h"

namespace corvane {

namespace {

// Never destroyed: workers may still be appending while the process runs its exit handlers.
struct AppendState {
  std::mutex fileMutex;  // one append at a time in this process
  std::mutex countMutex;
  std::condition_variable idle;
  int inProgress = 0;
  bool closing = false;  // the process is ending: no new append starts
  bool ended = false;    // the wait for the appends in progress is over
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
  ~WaitForAppendsAtExit() { EndAppendsForExit(); }
};
WaitForAppendsAtExit wait_for_appends_at_exit;

// Counts one append for WaitForAppendsAtExit.
class AppendInProgress {
 public:
  explicit AppendInProgress(const std::string& path) {
    AppendState& s = State();
    std::lock_guard lock(s.countMutex);
    if (s.closing) posix::ThrowErrno(ECANCELED, "The process is ending: " + path);
    ++s.inProgress;
  }
  ~AppendInProgress() {
    AppendState& s = State();
    std::lock_guard lock(s.countMutex);
    if (--s.inProgress == 0) s.idle.notify_all();
  }
  AppendInProgress(const AppendInProgress&) = delete;
  AppendInProgress& operator=(const AppendInProgress&) = delete;
};

using posix::ThrowErrno;

// A writer waits for the file rather than dropping its block, however long another holds it.
constexpr posix::LockWait kOutputLockWait = posix::LockWait::WithoutLimit();

// Writes every byte at `offset`.
void WriteAt(int fd, std::string_view bytes, off_t& offset, const std::string& path) {
  posix::WriteAllAt(fd, bytes, offset, "Cannot write file " + path);
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

// Opens the output file for appending: an existing regular file (also through a link), or a new
// one (owner only). Anything else (a device, a FIFO, a socket, a directory, a link that leads
// nowhere) is refused; a device or a FIFO is seen for what it is before it is opened at all.
posix::Descriptor OpenOutputFile(const std::string& path) {
  const auto refuse = [&](const std::system_error& e) {
    const int error = e.code().value();
    const char* const kind = posix::IsNotRegularFileError(error) ? " (not a regular file)" : "";
    ThrowErrno(error, "Cannot open file " + path + kind);
  };
  for (int attempt = 0; attempt < 3; ++attempt) {
    // O_PATH opens nothing but the name.
    const posix::Descriptor named(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!named) {
      if (errno != ENOENT) ThrowErrno(errno, "Cannot open file " + path);
      try {
        return posix::OpenRegularFile(path, O_RDWR | O_CREAT | O_EXCL, 0600);
      } catch (const std::system_error& e) {
        if (e.code().value() == EEXIST) continue;  // made meanwhile, or a link that leads nowhere
        refuse(e);
      }
    }
    struct stat st {};
    if (::fstat(named.Get(), &st) != 0) ThrowErrno(errno, "Cannot open file " + path);
    if (!S_ISREG(st.st_mode)) {
      ThrowErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "Cannot open file " + path + " (not a regular file)");
    }
    try {
      return posix::OpenRegularFile(path, O_RDWR);
    } catch (const std::system_error& e) {
      refuse(e);
    }
  }
  ThrowErrno(ENOENT, "Cannot open file " + path);  // a link that leads nowhere
}

// Where the record of an append to the opened file lives: beside the file itself (its real name,
// whatever link it was opened through), so that every writer of that file finds the same record.
struct RecordPlace {
  std::string record;  // "." + name + ".append"
  std::string body;    // the record's copy of the block's middle part
};

std::optional<RecordPlace> RecordPlaceOf(int fd, const struct stat& st) {
  if (st.st_nlink == 0) return std::nullopt;  // removed meanwhile: no name to keep a record beside
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::string real(PATH_MAX, '\0');
  const ssize_t n = ::readlink(self.c_str(), real.data(), real.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= real.size() || real[0] != '/') return std::nullopt;
  real.resize(static_cast<std::size_t>(n));
  const auto slash = real.find_last_of('/');
  const std::string dir = slash == 0 ? std::string() : real.substr(0, slash);
  RecordPlace place;
  place.record = dir + "/." + real.substr(slash + 1) + ".append";
  place.body = place.record + ".body";
  return place;
}

void DropRecord(const RecordPlace& place) noexcept {
  ::unlink(place.record.c_str());
  ::unlink(place.body.c_str());
}

// A regular file opened for reading only, never following a link; invalid when there is none.
posix::Descriptor OpenRecordFile(const std::string& path, std::uint64_t* size) {
  posix::Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat st {};
  if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return posix::Descriptor();
  *size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

// True when `size` bytes of `a` at `a_offset` equal those of `b` at `b_offset`.
bool SameBytes(int a, std::uint64_t a_offset, int b, std::uint64_t b_offset, std::uint64_t size) {
  constexpr std::size_t kChunk = 1024 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(2 * kChunk);
  char* const left = buffer.get();
  char* const right = buffer.get() + kChunk;
  while (size > 0) {
    const std::size_t want = size < kChunk ? static_cast<std::size_t>(size) : kChunk;
    if (::pread(a, left, want, static_cast<off_t>(a_offset)) != static_cast<ssize_t>(want)) return false;
    if (::pread(b, right, want, static_cast<off_t>(b_offset)) != static_cast<ssize_t>(want)) return false;
    if (std::memcmp(left, right, want) != 0) return false;
    a_offset += want;
    b_offset += want;
    size -= want;
  }
  return true;
}

// Cuts off what a writer that died left of its block, and only that; returns the length to
// append at. The record is acted on only when it names the opened file (device and inode), the
// file's length lies strictly between the recorded start and end, and the file from the recorded
// start to its end is, byte for byte, the beginning of the block that the record holds (the block
// starts with its first line there): then it is the dead writer's own fragment, which nobody
// changed since. Otherwise the file is left alone. The record is dropped in either case.
off_t RemoveDeadWritersFragment(int fd, const struct stat& st, const RecordPlace& place, const std::string& path) {
  std::uint64_t record_size = 0;
  const posix::Descriptor record = OpenRecordFile(place.record, &record_size);
  if (!record.Valid()) {
    DropRecord(place);
    return st.st_size;
  }
  OutputAppendRecord header{};
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const bool proven = [&] {
    if (::pread(record.Get(), &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) return false;
    if (std::memcmp(header.magic, kOutputRecordMagic, sizeof header.magic) != 0) return false;
    if (header.device != static_cast<std::uint64_t>(st.st_dev) ||
        header.inode != static_cast<std::uint64_t>(st.st_ino)) {
      return false;
    }
    constexpr std::uint64_t kMost = std::uint64_t{1} << 62;
    if (header.frontSize > kMost || header.bodySize > kMost || header.backSize > kMost) return false;
    if (record_size != sizeof header + header.frontSize + header.backSize) return false;
    if (header.start > kMost ||
        header.end != header.start + header.frontSize + header.bodySize + header.backSize) {
      return false;
    }
    if (!(header.start < size && size < header.end)) return false;
    // The block begins with its first line.
    const std::string first_line = std::string(kOutputBlockStars) + "\r\n";
    if (header.frontSize < first_line.size()) return false;
    std::string front_start(first_line.size(), '\0');
    if (::pread(record.Get(), front_start.data(), front_start.size(), sizeof header) !=
            static_cast<ssize_t>(front_start.size()) ||
        front_start != first_line) {
      return false;
    }
    // The file from the start on is the beginning of the recorded block.
    std::uint64_t left = size - header.start;
    std::uint64_t at = header.start;
    const std::uint64_t front = std::min(left, header.frontSize);
    if (!SameBytes(fd, at, record.Get(), sizeof header, front)) return false;
    at += front;
    left -= front;
    if (left > 0 && header.bodySize > 0) {
      std::uint64_t body_file_size = 0;
      const posix::Descriptor body = OpenRecordFile(place.body, &body_file_size);
      if (!body.Valid() || body_file_size != header.bodySize) return false;
      const std::uint64_t middle = std::min(left, header.bodySize);
      if (!SameBytes(fd, at, body.Get(), 0, middle)) return false;
      at += middle;
      left -= middle;
    }
    return left == 0 || SameBytes(fd, at, record.Get(), sizeof header + header.frontSize, left);
  }();
  DropRecord(place);
  if (!proven) return st.st_size;
  if (::ftruncate(fd, static_cast<off_t>(header.start)) != 0) ThrowErrno(errno, "Cannot write file " + path);
  return static_cast<off_t>(header.start);
}

// The parts of a block: its front (`head` and then `text`) and its `back` are kept in the record
// itself, the `bodySize` bytes of `bodyFd` (from offset 0) beside it.
struct BlockParts {
  std::string_view head;
  std::string_view text;
  int bodyFd = -1;
  std::uint64_t bodySize = 0;
  std::string_view back;
};

// Writes the record of the append about to start at `start`; false when it cannot be written (the
// append then goes ahead without it).
bool WriteRecord(const RecordPlace& place, const struct stat& st, off_t start, const BlockParts& parts) noexcept {
  try {
    DropRecord(place);
    if (parts.bodySize > 0) {
      // The body is given a name where the file system allows it, else copied.
      const std::string self = "/proc/self/fd/" + std::to_string(parts.bodyFd);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, place.body.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        posix::Descriptor body(
            ::open(place.body.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (!body.Valid()) return false;
        off_t offset = 0;
        CopyAt(parts.bodyFd, parts.bodySize, body.Get(), offset, place.body);
      }
    }
    OutputAppendRecord header{};
    std::memcpy(header.magic, kOutputRecordMagic, sizeof header.magic);
    header.device = static_cast<std::uint64_t>(st.st_dev);
    header.inode = static_cast<std::uint64_t>(st.st_ino);
    header.start = static_cast<std::uint64_t>(start);
    header.frontSize = parts.head.size() + parts.text.size();
    header.bodySize = parts.bodySize;
    header.backSize = parts.back.size();
    header.end = header.start + header.frontSize + header.bodySize + header.backSize;
    // Written whole under a temporary name and then renamed into place: a record is complete or
    // absent.
    const std::string temporary = place.record + ".new";
    ::unlink(temporary.c_str());
    posix::Descriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
      DropRecord(place);
      return false;
    }
    off_t offset = 0;
    WriteAt(fd.Get(), std::string_view(reinterpret_cast<const char*>(&header), sizeof header), offset, temporary);
    WriteAt(fd.Get(), parts.head, offset, temporary);
    WriteAt(fd.Get(), parts.text, offset, temporary);
    WriteAt(fd.Get(), parts.back, offset, temporary);
    if (::rename(temporary.c_str(), place.record.c_str()) != 0) {
      ::unlink(temporary.c_str());
      DropRecord(place);
      return false;
    }
    return true;
  } catch (...) {
    ::unlink((place.record + ".new").c_str());
    DropRecord(place);
    return false;
  }
}

// One append of the block made of `parts`, written by `write` from the given offset on.
void Append(const std::string& path, const BlockParts& parts, const posix::AppendWrite& write) {
  const AppendInProgress counted(path);
  std::lock_guard processLock(State().fileMutex);
  const posix::Descriptor fd = OpenOutputFile(path);
  // The record of the append is written under the lock, before the block, and dropped, whether
  // the block went in or was taken back, while the lock is still held.
  std::optional<RecordPlace> place;
  bool recorded = false;
  const auto start = [&](const struct stat& st) {
    place = RecordPlaceOf(fd.Get(), st);
    const off_t begin = place ? RemoveDeadWritersFragment(fd.Get(), st, *place, path) : st.st_size;
    recorded = place && WriteRecord(*place, st, begin, parts);
    return begin;
  };
  try {
    posix::LockedAppend(fd.Get(), kOutputLockWait, {"Cannot lock file " + path, "Cannot open file " + path}, write,
                        start);
  } catch (...) {
    if (recorded) DropRecord(*place);
    throw;
  }
  if (recorded) DropRecord(*place);
}

}  // namespace

std::string OutputFilePath(std::string_view data_dir) {
  std::string path(data_dir);
  path += '/';
  path += kOutputFileName;
  return path;
}

std::string FormatOutputBlockHead(std::string_view date_time_text, std::string_view command,
                                  std::string_view host) {
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

std::string FormatOutputBlock(std::string_view date_time_text, std::string_view command, std::string_view host,
                              std::string_view result) {
  std::string block = FormatOutputBlockHead(date_time_text, command, host);
  block += result;
  block += OutputBlockTail();
  return block;
}

void AppendOutputBlock(const std::string& path, std::string_view block) {
  Append(path, BlockParts{block, {}, -1, 0, {}}, [&](int fd, off_t& offset) { WriteAt(fd, block, offset, path); });
}

void AppendOutputBlock(const std::string& path, std::string_view head, int body_fd, std::uint64_t body_size,
                       std::string_view tail) {
  Append(path, BlockParts{head, {}, body_fd, body_size, tail}, [&](int fd, off_t& offset) {
    WriteAt(fd, head, offset, path);
    CopyAt(body_fd, body_size, fd, offset, path);
    WriteAt(fd, tail, offset, path);
  });
}

void AppendOutputBlock(const std::string& path, std::string_view head, std::string_view body,
                       std::string_view tail) {
  Append(path, BlockParts{head, body, -1, 0, tail}, [&](int fd, off_t& offset) {
    WriteAt(fd, head, offset, path);
    WriteAt(fd, body, offset, path);
    WriteAt(fd, tail, offset, path);
  });
}

void EndAppendsForExit() noexcept {
  AppendState& s = State();
  std::unique_lock lock(s.countMutex);
  s.closing = true;
  if (s.ended) return;
  s.idle.wait_for(lock, kExitWait, [&] { return s.inProgress == 0; });
  s.ended = true;
}

int AppendsInProgress() noexcept {
  AppendState& s = State();
  std::lock_guard lock(s.countMutex);
  return s.inProgress;
}

}  // namespace corvane
