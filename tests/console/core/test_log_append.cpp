#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "console/core/scheduler_worker.h"
#include "posix/descriptor.h"
#include "settings/settings_test_util.h"

namespace corvane {
namespace {

TEST(LogAppend, GivesUpOnALockAnotherWriterKeepsAndLeavesTheLogAsItWas) {
  const test::TempDir dir;
  const std::string path = LogFilePath(dir.path().string());
  AppendLogBlock(path, "earlier\r\n");
  // Another writer (another open file description, as another process would have) holds the lock
  // longer than the log waits: the block fails instead of stalling the scheduler.
  posix::Descriptor other(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  ASSERT_TRUE(other.Valid());
  ASSERT_EQ(::flock(other.Get(), LOCK_EX), 0);
  try {
    AppendLogBlock(path, "lost\r\n");
    ADD_FAILURE() << "the block went in while another writer held the log";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EWOULDBLOCK);
    EXPECT_EQ(std::string(e.what()).rfind("Cannot lock log file \"" + path + "\"", 0), 0u) << e.what();
  }
  EXPECT_EQ(test::ReadBytes(path), "earlier\r\n");

  ASSERT_EQ(::flock(other.Get(), LOCK_UN), 0);
  AppendLogBlock(path, "next\r\n");
  EXPECT_EQ(test::ReadBytes(path), "earlier\r\nnext\r\n");
}

}  // namespace
}  // namespace corvane
