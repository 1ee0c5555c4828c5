// The output file and the background worker: the block layout byte for byte, appends that wait for
// other writers and never tear or mix, and BackgroundJobWorker against Debian's real rexec and rsh servers.
#include "remote/output_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <memory>
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
  return "*************************************\r\n" + std::string(date_time) + "\r\nCommand: " + std::string(command) +
         "\r\nHost: " + std::string(host) +
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
  FileDescriptor other(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
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
  EXPECT_EQ(ReadWholeFile(OutputFilePath(dir.Path())),
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
  const std::vector<std::string> blocks = test::SplitBlocks(ReadWholeFile(OutputFilePath(dir.Path())).value_or(""));
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
  EXPECT_EQ(ReadWholeFile(path),
            "earlier content\r\n" + ExpectedBlock("2024-03-05 14:07:09", "printf 'x\\n'", "127.0.0.1", "x\r\n") +
                ExpectedBlock("2024-03-06", "echo a ; echo b >&2 ; printf 'c\\r\\n'", "127.0.0.1", "a\r\nc\r\r\n"));
}

TEST_F(WorkerRealServers, StartedWorkersRunOnTheirOwnAndFreeThemselves) {
  const std::string path = OutputFilePath(dir_.Path());
  auto clock = std::make_shared<FixedClock>(kRunTime);
  for (int i = 0; i < 4; ++i) {
    BackgroundJobWorker::Start(std::make_unique<BackgroundJobWorker>(Request("echo run" + std::to_string(i), dir_.Path(), i % 2), ports_, clock));
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
