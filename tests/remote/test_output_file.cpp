// The output file and the background worker: the block layout byte for byte, appends that wait for
// other writers and never tear or mix, and BackgroundJobWorker against Debian's real rexec and rsh servers.
#include "remote/output_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "remote/fake_server.h"
#include "remote/real_peers.h"
#include "remote/stored_settings.h"
#include "remote/background_job_worker.h"

namespace corvane {
namespace {

using test::ReadWholeFile;
using test::TempDataDir;

constexpr LocalDateTime kRunTime{2024, 3, 5, 14, 7, 9, 250};

std::string ExpectedBlock(std::string_view date_time, std::string_view command, std::string_view host,
                          std::string_view line7) {
  return "*************************************\r\n" + std::string(date_time) +
         "\r\nCommand: " + std::string(command) + "\r\nHost: " + std::string(host) +
         "\r\n-------------------------------------\r\nResult: \r\n" + std::string(line7) +
         "\r\n*************************************\r\n\r\n";
}

TEST(OutputBlock, LayoutByteForByte) {
  EXPECT_EQ(FormatOutputBlock("2024-03-05 14:07:09", "echo x", "host1", "x\r\n"),
            "*************************************\r\n"
            "2024-03-05 14:07:09\r\n"
            "Command: echo x\r\n"
            "Host: host1\r\n"
            "-------------------------------------\r\n"
            "Result: \r\n"
            "x\r\n"
            "\r\n"
            "*************************************\r\n"
            "\r\n");
  EXPECT_EQ(OutputFilePath("/data/dir"), "/data/dir/output.txt");
}

TEST(OutputFile, FirstBlockCreatesTheFileLaterBlocksGoToItsEnd) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  AppendOutputBlock(path, "first\r\n");
  EXPECT_EQ(ReadWholeFile(path), "first\r\n");
  AppendOutputBlock(path, std::string("second\0\xFF\r\n", 10));
  EXPECT_EQ(ReadWholeFile(path), std::string("first\r\nsecond\0\xFF\r\n", 17));
}

TEST(OutputFile, AFileThatCannotBeOpenedIsAnErrorAndNothingIsCreated) {
  TempDataDir dir;
  const std::string path = dir.File("no-such-dir/output.txt");
  try {
    AppendOutputBlock(path, "block");
    FAIL() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file " + path), std::string::npos) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-dir")));
}

TEST(OutputFile, WaitsForAnotherWriterInsteadOfDroppingItsBlock) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  AppendOutputBlock(path, "earlier\r\n");
  // Another writer (another open file description, as another process would have) holds the lock.
  posix::Descriptor other(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  ASSERT_TRUE(other.Valid());
  ASSERT_EQ(::flock(other.Get(), LOCK_EX), 0);
  auto append = std::async(std::launch::async, [&] { AppendOutputBlock(path, "waited\r\n"); });
  EXPECT_EQ(append.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
      << "the append went ahead while another writer held the file";
  ASSERT_EQ(::write(other.Get(), "other\r\n", 7), 7);
  ASSERT_EQ(::flock(other.Get(), LOCK_UN), 0);
  append.get();
  EXPECT_EQ(ReadWholeFile(path), "earlier\r\nother\r\nwaited\r\n");
}

TEST(OutputFile, ABlockThatCannotBeWrittenWholeIsTakenBack) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  const std::string earlier(1000, 'e');
  AppendOutputBlock(path, earlier);
  // A file size limit lets the write go 100 bytes into the block and then fail.
  rlimit old_limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old_limit;
  limit.rlim_cur = earlier.size() + 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  bool failed = false;
  try {
    AppendOutputBlock(path, std::string(5000, 'b'));
  } catch (const std::system_error& e) {
    failed = e.code().value() == EFBIG;
  }
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old_limit), 0);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_TRUE(failed) << "the short write was not reported";
  EXPECT_EQ(ReadWholeFile(path), earlier) << "a torn block stayed in the file";
}

TEST(OutputFile, ConcurrentAppendsStayWholeAndUnmixed) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  constexpr int kWriters = 8;
  constexpr int kBlocksEach = 25;
  auto block_of = [](int writer, int n) {
    std::string line = "writer " + std::to_string(writer) + " block " + std::to_string(n) + "\r\n";
    std::string block;
    for (int i = 0; i < 200 * (n % 7 + 1); ++i) block += line;
    return FormatOutputBlock("2024-03-05", "cmd", "host", block);
  };
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int n = 0; n < kBlocksEach; ++n) AppendOutputBlock(path, block_of(w, n));
    });
  }
  for (std::thread& t : writers) t.join();
  const std::vector<std::string> blocks = test::SplitBlocks(ReadWholeFile(path).value_or(""));
  std::multiset<std::string> got(blocks.begin(), blocks.end());
  std::multiset<std::string> expected;
  for (int w = 0; w < kWriters; ++w) {
    for (int n = 0; n < kBlocksEach; ++n) expected.insert(block_of(w, n));
  }
  EXPECT_EQ(blocks.size(), static_cast<std::size_t>(kWriters * kBlocksEach));
  EXPECT_TRUE(got == expected) << "blocks were torn, mixed or lost";
}

// ---- Whole blocks only, whatever happens to the writer ------------------------------------------

std::uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// Waits (bounded) until the file has grown past `size`; false when it did not.
bool WaitForGrowth(const std::string& path, std::uint64_t size) {
  for (int i = 0; i < 200000; ++i) {
    if (FileSize(path) > size) return true;
    ::usleep(50);
  }
  return false;
}

std::string BigBlock(char fill) { return FormatOutputBlock("d", "c", "h", std::string(128 * 1024 * 1024, fill)); }

// A writer killed in the middle of its block leaves a fragment; the next writer removes exactly
// that fragment and nothing before it, and a block that the killed writer had finished stays.
TEST(OutputFile, TheNextWriterRemovesWhatAKilledWriterLeft) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  std::string expected = FormatOutputBlock("d", "c", "h", "earlier");
  AppendOutputBlock(path, expected);
  const std::string big = BigBlock('k');
  int cut_blocks = 0;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::uint64_t before = FileSize(path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      AppendOutputBlock(path, big);
      ::_exit(0);
    }
    const bool grew = WaitForGrowth(path, before);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(grew);
    const std::uint64_t left = FileSize(path);
    if (left == before + big.size()) {
      expected += big;  // the block was finished before the kill landed
    } else {
      ++cut_blocks;
    }
    const std::string next = FormatOutputBlock("d", "c", "h", "after round " + std::to_string(round));
    AppendOutputBlock(path, next);
    expected += next;
    ASSERT_EQ(FileSize(path), expected.size());
  }
  EXPECT_TRUE(ReadWholeFile(path) == expected) << "a fragment or an earlier block is wrong";
  EXPECT_GT(cut_blocks, 0) << "no kill landed in the middle of a block";
  EXPECT_FALSE(std::filesystem::exists(dir.File(".output.txt.append")));
}

// A process that ends normally (exit()) while a block is being appended finishes that block.
TEST(OutputFile, ANormalExitDuringAnAppendFinishesTheBlock) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  std::string expected = FormatOutputBlock("d", "c", "h", "earlier");
  AppendOutputBlock(path, expected);
  const std::string big = BigBlock('x');
  int exits_mid_block = 0;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::uint64_t before = FileSize(path);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(report[0]);
      std::thread([&] { AppendOutputBlock(path, big); }).detach();
      WaitForGrowth(path, before);
      const std::uint64_t seen = FileSize(path);
      [[maybe_unused]] const ssize_t n = ::write(report[1], &seen, sizeof seen);
      std::exit(0);
    }
    ::close(report[1]);
    std::uint64_t seen = 0;
    const ssize_t n = ::read(report[0], &seen, sizeof seen);
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(n, static_cast<ssize_t>(sizeof seen));
    EXPECT_TRUE(WIFEXITED(status));
    if (seen > before && seen < before + big.size()) ++exits_mid_block;
    expected += big;
    ASSERT_EQ(FileSize(path), expected.size()) << "the block was cut at the exit";
  }
  EXPECT_TRUE(ReadWholeFile(path) == expected);
  EXPECT_GT(exits_mid_block, 0) << "no exit came in the middle of a block";
}

// ---- What the output file may be ---------------------------------------------------------------

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(OutputFile, ANewFileIsForItsOwnerOnlyAndALinkToARegularFileIsFollowed) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  const mode_t old_mask = ::umask(0);
  AppendOutputBlock(path, "first\r\n");
  ::umask(old_mask);
  EXPECT_EQ(ModeOf(path), 0600u);
  const std::string linked = dir.File("linked.txt");
  ASSERT_EQ(::symlink(path.c_str(), linked.c_str()), 0);
  AppendOutputBlock(linked, "second\r\n");
  EXPECT_EQ(ReadWholeFile(path), "first\r\nsecond\r\n");
}

// A loop device over a small image of zeros, detached again at the end.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) : image_(image) {
    {
      std::ofstream out(image, std::ios::binary);
      out << std::string(kSize, '\0');
    }
    const std::string command = "losetup --find --show '" + image + "' 2>/dev/null";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char line[256] = {};
      if (std::fgets(line, sizeof line, pipe) != nullptr) device_ = line;
      ::pclose(pipe);
    }
    while (!device_.empty() && (device_.back() == '\n' || device_.back() == ' ')) device_.pop_back();
  }
  ~LoopDevice() {
    if (!device_.empty()) {
      const std::string command = "losetup --detach '" + device_ + "'";
      [[maybe_unused]] const int rc = std::system(command.c_str());
    }
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  const std::string& Device() const { return device_; }
  bool ImageIsUntouched() const { return ReadWholeFile(image_) == std::string(kSize, '\0'); }

  static constexpr std::size_t kSize = 1024 * 1024;

 private:
  std::string image_;
  std::string device_;
};

// What is not a regular file is refused at once (no wait, no write), and nothing is written
// through it.
TEST(OutputFile, ADeviceAFifoOrADirectoryIsRefusedAndNothingIsWritten) {
  TempDataDir dir;
  LoopDevice loop(dir.File("image"));
  struct Case {
    std::string name;
    std::string target;  // a link to it, or empty: the output file is made by `make`
  };
  std::vector<Case> cases = {{"a link to /dev/null", "/dev/null"}, {"a FIFO", ""}, {"a directory", ""}};
  if (!loop.Device().empty()) cases.push_back({"a link to a loop device", loop.Device()});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDataDir data;
    const std::string path = OutputFilePath(data.Path());
    if (c.name == "a FIFO") {
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    } else if (c.name == "a directory") {
      ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    } else {
      ASSERT_EQ(::symlink(c.target.c_str(), path.c_str()), 0);
    }
    auto append = std::async(std::launch::async, [&] {
      try {
        AppendOutputBlock(path, FormatOutputBlock("d", "c", "h", "secret output"));
      } catch (const std::system_error& e) {
        return std::string(e.what());
      }
      return std::string("written");
    });
    ASSERT_EQ(append.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the append hangs";
    const std::string outcome = append.get();
    EXPECT_NE(outcome.find("Cannot open file " + path), std::string::npos) << outcome;
    EXPECT_FALSE(std::filesystem::exists(data.File(".output.txt.append")));
  }
  EXPECT_TRUE(loop.ImageIsUntouched()) << "the block went to the device";
  if (loop.Device().empty()) {
    GTEST_SKIP() << "no loop device could be set up here (losetup failed); the other cases ran";
  }
}

// ---- The append record: acted on only for the dead writer's own fragment ------------------------

struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

FileIdentity IdentityOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Writes a record of an append of `block` to the file at `path` from `start` on, as a writer
// would have left it.
void WriteHandMadeRecord(const std::string& record_path, const std::string& path, std::uint64_t start,
                         const std::string& block) {
  const FileIdentity id = IdentityOf(path);
  OutputAppendRecord header{};
  std::memcpy(header.magic, kOutputRecordMagic, sizeof header.magic);
  header.device = id.device;
  header.inode = id.inode;
  header.start = start;
  header.end = start + block.size();
  header.frontSize = block.size();
  std::ofstream out(record_path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out << block;
}

TEST(OutputRecord, AHandMadeRecordWithStartZeroDoesNotEraseTheHistory) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  const std::string history =
      FormatOutputBlock("d1", "c1", "h", "first") + FormatOutputBlock("d2", "c2", "h", "second");
  AppendOutputBlock(path, history);
  // The record claims a block from offset 0 on that would end past the file's end.
  WriteHandMadeRecord(dir.File(".output.txt.append"), path, 0,
                      FormatOutputBlock("d0", "c0", "h", std::string(history.size(), 'z')));
  const std::string next = FormatOutputBlock("d3", "c3", "h", "third");
  AppendOutputBlock(path, next);
  EXPECT_EQ(ReadWholeFile(path), history + next);
  EXPECT_FALSE(std::filesystem::exists(dir.File(".output.txt.append"))) << "the record was not dropped";
}

// Kills a child in the middle of appending `big` to `path`; returns the file's content after the
// kill, or nothing when every try finished its block before the kill landed.
std::optional<std::string> KillAWriterMidBlock(const std::string& path, const std::string& big) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string before = ReadWholeFile(path).value_or("");
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
      AppendOutputBlock(path, big);
      ::_exit(0);
    }
    const bool grew = WaitForGrowth(path, before.size());
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!grew) return std::nullopt;
    const std::string after = ReadWholeFile(path).value_or("");
    if (after.size() < before.size() + big.size()) return after;
    // The block was finished: take it off again for the next try.
    if (::truncate(path.c_str(), static_cast<off_t>(before.size())) != 0) return std::nullopt;
  }
  return std::nullopt;
}

TEST(OutputRecord, AStaleRecordAndAnInPlaceRewriteKeepTheOperatorsNotes) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  const std::string history = FormatOutputBlock("d1", "c1", "h", "first");
  AppendOutputBlock(path, history);
  const std::optional<std::string> cut = KillAWriterMidBlock(path, BigBlock('k'));
  ASSERT_TRUE(cut.has_value()) << "no kill landed in the middle of a block";
  ASSERT_TRUE(std::filesystem::exists(dir.File(".output.txt.append")));
  EXPECT_EQ(ModeOf(dir.File(".output.txt.append")), 0600u);
  struct Case {
    const char* name;
    std::string rewritten;
  };
  const std::string notes = "operator's notes\r\n";
  const Case cases[] = {
      {"notes after the fragment", *cut + notes},
      {"notes before the fragment", history + notes + cut->substr(history.size())},
      {"the fragment shortened and notes added", cut->substr(0, cut->size() / 2) + notes},
  };
  const std::string record = ReadWholeFile(dir.File(".output.txt.append")).value_or("");
  ASSERT_FALSE(record.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      // The record the dead writer left, for each case afresh.
      std::ofstream out(dir.File(".output.txt.append"), std::ios::binary);
      out << record;
    }
    const FileIdentity before = IdentityOf(path);
    {
      // An editor saving in place: same file, new content.
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out << c.rewritten;
    }
    ASSERT_EQ(IdentityOf(path).inode, before.inode);
    const std::string next = FormatOutputBlock("d3", "c3", "h", "next");
    AppendOutputBlock(path, next);
    EXPECT_TRUE(ReadWholeFile(path) == c.rewritten + next) << "the rewritten file was cut";
    EXPECT_FALSE(std::filesystem::exists(dir.File(".output.txt.append")));
  }
}

// Two data directories share one output file, through a symbolic or a hard link: a writer
// through one of them dies in the middle of its block, a writer through the other appends a
// block, and a writer through the first appends again. The finished block stays.
TEST(OutputRecord, TwoDataDirectoriesSharingOneFileThroughALinkKeepAFinishedBlock) {
  for (const bool symbolic : {true, false}) {
    SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
    TempDataDir first;
    TempDataDir second;
    const std::string real = OutputFilePath(first.Path());
    const std::string shared = OutputFilePath(second.Path());
    const std::string history = FormatOutputBlock("d1", "c1", "h", "first");
    AppendOutputBlock(real, history);
    ASSERT_EQ(symbolic ? ::symlink(real.c_str(), shared.c_str()) : ::link(real.c_str(), shared.c_str()), 0);
    const std::optional<std::string> cut = KillAWriterMidBlock(shared, BigBlock('s'));
    ASSERT_TRUE(cut.has_value()) << "no kill landed in the middle of a block";
    const std::string through_first = FormatOutputBlock("d2", "through first", "h", "finished");
    AppendOutputBlock(real, through_first);
    const std::string through_second = FormatOutputBlock("d3", "through second", "h", "after");
    AppendOutputBlock(shared, through_second);
    const std::string content = ReadWholeFile(real).value_or("");
    if (symbolic) {
      // Both writers find the record beside the real file: the fragment goes, nothing else.
      EXPECT_TRUE(content == history + through_first + through_second);
    } else {
      // The writer through the first name finds no record and leaves the fragment; the one
      // through the second name finds the fragment no longer at the file's end and leaves it too.
      EXPECT_TRUE(content == *cut + through_first + through_second);
    }
    EXPECT_FALSE(std::filesystem::exists(first.File(".output.txt.append")));
    EXPECT_FALSE(std::filesystem::exists(second.File(".output.txt.append")));
  }
}

RunRequest Request(std::string command, std::string data_dir, std::int32_t protocol = 0) {
  RunRequest r;
  r.CommandText = std::move(command);
  r.RemoteUser = test::kPeerUser;
  r.LocalUser = test::kTrustedLocalUser;
  r.RemotePassword = test::kPeerPassword;
  r.RemoteHost = "127.0.0.1";
  r.DataDir = std::move(data_dir);
  r.ProtocolIndex = protocol;
  return r;
}

TEST(Worker, AnEmptyCommandLeavesTheOutputFileUntouched) {
  TempDataDir dir;
  BackgroundJobWorker(Request("", dir.Path()), RemotePorts{1, 1}).Execute();
  EXPECT_FALSE(std::filesystem::exists(OutputFilePath(dir.Path())));
  AppendOutputBlock(OutputFilePath(dir.Path()), "kept");
  BackgroundJobWorker(Request("", dir.Path()), RemotePorts{1, 1}).Execute();
  EXPECT_EQ(ReadWholeFile(OutputFilePath(dir.Path())), "kept");
}

TEST(Worker, AFailedRunIsRecordedInItsBlock) {
  TempDataDir dir;
  Socket closed = Socket::Create(AF_INET);
  closed.Bind(SocketAddress::Numeric("127.0.0.1", 0));
  const std::uint16_t refusing = closed.LocalAddress().Port();
  closed.Close();
  auto clock = std::make_shared<FixedClock>(kRunTime);
  BackgroundJobWorker(Request("echo x", dir.Path()), RemotePorts{refusing, refusing}, clock).Execute();
  EXPECT_EQ(
      ReadWholeFile(OutputFilePath(dir.Path())),
      ExpectedBlock("2024-03-05 14:07:09", "echo x", "127.0.0.1", "Socket Error # 10061\r\nConnection refused."));
}

// A listener that never accepts: connections are made, and nothing ever answers.
class SilentListener {
 public:
  SilentListener() : socket_(Socket::Create(AF_INET)) {
    socket_.Bind(SocketAddress::Numeric("127.0.0.1", 0));
    socket_.Listen(64);
  }
  std::uint16_t Port() const { return socket_.LocalAddress().Port(); }

 private:
  Socket socket_;
};

// Background runs against a server that never answers end after the status wait, each with its
// block, and leave no thread or descriptor behind.
TEST(Worker, RunsAgainstASilentServerEndWithTheirBlocksAndLeaveNothingBehind) {
  TempDataDir dir;
  SilentListener silent;
  const int fds_before = test::CountEntries("/proc/self/fd");
  const int threads_before = test::CountEntries("/proc/self/task");
  auto clock = std::make_shared<FixedClock>(kRunTime);
  constexpr int kRuns = 20;
  for (int i = 0; i < kRuns; ++i) {
    BackgroundJobWorker::Start(std::make_unique<BackgroundJobWorker>(
        Request("sleep", dir.Path(), i % 2), RemotePorts{silent.Port(), silent.Port()}, clock,
        RunLimits{std::chrono::milliseconds(300), kDefaultOutputLimit}));
  }
  ASSERT_TRUE(BackgroundJobWorker::WaitUntilIdle(std::chrono::seconds(60)));
  const std::vector<std::string> blocks =
      test::SplitBlocks(ReadWholeFile(OutputFilePath(dir.Path())).value_or(""));
  ASSERT_EQ(blocks.size(), static_cast<std::size_t>(kRuns));
  for (const std::string& block : blocks) {
    EXPECT_EQ(block, ExpectedBlock("2024-03-05 14:07:09", "sleep", "127.0.0.1",
                                   "Socket Error # 10060\r\nConnection timed out."));
  }
  EXPECT_EQ(test::CountEntries("/proc/self/fd"), fds_before);
  EXPECT_EQ(test::WaitForEntries("/proc/self/task", threads_before), threads_before);
}

// A server that sends without end: the run is ended at the limit and its block ends with the
// limit line.
TEST(Worker, EndlessOutputEndsAtTheLimitWithItsLine) {
  TempDataDir dir;
  test::FakeServer endless([](Socket& c) {
    test::ReadRequestHeader(c);
    c.SendAll(std::string(1, '\0'));
    const std::string lines(64 * 1024, 'y');
    try {
      for (;;) c.SendAll(lines + "\n");
    } catch (const SocketError&) {
    }
  });
  constexpr std::size_t kLimit = 1024 * 1024;
  auto clock = std::make_shared<FixedClock>(kRunTime);
  BackgroundJobWorker(Request("yes", dir.Path(), 0), RemotePorts{endless.Port(), endless.Port()}, clock,
                      RunLimits{kDefaultStatusWait, kLimit})
      .Execute();
  endless.Join();
  std::string kept;
  while (kept.size() < kLimit) kept += std::string(64 * 1024, 'y') + "\r\n";
  kept.resize(kLimit);
  EXPECT_TRUE(ReadWholeFile(OutputFilePath(dir.Path())) ==
              ExpectedBlock("2024-03-05 14:07:09", "yes", "127.0.0.1", kept + OutputLimitSuffix(kept, kLimit)));
}

// A server that reads the request and answers with a NUL status byte and `output`, or, when
// `output` is empty, with lines of "y" until the client goes away.
test::FakeServer::Handler Answering(std::string output, std::string* command = nullptr) {
  return [output = std::move(output), command](Socket& c) {
    const test::RequestHeader header = test::ReadRequestHeader(c);
    if (command != nullptr) *command = header.command;
    c.SendAll(std::string(1, '\0'));
    try {
      if (!output.empty()) {
        c.SendAll(output);
        return;
      }
      const std::string lines(64 * 1024, 'y');
      for (;;) c.SendAll(lines + "\n");
    } catch (const SocketError&) {
    }
  };
}

std::string LimitedYes(std::size_t limit) {
  std::string kept;
  while (kept.size() < limit) kept += std::string(64 * 1024, 'y') + "\r\n";
  kept.resize(limit);
  return kept + OutputLimitSuffix(kept, limit);
}

// Reads everything from a descriptor until its end.
std::string ReadAll(int fd) {
  std::string all;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return all;
    all.append(buffer, static_cast<std::size_t>(n));
  }
}

// Runs `body` in a forked child that writes its findings to the given descriptor; returns what
// it wrote and its exit status.
std::pair<std::string, int> InChild(const std::function<int(int)>& body) {
  int report[2];
  if (::pipe(report) != 0) return {"", -1};
  const pid_t child = ::fork();
  if (child < 0) return {"", -1};
  if (child == 0) {
    ::close(report[0]);
    const int code = body(report[1]);
    ::close(report[1]);
    ::_exit(code);
  }
  ::close(report[1]);
  std::string text = ReadAll(report[0]);
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return {text, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void Report(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// As a caller who may write output.txt but create nothing in its directory, the command still
// runs: its output is kept in memory (up to the limit) and the block is appended without a record.
TEST(Worker, ADataDirectoryThatTakesNoNewFileStillRunsTheCommand) {
  TempDataDir dir;
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
  const std::string path = OutputFilePath(dir.Path());
  AppendOutputBlock(path, "earlier\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
  constexpr std::size_t kLimit = 1024 * 1024;
  const auto [commands, code] = InChild([&](int report) {
    if (::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return 2;
    }
    if (::access(dir.Path().c_str(), W_OK) == 0) return 3;  // the caller could create files there
    auto clock = std::make_shared<FixedClock>(kRunTime);
    std::string command;
    {
      test::FakeServer server(Answering("x\n", &command));
      BackgroundJobWorker(Request("echo x", dir.Path()), RemotePorts{server.Port(), server.Port()}, clock)
          .Execute();
    }
    Report(report, command + "\n");
    {
      test::FakeServer server(Answering("", &command));
      BackgroundJobWorker(Request("yes", dir.Path()), RemotePorts{server.Port(), server.Port()}, clock,
                          RunLimits{kDefaultStatusWait, kLimit})
          .Execute();
    }
    Report(report, command + "\n");
    return 0;
  });
  ASSERT_EQ(code, 0) << "2: no unprivileged user; 3: the directory takes new files";
  EXPECT_EQ(commands, "echo x\nyes\n") << "the commands did not reach the server";
  EXPECT_TRUE(ReadWholeFile(path) ==
              "earlier\r\n" + ExpectedBlock("2024-03-05 14:07:09", "echo x", "127.0.0.1", "x\r\n") +
                  ExpectedBlock("2024-03-05 14:07:09", "yes", "127.0.0.1", LimitedYes(kLimit)));
  EXPECT_EQ(test::CountEntries(dir.Path().c_str()), 1) << "a file was left in the data directory";
}

// On a full disk the temporary output file gives its space back before the failure block is
// written: a run whose output does not fit in the temporary file, and one whose block does not
// fit in the output file, each leave a block naming the failure.
TEST(Worker, OnAFullDiskTheFailureBlockIsWritten) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  const auto [content, code] = InChild([&](int report) {
    // A small file system of the child's own, seen by nobody else.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("corvane-test", dir.Path().c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0) {
      return 77;
    }
    auto clock = std::make_shared<FixedClock>(kRunTime);
    {
      test::FakeServer server(Answering(std::string(4 * 1024 * 1024, 'a')));
      BackgroundJobWorker(Request("more", dir.Path()), RemotePorts{server.Port(), server.Port()}, clock).Execute();
    }
    {
      test::FakeServer server(Answering(std::string(700 * 1024, 'b')));
      BackgroundJobWorker(Request("less", dir.Path()), RemotePorts{server.Port(), server.Port()}, clock).Execute();
    }
    Report(report, ReadWholeFile(path).value_or("<no output file>"));
    return test::CountEntries(dir.Path().c_str()) == 1 ? 0 : 4;
  });
  if (code == 77) GTEST_SKIP() << "no private mount namespace for a small file system here";
  EXPECT_EQ(code, 0) << "a file was left in the data directory";
  EXPECT_EQ(content, ExpectedBlock("2024-03-05 14:07:09", "more", "127.0.0.1",
                                   "Cannot write the temporary output file: No space left on device") +
                         ExpectedBlock("2024-03-05 14:07:09", "less", "127.0.0.1",
                                       "The output of the run could not be written: Cannot write file " + path +
                                           ": No space left on device"));
}

// A block that cannot be written (the output file is a FIFO) is reported on the standard error
// stream and in the system log; the system log of the child here is a socket of its own at
// /dev/log in a private mount namespace.
TEST(Worker, ALostBlockIsReportedOnStandardErrorAndInTheSystemLog) {
  TempDataDir dir;
  const std::string path = OutputFilePath(dir.Path());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  int error_stream[2];
  ASSERT_EQ(::pipe(error_stream), 0);
  const auto [logged, code] = InChild([&](int report) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("corvane-test", "/dev", "tmpfs", 0, "size=64k,mode=0755") != 0) {
      return 77;
    }
    const int log = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/dev/log");
    if (log < 0 || ::bind(log, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 5;
    ::dup2(error_stream[1], STDERR_FILENO);
    test::FakeServer server(Answering("x\n"));
    BackgroundJobWorker(Request("echo x", dir.Path()), RemotePorts{server.Port(), server.Port()},
                        std::make_shared<FixedClock>(kRunTime))
        .Execute();
    char message[4096] = {};
    const ssize_t n = ::recv(log, message, sizeof message - 1, MSG_DONTWAIT);
    if (n > 0) Report(report, std::string_view(message, static_cast<std::size_t>(n)));
    return 0;
  });
  ::close(error_stream[1]);
  const std::string written = ReadAll(error_stream[0]);
  ::close(error_stream[0]);
  if (code == 77) GTEST_SKIP() << "no private mount namespace for a system log of the test's own here";
  ASSERT_EQ(code, 0);
  const std::string reason = "(2024-03-05 14:07:09, Command: echo x, Host: 127.0.0.1): Cannot open file " + path +
                             " (not a regular file): Invalid argument\n";
  EXPECT_EQ(written, "CorvaneDll: the output block of a background run was not written " + reason);
  EXPECT_NE(logged.find("CorvaneDll["), std::string::npos) << logged;
  const std::string logged_line = "]: the output block of a background run was not written " + reason;
  EXPECT_NE(logged.find(logged_line.substr(0, logged_line.size() - 1)), std::string::npos) << logged;
  EXPECT_EQ(ModeOf(path), 0600u);
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// A process that ends normally while background runs are still running or waiting for their
// turn reports each of them: they returned "0" and will write no block.
TEST(Worker, RunsThatTheEndOfTheProcessCutsOffAreReported) {
  TempDataDir dir;
  SilentListener silent;
  int error_stream[2];
  ASSERT_EQ(::pipe(error_stream), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(error_stream[1], STDERR_FILENO);
    ::close(error_stream[0]);
    // So few descriptors that one run at a time is all the process holds.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(2);
    limit.rlim_cur = 80;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0 || BackgroundRunSlots() != 1) ::_exit(2);
    const RunLimits slow{std::chrono::seconds(30), kDefaultOutputLimit};
    BackgroundJobWorker::Start(std::make_unique<BackgroundJobWorker>(
        Request("sleep one", dir.Path()), RemotePorts{silent.Port(), silent.Port()}, nullptr, slow));
    BackgroundJobWorker::Start(std::make_unique<BackgroundJobWorker>(
        Request("sleep two", dir.Path()), RemotePorts{silent.Port(), silent.Port()}, nullptr, slow));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first run waits for its server
    std::exit(0);
  }
  ::close(error_stream[1]);
  const std::string written = ReadAll(error_stream[0]);
  ::close(error_stream[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "2: the descriptor limit could not be set to hold one run";
  EXPECT_EQ(written,
            "CorvaneDll: the output block of a background run was not written (sleep two): the process ended "
            "before the run started\n"
            "CorvaneDll: the output block of a background run was not written (sleep one): the process ended "
            "while the run was still running\n");
  EXPECT_FALSE(std::filesystem::exists(OutputFilePath(dir.Path())));
}

class WorkerRealServers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test::PrepareRealPeers(), "");
    servers_ = std::make_unique<test::RealServers>();
    ports_ = RemotePorts{servers_->rexec.Port(), servers_->rsh.Port()};
  }
  void TearDown() override {
    ASSERT_TRUE(BackgroundJobWorker::WaitUntilIdle(std::chrono::seconds(120)));
    if (servers_ != nullptr) {
      EXPECT_EQ(servers_->Failure(), "");
    }
  }

  TempDataDir dir_;
  std::unique_ptr<test::RealServers> servers_;
  RemotePorts ports_;
};

TEST_F(WorkerRealServers, RexecAndRshBlocksByteForByte) {
  const std::string path = OutputFilePath(dir_.Path());
  AppendOutputBlock(path, "earlier content\r\n");
  auto clock = std::make_shared<FixedClock>(kRunTime);
  BackgroundJobWorker(Request("printf 'x\\n'", dir_.Path(), 0), ports_, clock).Execute();
  clock->Set(LocalDateTime{2024, 3, 6, 0, 0, 0, 0});
  BackgroundJobWorker(Request("echo a ; echo b >&2 ; printf 'c\\r\\n'", dir_.Path(), 1), ports_, clock).Execute();
  EXPECT_EQ(ReadWholeFile(path), "earlier content\r\n" +
                                     ExpectedBlock("2024-03-05 14:07:09", "printf 'x\\n'", "127.0.0.1", "x\r\n") +
                                     ExpectedBlock("2024-03-06", "echo a ; echo b >&2 ; printf 'c\\r\\n'",
                                                   "127.0.0.1", "a\r\nc\r\r\n"));
}

TEST_F(WorkerRealServers, StartedWorkersRunOnTheirOwnAndFreeThemselves) {
  const std::string path = OutputFilePath(dir_.Path());
  auto clock = std::make_shared<FixedClock>(kRunTime);
  for (int i = 0; i < 4; ++i) {
    BackgroundJobWorker::Start(std::make_unique<BackgroundJobWorker>(
        Request("echo run" + std::to_string(i), dir_.Path(), i % 2), ports_, clock));
  }
  ASSERT_TRUE(BackgroundJobWorker::WaitUntilIdle(std::chrono::seconds(120)));
  EXPECT_EQ(BackgroundJobWorker::Running(), 0);
  const std::vector<std::string> blocks = test::SplitBlocks(ReadWholeFile(path).value_or(""));
  const std::multiset<std::string> got(blocks.begin(), blocks.end());
  std::multiset<std::string> expected;
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    expected.insert(ExpectedBlock("2024-03-05 14:07:09", "echo run" + n, "127.0.0.1", "run" + n + "\r\n"));
  }
  EXPECT_TRUE(got == expected) << ReadWholeFile(path).value_or("");
}

}  // namespace
}  // namespace corvane
