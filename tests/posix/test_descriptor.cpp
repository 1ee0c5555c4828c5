#include "posix/descriptor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <csignal>
#include <unistd.h>

namespace corvane::posix {
namespace {

namespace fs = std::filesystem;

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-posix-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static int ErrorOf(const std::string& path, int flags) {
    try {
      OpenRegularFile(path, flags);
    } catch (const std::system_error& e) {
      return e.code().value();
    }
    return 0;
  }

  fs::path dir_;
};

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(Descriptor, ClosesOnceWhenItsOwnerEnds) {
  int raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(raw, 0);
  {
    Descriptor first(raw);
    Descriptor second(std::move(first));
    EXPECT_FALSE(first.Valid());
    EXPECT_EQ(second.Get(), raw);
    Descriptor third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  raw = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  Descriptor released(raw);
  EXPECT_EQ(released.Release(), raw);
  released.Reset();
  EXPECT_TRUE(IsOpen(raw));
  ::close(raw);
}

TEST_F(PosixFiles, OpensRegularFilesAndLinksToThem) {
  const std::string file = Path("output.txt");
  {
    const mode_t old_mask = ::umask(022);
    Descriptor fd = OpenRegularFile(file, O_WRONLY | O_APPEND | O_CREAT, 0600);
    ::umask(old_mask);
    WriteAll(fd.Get(), std::string_view("first\n"));
    // Handed back blocking, as ordinary writes expect.
    EXPECT_EQ(::fcntl(fd.Get(), F_GETFL) & O_NONBLOCK, 0);
  }
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  fs::create_symlink(file, Path("link.txt"));
  {
    Descriptor fd = OpenRegularFile(Path("link.txt"), O_WRONLY | O_APPEND);
    WriteAll(fd.Get(), std::string_view("second\n"));
  }
  EXPECT_EQ(Read(file), "first\nsecond\n");

  { Descriptor fd = OpenRegularFile(file, O_WRONLY | O_TRUNC); }
  EXPECT_EQ(Read(file), "");
}

TEST_F(PosixFiles, RefusesEveryOtherKindWithoutWaiting) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink("/dev/null", Path("null-link"));
  fs::create_directory(Path("folder"));

  // A FIFO without a writer opened for reading would block a plain open; one without a reader
  // opened for writing fails at once. Neither may wait or be taken, and both are named for what
  // they are.
  EXPECT_EQ(ErrorOf(fifo, O_RDONLY), EINVAL);
  EXPECT_EQ(ErrorOf(fifo, O_WRONLY | O_APPEND), EINVAL);
  EXPECT_EQ(ErrorOf("/dev/null", O_WRONLY | O_APPEND | O_TRUNC), EINVAL);
  EXPECT_EQ(ErrorOf(Path("null-link"), O_WRONLY | O_APPEND | O_CREAT), EINVAL);
  EXPECT_EQ(ErrorOf(Path("folder"), O_RDONLY), EISDIR);
  EXPECT_EQ(ErrorOf(Path("missing"), O_RDONLY), ENOENT);
  EXPECT_TRUE(IsNotRegularFileError(EINVAL));
  EXPECT_FALSE(IsNotRegularFileError(ENOENT));

  try {
    OpenRegularFile(fifo, O_RDONLY, 0600, "Cannot open the log");
    ADD_FAILURE() << "a FIFO was opened";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open the log \"" + fifo + "\" (not a regular file)"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(PosixFiles, WriteAllWritesEveryByteOfALargeBuffer) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  Descriptor reader(ends[0]);
  const std::string file = Path("big");
  const std::string bytes(3 * 1024 * 1024 + 7, 'x');
  {
    Descriptor fd = OpenRegularFile(file, O_WRONLY | O_CREAT);
    WriteAll(fd.Get(), bytes);
  }
  EXPECT_EQ(Read(file), bytes);
  // A closed reading end: the failure is reported, not swallowed.
  Descriptor writer(ends[1]);
  reader.Reset();
  ::signal(SIGPIPE, SIG_IGN);
  try {
    WriteAll(writer.Get(), std::string_view("lost"));
    ADD_FAILURE() << "a write into a closed pipe succeeded";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EPIPE);
  }
  try {
    WriteAll(writer.Get(), std::string_view("lost"), "Write error on", "the pipe");
    ADD_FAILURE() << "a write into a closed pipe succeeded";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EPIPE);
    EXPECT_EQ(std::string(e.what()).rfind("Write error on \"the pipe\"", 0), 0u) << e.what();
  }
}

TEST_F(PosixFiles, WriteAllAtWritesAtItsOffsetAndReportsInItsOwnWords) {
  const std::string file = Path("record");
  {
    Descriptor fd = OpenRegularFile(file, O_RDWR | O_CREAT);
    WriteAll(fd.Get(), std::string_view("0123456789"));
    off_t offset = 2;
    WriteAllAt(fd.Get(), "ab", offset);
    EXPECT_EQ(offset, 4);
    // The descriptor's own position is not moved.
    EXPECT_EQ(::lseek(fd.Get(), 0, SEEK_CUR), 10);
  }
  EXPECT_EQ(Read(file), "01ab456789");

  Descriptor readOnly = OpenRegularFile(file, O_RDONLY);
  off_t offset = 0;
  try {
    WriteAllAt(readOnly.Get(), "x", offset, "Cannot write file " + file);
    ADD_FAILURE() << "a read-only descriptor took a write";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EBADF);
    EXPECT_EQ(std::string(e.what()).rfind("Cannot write file " + file + ": ", 0), 0u) << e.what();
  }
  EXPECT_EQ(offset, 0);
  try {
    ThrowErrno(EACCES, "Cannot open file", "/a b");
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EACCES);
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"/a b\": ", 0), 0u) << e.what();
  }
}

}  // namespace
}  // namespace corvane::posix
