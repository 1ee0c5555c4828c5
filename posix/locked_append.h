// Appending a block to a file that other processes append to as well: under an exclusive flock()
// taken as a wait policy says, starting where the file ends, and taken back whole when it cannot
// be written whole.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace corvane::posix {

// How long an append waits for the lock that another holder of the file keeps.
class LockWait {
 public:
  // Waits as long as the holder keeps the lock (an interrupted wait is resumed).
  static constexpr LockWait WithoutLimit() noexcept { return LockWait(0, std::chrono::milliseconds(0)); }
  // Tries at once and then again every `retryEvery`, for at most `limit` in all; the lock is then
  // refused with EWOULDBLOCK. At least one attempt is made.
  static constexpr LockWait AtMost(std::chrono::milliseconds limit,
                                   std::chrono::milliseconds retryEvery) noexcept {
    const auto every = retryEvery.count() > 0 ? retryEvery : std::chrono::milliseconds(1);
    const auto attempts = limit.count() > every.count() ? limit.count() / every.count() : 1;
    return LockWait(static_cast<int>(attempts), every);
  }

  bool Limited() const noexcept { return attempts_ > 0; }
  // The number of attempts of a limited wait (0: no limit) and the pause after each that fails.
  int Attempts() const noexcept { return attempts_; }
  std::chrono::milliseconds RetryEvery() const noexcept { return retryEvery_; }

 private:
  constexpr LockWait(int attempts, std::chrono::milliseconds retryEvery) noexcept
      : attempts_(attempts), retryEvery_(retryEvery) {}

  int attempts_;
  std::chrono::milliseconds retryEvery_;
};

// Takes the exclusive flock() on `fd` as `wait` says; the lock lasts until the descriptor is
// closed. Throws std::system_error with the text `what`: the error of flock(), or EWOULDBLOCK when
// a limited wait ran out.
void LockExclusive(int fd, LockWait wait, const std::string& what);

// What the failures of the locked append itself say; the block's write reports its own.
struct AppendTexts {
  std::string lockFailed;    // the lock was not taken (EWOULDBLOCK: the wait ran out)
  std::string statusFailed;  // the file's status (its length) could not be read
};

// Writes the block from `offset` on (the file's descriptor is given) and moves `offset` past it.
using AppendWrite = std::function<void(int fd, off_t& offset)>;
// Says where the block starts, given the file's status under the lock (by default its end).
using AppendStart = std::function<off_t(const struct stat& status)>;

// Appends one block to the file open at `fd`: takes the exclusive lock as `wait` says (it stays
// held until the descriptor is closed, so that what the caller does after the append is covered
// too), reads the file's status, lets `start` say where the block starts, and calls `write`. When
// `write` throws, the file is cut back to where the block started, so that it keeps exactly its
// earlier content, and the exception goes on.
void LockedAppend(int fd, LockWait wait, const AppendTexts& texts, const AppendWrite& write,
                  const AppendStart& start = {});

}  // namespace corvane::posix
