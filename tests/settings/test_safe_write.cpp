#include "settings/safe_write.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <system_error>
#include <vector>

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

TEST(SafeWrite, ASymbolicLinkIsWrittenThroughNotReplaced) {
  // An operator may keep the settings files elsewhere and link them into the program's
  // directory; a save must reach the linked file, not cut the link and leave a private copy.
  TempDir dir;
  std::filesystem::create_directory(dir.File("shared"));
  const std::string target = dir.File("shared/CorvaneEnv.ini");
  WriteBytes(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  struct Case {
    const char* what;
    std::string link;
    std::string points_to;
  };
  const Case cases[] = {
      {"absolute link", dir.File("CorvaneEnv.ini"), target},
      {"relative link", dir.File("CorvaneJob.ini"), "shared/CorvaneEnv.ini"},
      {"link to a link", dir.File("CorvaneSchd.ini"), "CorvaneJob.ini"},
  };
  for (const auto& c : cases) {
    std::filesystem::create_symlink(c.points_to, c.link);
    const std::string bytes = std::string("[") + c.what + "]\r\n\r\n";
    SafeWriteFile(c.link, bytes);
    EXPECT_TRUE(std::filesystem::is_symlink(c.link)) << c.what;
    EXPECT_EQ(ReadBytes(target), bytes) << c.what;
    EXPECT_EQ(ModeOf(target), 0640u) << c.what;
  }
  EXPECT_EQ(EntriesIn(dir.path()), 4u);
  EXPECT_EQ(EntriesIn(dir.File("shared")), 1u);

  // A link to a file that does not exist yet creates that file.
  const std::string dangling = dir.File("dangling.ini");
  std::filesystem::create_symlink("shared/new.ini", dangling);
  SafeWriteFile(dangling, "new");
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_EQ(ReadBytes(dir.File("shared/new.ini")), "new");
  EXPECT_EQ(ModeOf(dir.File("shared/new.ini")), 0600u);

  // A loop of links is an error, and nothing is written.
  std::filesystem::create_symlink("loop-b", dir.File("loop-a"));
  std::filesystem::create_symlink("loop-a", dir.File("loop-b"));
  EXPECT_THROW(SafeWriteFile(dir.File("loop-a"), "x"), std::system_error);
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("loop-a")));
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

// An interrupted save leaves its temporary file behind; the next save of the same file removes
// exactly those that no running save holds, and nothing of any other file or of any other program
// (rsync's in-flight ".NAME.XXXXXX" files among them).
TEST(SafeWrite, TheNextSaveRemovesStaleTemporaryFilesOfThatFileOnly) {
  TempDir dir;
  const std::string path = dir.File("CorvaneSchd.ini");
  WriteBytes(path, "old");
  const std::vector<std::string> stale = {".CorvaneSchd.ini.corvane-save-AbC123",
                                          ".CorvaneSchd.ini.corvane-save-zzzzzz"};
  const std::vector<std::string> kept = {".CorvaneEnv.ini.corvane-save-AbC123",
                                         ".CorvaneSchd.ini.corvane-save-AbC12",
                                         "CorvaneSchd.ini.corvane-save-AbC123",
                                         ".CorvaneSchd.ini.corvane-save-AbC-23",
                                         ".CorvaneSchd.ini.corvane-save-Held42",
                                         ".CorvaneSchd.ini.AbC123",
                                         ".CorvaneSchd.ini.zzzzzz",
                                         ".CorvaneSchd.ini.corvane-save-AbC1234"};
  for (const auto& name : stale) WriteBytes(dir.File(name), "cut short");
  for (const auto& name : kept) WriteBytes(dir.File(name), "not stale");
  // A save in progress (another thread or process) holds the lock on its temporary file.
  const int held = ::open(dir.File(".CorvaneSchd.ini.corvane-save-Held42").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  SafeWriteFile(path, "new");
  ::close(held);

  EXPECT_EQ(ReadBytes(path), "new");
  for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const auto& name : kept) EXPECT_EQ(ReadBytes(dir.File(name)), "not stale") << name;
  EXPECT_EQ(EntriesIn(dir.path()), 1 + kept.size());
}

// A save killed part-way leaves a temporary file of its own form, which the next save removes; an
// rsync transfer's in-flight file and an unlocked file of that form, which another program may
// hold open, stay as they are.
TEST(SafeWrite, AKilledSavesTemporaryFileIsRemovedAndOtherProgramsFilesStay) {
  TempDir dir;
  const std::string path = dir.File("CorvaneEnv.ini");
  WriteBytes(path, "old");
  const std::vector<std::string> others = {".CorvaneEnv.ini.7V1Pdv", ".CorvaneEnv.ini.abcdef"};
  for (const auto& name : others) WriteBytes(dir.File(name), "another program's");

  // The child exceeds a file-size limit while writing its temporary file and dies of SIGXFSZ.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit no_core {};
    ::setrlimit(RLIMIT_CORE, &no_core);
    std::signal(SIGXFSZ, SIG_DFL);
    struct rlimit small {};
    ::getrlimit(RLIMIT_FSIZE, &small);
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    try {
      SafeWriteFile(path, std::string(100000, 'B'));
    } catch (...) {
    }
    ::_exit(0);  // not reached when the limit kills the save
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;

  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "CorvaneEnv.ini" && name != others[0] && name != others[1]) left.push_back(name);
  }
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind(".CorvaneEnv.ini.corvane-save-", 0), 0u) << left[0];
  EXPECT_EQ(left[0].size(), std::string(".CorvaneEnv.ini.corvane-save-").size() + 6) << left[0];
  EXPECT_EQ(ReadBytes(path), "old");

  SafeWriteFile(path, "new");
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_FALSE(std::filesystem::exists(dir.File(left[0])));
  for (const auto& name : others) EXPECT_EQ(ReadBytes(dir.File(name)), "another program's") << name;
  EXPECT_EQ(EntriesIn(dir.path()), 1 + others.size());
}

// Renaming over a FIFO or a device node (directly or through a link) would replace the node; the
// save is refused and the node stays.
TEST(SafeWrite, ATargetThatIsNoRegularFileIsRefused) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> targets = {fifo};
  const std::string device = dir.File("zero");
  if (::mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0) {  // /dev/zero's numbers
    const std::string link = dir.File("linked.ini");
    ASSERT_EQ(::symlink(device.c_str(), link.c_str()), 0);
    targets.push_back(link);
  }
  for (const auto& target : targets) {
    SCOPED_TRACE(target);
    EXPECT_THROW(SafeWriteFile(target, "x"), std::system_error);
  }
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (targets.size() > 1) {
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  EXPECT_EQ(EntriesIn(dir.path()), targets.size() + (targets.size() > 1 ? 1 : 0));
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
