#include "settings/safe_write.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace corvane {
namespace {

[[noreturn]] void Fail(const std::string& path, int error) {
  throw std::system_error(error, std::generic_category(), "Cannot create file \"" + path + "\"");
}

// Closes the descriptor and removes the temporary file unless Release() was called.
class TempFile {
 public:
  TempFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!released_) ::unlink(name_.c_str());
  }
  int fd() const noexcept { return fd_; }
  const std::string& name() const noexcept { return name_; }
  // Closes the descriptor; returns 0 or the errno of close().
  int Close() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
  }
  void Release() noexcept { released_ = true; }

 private:
  int fd_;
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

void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // the rename is done; a directory that cannot be opened is not fatal
  ::fsync(fd);
  ::close(fd);
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
    mode = old_stat.st_mode & 07777;
  } else if (errno != ENOENT) {
    Fail(path, errno);
  }

  const std::string dir = DirectoryOf(path);
  std::string pattern = dir + "/." + BaseNameOf(path) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) Fail(path, errno);
  TempFile temp(fd, std::string(name.data()));

  if (::fchmod(temp.fd(), mode) != 0) Fail(path, errno);

  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(temp.fd(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(path, errno);
    }
    if (n == 0) Fail(path, EIO);
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(temp.fd()) != 0) Fail(path, errno);
  if (const int error = temp.Close(); error != 0) Fail(path, error);

  if (::rename(temp.name().c_str(), path.c_str()) != 0) Fail(path, errno);
  temp.Release();
  SyncDirectory(dir);
}

}  // namespace corvane
