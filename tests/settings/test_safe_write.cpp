#include "settings/safe_write.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <system_error>

#include "settings/settings_test_util.h"

namespace corvane {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

unsigned ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::size_t EntriesIn(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

TEST(SafeWrite, NewFileGetsMode0600AndExactBytes) {
  TempDir dir;
  const std::string path = dir.File("CorvaneEnv.ini");
  const mode_t old_umask = ::umask(0);  // even a permissive umask must not widen the mode
  SafeWriteFile(path, AllBytes());
  ::umask(old_umask);
  EXPECT_EQ(ReadBytes(path), AllBytes());
  EXPECT_EQ(ModeOf(path), 0600u);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(SafeWrite, ExistingFileIsReplacedAndKeepsItsMode) {
  TempDir dir;
  const std::string path = dir.File("CorvaneJob.ini");
  WriteBytes(path, std::string(5000, 'x'));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  SafeWriteFile(path, "[a]\r\n\r\n");
  EXPECT_EQ(ReadBytes(path), "[a]\r\n\r\n");
  EXPECT_EQ(ModeOf(path), 0640u);
  SafeWriteFile(path, "");
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(SafeWrite, RelativePathWritesIntoTheWorkingDirectory) {
  TempDir dir;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  SafeWriteFile("plain.ini", "abc");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(ReadBytes(dir.File("plain.ini")), "abc");
}

// Every failure throws and leaves the directory exactly as it was.
TEST(SafeWrite, FailuresReportAndLeaveTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("CorvaneSchd.ini");
  const std::string old_bytes = "[s]\r\nactive=MQ==\r\n\r\n";
  WriteBytes(path, old_bytes);

  struct Case {
    const char* what;
    std::string target;
  };
  std::filesystem::create_directory(dir.File("a-directory"));
  const Case cases[] = {
      {"missing directory", dir.File("missing/CorvaneSchd.ini")},
      {"a directory in the file's place", dir.File("a-directory")},
      {"empty path", ""},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(SafeWriteFile(c.target, "new"), std::system_error) << c.what;
  }
  EXPECT_EQ(ReadBytes(path), old_bytes);
  EXPECT_EQ(EntriesIn(dir.path()), 2u);
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("a-directory")));
}

TEST(SafeWrite, WriteFailingPartWayLeavesTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("CorvaneEnv.ini");
  const std::string old_bytes = "[prod]\r\nRHost=aG9zdA==\r\n\r\n";
  WriteBytes(path, old_bytes);

  // A file-size limit stops the write part-way (EFBIG), the way a full disk stops it (ENOSPC);
  // this works for every user, root included.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  int code = 0;
  std::string message;
  try {
    SafeWriteFile(path, std::string(100000, 'B'));
  } catch (const std::system_error& e) {
    code = e.code().value();
    message = e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_EQ(code, EFBIG);
  EXPECT_EQ(message.rfind("Cannot create file \"" + path + "\"", 0), 0u) << message;
  EXPECT_EQ(ReadBytes(path), old_bytes);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);  // no temporary file left behind
}

TEST(SafeWrite, UnwritableDirectoryLeavesTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  TempDir dir;
  const std::string path = dir.File("CorvaneJob.ini");
  WriteBytes(path, "old");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0500), 0);
  EXPECT_THROW(SafeWriteFile(path, "new"), std::system_error);
  ::chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

}  // namespace
}  // namespace corvane
