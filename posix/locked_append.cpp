#include "posix/locked_append.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "posix/descriptor.h"

namespace corvane::posix {

void LockExclusive(int fd, LockWait wait, const std::string& what) {
  if (!wait.Limited()) {
    while (::flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) ThrowErrno(errno, what);
    }
    return;
  }
  for (int attempt = 0; attempt < wait.Attempts(); ++attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    if (errno != EWOULDBLOCK && errno != EINTR) ThrowErrno(errno, what);
    std::this_thread::sleep_for(wait.RetryEvery());
  }
  ThrowErrno(EWOULDBLOCK, what);
}

void LockedAppend(int fd, LockWait wait, const AppendTexts& texts, const AppendWrite& write,
                  const AppendStart& start) {
  LockExclusive(fd, wait, texts.lockFailed);
  struct stat status {};
  if (::fstat(fd, &status) != 0) ThrowErrno(errno, texts.statusFailed);
  const off_t begin = start ? start(status) : status.st_size;
  off_t offset = begin;
  try {
    write(fd, offset);
  } catch (...) {
    // Nothing more can be done when the cut fails too; the write's own failure is what is reported.
    [[maybe_unused]] const int cut = ::ftruncate(fd, begin);
    throw;
  }
}

}  // namespace corvane::posix
