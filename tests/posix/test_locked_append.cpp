#include "posix/locked_append.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "posix/descriptor.h"
#include "settings/settings_test_util.h"

namespace corvane::posix {
namespace {

const AppendTexts kTexts{"Cannot lock \"f\"", "Cannot stat \"f\""};

// Another process that holds the exclusive lock of a file until it is let go.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) {
    int locked[2];
    int release[2];
    if (::pipe(locked) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      // Only async-signal-safe calls here: the child of a test process.
      ::close(locked[0]);
      ::close(release[1]);
      const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
      if (::write(locked[1], &ok, 1) != 1) ::_exit(2);
      char any;
      while (::read(release[0], &any, 1) < 0 && errno == EINTR) {
      }
      ::_exit(0);  // the lock ends with the process
    }
    ::close(locked[1]);
    ::close(release[0]);
    release_.Reset(release[1]);
    const Descriptor answer(locked[0]);
    char ok = 'n';
    while (::read(answer.Get(), &ok, 1) < 0 && errno == EINTR) {
    }
    holding_ = ok == 'y';
  }
  ~LockHolder() { LetGo(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool Holding() const noexcept { return holding_; }
  // Ends the holder and waits for it: the lock is free afterwards.
  void LetGo() {
    if (pid_ <= 0) return;
    release_.Reset();
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  Descriptor release_;
  bool holding_ = false;
};

class LockedAppendTest : public ::testing::Test {
 protected:
  void SetUp() override { test::WriteBytes(path_, "earlier\n"); }

  std::string Content() const { return test::ReadBytes(path_); }
  Descriptor Open() const { return OpenRegularFile(path_, O_RDWR); }
  // Appends `block` at the offset the append gives, under `wait`.
  void Append(LockWait wait, std::string_view block) const {
    const Descriptor fd = Open();
    LockedAppend(fd.Get(), wait, kTexts, [&](int file, off_t& offset) { WriteAllAt(file, block, offset); });
  }

  test::TempDir dir_;
  std::string path_ = dir_.File("log.txt");
};

TEST_F(LockedAppendTest, LimitedWaitGivesUpWhileAnotherProcessHoldsTheLock) {
  LockHolder holder(path_);
  ASSERT_TRUE(holder.Holding());
  try {
    Append(LockWait::AtMost(std::chrono::milliseconds(50), std::chrono::milliseconds(5)), "block\n");
    ADD_FAILURE() << "appended under another process's lock";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EWOULDBLOCK);
    EXPECT_EQ(std::string(e.what()).rfind(kTexts.lockFailed, 0), 0u) << e.what();
  }
  EXPECT_EQ(Content(), "earlier\n");

  holder.LetGo();
  Append(LockWait::AtMost(std::chrono::milliseconds(50), std::chrono::milliseconds(5)), "block\n");
  EXPECT_EQ(Content(), "earlier\nblock\n");
}

TEST_F(LockedAppendTest, UnlimitedWaitAppendsOnceTheHolderLetsGo) {
  LockHolder holder(path_);
  ASSERT_TRUE(holder.Holding());
  std::atomic<bool> done = false;
  std::optional<std::string> failure;
  std::thread waiting([&] {
    try {
      Append(LockWait::WithoutLimit(), "block\n");
    } catch (const std::exception& e) {
      failure = e.what();
    }
    done = true;
  });
  // Longer than any limited wait of the program (the log gives up after about a second): the
  // append without limit is still waiting, and has written nothing.
  const LockWait longer = LockWait::AtMost(std::chrono::milliseconds(1500), std::chrono::milliseconds(50));
  EXPECT_EQ(longer.Attempts(), 30);
  EXPECT_THROW(Append(longer, "other\n"), std::system_error);
  EXPECT_FALSE(done);
  EXPECT_EQ(Content(), "earlier\n");

  holder.LetGo();
  waiting.join();
  EXPECT_FALSE(failure) << *failure;
  EXPECT_EQ(Content(), "earlier\nblock\n");
}

TEST_F(LockedAppendTest, StartsWhereTheCallerSaysAndTakesAFailedBlockBack) {
  {
    const Descriptor fd = Open();
    off_t seen = -1;
    // The status handed over is the file's under the lock; the block starts where `start` says.
    LockedAppend(
        fd.Get(), LockWait::WithoutLimit(), kTexts,
        [](int file, off_t& offset) { WriteAllAt(file, "er\nblock\n", offset); },
        [&](const struct stat& status) {
          seen = status.st_size;
          return status.st_size - 3;
        });
    EXPECT_EQ(seen, 8);
  }
  EXPECT_EQ(Content(), "earlier\nblock\n");

  // A block that fails half-way is cut off again: the file keeps exactly what it had.
  const Descriptor fd = Open();
  EXPECT_THROW(LockedAppend(fd.Get(), LockWait::WithoutLimit(), kTexts,
                            [](int file, off_t& offset) {
                              WriteAllAt(file, "half a blo", offset);
                              throw std::runtime_error("disk full");
                            }),
               std::runtime_error);
  EXPECT_EQ(Content(), "earlier\nblock\n");
}

TEST(LockWait, AtMostMakesAtLeastOneAttempt) {
  EXPECT_FALSE(LockWait::WithoutLimit().Limited());
  const LockWait second = LockWait::AtMost(std::chrono::seconds(1), std::chrono::milliseconds(10));
  EXPECT_TRUE(second.Limited());
  EXPECT_EQ(second.Attempts(), 100);
  EXPECT_EQ(second.RetryEvery(), std::chrono::milliseconds(10));
  EXPECT_EQ(LockWait::AtMost(std::chrono::milliseconds(0), std::chrono::milliseconds(10)).Attempts(), 1);
  EXPECT_EQ(LockWait::AtMost(std::chrono::milliseconds(5), std::chrono::milliseconds(0)).Attempts(), 5);
}

}  // namespace
}  // namespace corvane::posix
