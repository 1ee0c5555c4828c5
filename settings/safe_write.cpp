#include "settings/safe_write.h"

#include <dirent.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <string_view>
#include <utility>
#include <vector>

#include "posix/descriptor.h"
#include "posix/locked_append.h"

namespace corvane {
namespace {

constexpr std::string_view kCannotCreate = "Cannot create file";

[[noreturn]] void Fail(const std::string& path, int error) { posix::ThrowErrno(error, kCannotCreate, path); }

// Closes the descriptor and removes the temporary file unless Release() was called.
class TempFile {
 public:
  TempFile(posix::Descriptor fd, std::string name) : fd_(std::move(fd)), name_(std::move(name)) {}
  TempFile(TempFile&& other) noexcept
      : fd_(std::move(other.fd_)),
        name_(std::move(other.name_)),
        released_(std::exchange(other.released_, true)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.Reset();
    if (!released_) ::unlink(name_.c_str());
  }
  int Get() const noexcept { return fd_.Get(); }
  const std::string& Name() const noexcept { return name_; }
  void Close() noexcept { fd_.Reset(); }
  void Release() noexcept { released_ = true; }

 private:
  posix::Descriptor fd_;
  std::string name_;
  bool released_ = false;
};

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that `path` names once symbolic links are followed (the path itself when it is no
// link). A link to a missing file gives that file's path, so the first save creates it there.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno == ENOENT) return current;
      Fail(path, errno);
    }
    if (!S_ISLNK(st.st_mode)) return current;
    std::vector<char> link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0) Fail(path, errno);
    if (static_cast<std::size_t>(n) >= link.size()) Fail(path, ENAMETOOLONG);  // changed meanwhile
    const std::string target(link.data(), static_cast<std::size_t>(n));
    if (!target.empty() && target.front() == '/') {
      current = target;
    } else {
      const auto slash = current.find_last_of('/');
      current = slash == std::string::npos ? target : current.substr(0, slash + 1) + target;
    }
  }
  Fail(path, ELOOP);
}

// What a save puts between the file name and the six random characters of its temporary file.
// No other program names its files so (rsync, for one, uses "." + name + "." + six characters), so
// the cleanup never takes another program's file.
constexpr std::string_view kTemporaryMark = ".corvane-save-";
constexpr std::size_t kTemporaryRandomCharacters = 6;

// The name a save of `base` gives its temporary file: "." + base + kTemporaryMark + six letters
// or digits.
bool IsTemporaryNameOf(std::string_view name, std::string_view base) noexcept {
  const std::size_t prefix = 1 + base.size() + kTemporaryMark.size();
  if (name.size() != prefix + kTemporaryRandomCharacters) return false;
  if (name[0] != '.' || name.substr(1, base.size()) != base ||
      name.substr(1 + base.size(), kTemporaryMark.size()) != kTemporaryMark) {
    return false;
  }
  for (const char c : name.substr(prefix)) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return false;
  }
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the temporary files that interrupted saves of `base` left in `dir`. A save holds an
// exclusive lock on its temporary file from its creation to its rename, so a file whose lock can
// be taken belongs to no running save. The name is checked to still be the locked file before it
// is removed, so a save that has just created a file of that name keeps it.
void RemoveStaleTemporaryFiles(const std::string& dir, const std::string& base) noexcept {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  const int dirFd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    if (!IsTemporaryNameOf(entry->d_name, base)) continue;
    const posix::Descriptor fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) continue;
    struct stat locked {};
    struct stat named {};
    if (::fstat(fd.Get(), &locked) == 0 && S_ISREG(locked.st_mode) && ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(locked, named)) {
      ::unlinkat(dirFd, entry->d_name, 0);
    }
  }
  ::closedir(listing);
}

// Creates the temporary file for a save of `path` and locks it (see RemoveStaleTemporaryFiles).
// A file that a cleaner removed between its creation and the lock is made again.
TempFile CreateLockedTemporary(const std::string& path, const std::string& dir) {
  const std::string pattern =
      dir + "/." + BaseNameOf(path) + std::string(kTemporaryMark) + std::string(kTemporaryRandomCharacters, 'X');
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    posix::Descriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) Fail(path, errno);
    TempFile temp(std::move(fd), std::string(name.data()));
    // Nobody else holds a new file's lock but a cleaner that has just opened it, and only for a
    // moment: the save waits for it.
    posix::LockExclusive(temp.Get(), posix::LockWait::WithoutLimit(),
                         std::string(kCannotCreate) + " \"" + path + "\"");
    struct stat own {};
    struct stat named {};
    if (::fstat(temp.Get(), &own) != 0) Fail(path, errno);
    if (::lstat(temp.Name().c_str(), &named) == 0 && SameFile(own, named)) return temp;
    temp.Release();  // the name is gone or is another file now: not ours to remove
  }
  Fail(path, EEXIST);
}

void SyncDirectory(const std::string& dir) {
  const posix::Descriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return;  // the rename is done; a directory that cannot be opened is not fatal
  ::fsync(fd.Get());
}

}  // namespace

void SafeWriteFile(const std::string& requested_path, std::string_view bytes) {
  if (requested_path.empty()) Fail(requested_path, ENOENT);
  // A settings file linked in from elsewhere is replaced where it really lives; renaming over the
  // link would cut it and leave a private copy behind.
  const std::string path = FollowLinks(requested_path);

  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat old_stat {};
  if (::stat(path.c_str(), &old_stat) == 0) {
    if (S_ISDIR(old_stat.st_mode)) Fail(path, EISDIR);
    // Renaming over a FIFO or a device node would replace the node itself.
    if (!S_ISREG(old_stat.st_mode)) Fail(path, EINVAL);
    mode = old_stat.st_mode & 07777;
  } else if (errno != ENOENT) {
    Fail(path, errno);
  }

  const std::string dir = DirectoryOf(path);
  RemoveStaleTemporaryFiles(dir, BaseNameOf(path));
  TempFile temp = CreateLockedTemporary(path, dir);

  if (::fchmod(temp.Get(), mode) != 0) Fail(path, errno);
  posix::WriteAll(temp.Get(), bytes, std::string(kCannotCreate) + " \"" + path + "\"");
  if (::fsync(temp.Get()) != 0) Fail(path, errno);
  // Renamed while still open, and so still locked: no cleaner can take it in between.
  if (::rename(temp.Name().c_str(), path.c_str()) != 0) Fail(path, errno);
  temp.Release();
  temp.Close();
  SyncDirectory(dir);
}

}  // namespace corvane
